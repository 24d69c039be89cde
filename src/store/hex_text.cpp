// Small text helpers shared by the stand-alone store's parts.
#include "store/store_sources.h"

namespace standalone {

std::u16string HexText(std::string_view bytes) {
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text;
  for (char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    text.push_back(kDigits[value >> 4]);
    text.push_back(kDigits[value & 0xF]);
  }
  return text;
}

}  // namespace standalone
