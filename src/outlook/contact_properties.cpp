#include "outlook/contact_properties.h"

#include <vector>

namespace om {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::size_t> FindContactProperty(std::string_view name) {
  // Stores answer this for every property read, so the names are bucketed by
  // length once: a lookup compares against two or three names, not 55.
  static const auto kByLength = [] {
    std::array<std::vector<std::size_t>, 32> buckets{};
    for (std::size_t i = 0; i < kContactProperties.size(); ++i) {
      buckets[kContactProperties[i].name.size()].push_back(i);
    }
    return buckets;
  }();
  if (name.size() >= kByLength.size()) return std::nullopt;
  for (std::size_t i : kByLength[name.size()]) {
    if (EqualsNoCase(kContactProperties[i].name, name)) return i;
  }
  return std::nullopt;
}

ContactValues EmptyContactValues() {
  ContactValues values;
  for (std::size_t i = 0; i < kContactProperties.size(); ++i) {
    if (kContactProperties[i].kind == PropertyKind::kDate) {
      values[i] = kNoDate;
    } else {
      values[i] = std::u16string();
    }
  }
  return values;
}

}  // namespace om
