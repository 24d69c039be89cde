#include "om/contact_properties.h"

#include <vector>

#include "text/ascii_case.h"

namespace om {

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
    // The export passes the names as the table writes them: compare exactly first.
    if (kContactProperties[i].name == name || text::EqualsNoCase(kContactProperties[i].name, name)) {
      return i;
    }
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
