#include "vcard/vcard_charset.h"

#include <array>
#include <mutex>
#include <vector>

#include "text/ascii_case.h"

namespace vcard::platform_charset {
namespace {

// The names handed to the converter. A name it reads gets a slot; names it
// does not read are remembered too, so that it is asked once per name, and
// at most kMaxUnknown times in all: a hostile file of a million made-up
// names costs no million questions. Entries are added under the mutex and
// never changed afterwards, so a thread that got a slot under the mutex
// reads the slot's name without it.
constexpr std::size_t kMaxUnknown = 64;
constexpr std::size_t kMaxNameLength = 40;

struct Names {
  std::mutex mutex;
  std::array<std::string, kSlots> known;
  std::size_t count = 0;
  std::vector<std::string> unknown;
};

Names& TheNames() {
  static Names names;
  return names;
}

// The name as the converter is asked for it, in upper case; nothing for a
// name no charset has (too long, or with other bytes: a "//" suffix would
// ask iconv for transliteration).
std::optional<std::string> ConverterName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return std::nullopt;
  std::string upper;
  for (char c : name) {
    const char u = text::ToUpperAscii(c);
    const bool allowed = (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-' || u == '_' || u == '.' ||
                         u == ':' || u == '(' || u == ')' || u == '+';
    if (!allowed) return std::nullopt;
    upper.push_back(u);
  }
  return upper;
}

// Every line of a card is split and its parameters read as ASCII before
// any charset applies: a charset that reads ASCII otherwise (UTF-16, UTF-7,
// EBCDIC) cannot be the charset of a value's bytes and is not taken.
bool ReadsAsciiAsAscii(std::size_t slot, const std::string& name) {
  std::string ascii = "\t\r\n";
  for (char c = ' '; c < 0x7F; ++c) ascii.push_back(c);
  std::u16string decoded;
  Append(slot, name, ascii, decoded);
  return decoded == std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

std::optional<std::size_t> Find(std::string_view name) {
  const std::optional<std::string> upper = ConverterName(name);
  if (!upper) return std::nullopt;
  Names& names = TheNames();
  const std::lock_guard<std::mutex> lock(names.mutex);
  for (std::size_t slot = 0; slot < names.count; ++slot) {
    if (names.known[slot] == *upper) return slot;
  }
  for (const std::string& unknown : names.unknown) {
    if (unknown == *upper) return std::nullopt;
  }
  if (names.count == kSlots || names.unknown.size() == kMaxUnknown) return std::nullopt;
  if (Knows(*upper) && ReadsAsciiAsAscii(names.count, *upper)) {
    names.known[names.count] = *upper;
    return names.count++;
  }
  names.unknown.push_back(*upper);
  return std::nullopt;
}

void Decode(std::size_t slot, std::string_view bytes, std::u16string& out) {
  Append(slot, TheNames().known[slot], bytes, out);
}

}  // namespace vcard::platform_charset
