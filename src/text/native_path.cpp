#include "text/native_path.h"

#include "text/unicode_text.h"

namespace text {

std::u16string PathTextFromBytes(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  text::AppendUtf8AsUtf16(bytes, text, text::InvalidUtf8::kKeepByte);
  return text;
}

std::string PathTextToBytes(std::u16string_view path) {
  std::string bytes;
  bytes.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char16_t unit = path[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 &&
        path[i + 1] <= 0xDFFF) {
      text::AppendUtf8CodePoint(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (path[i + 1] - 0xDC00),
                                bytes);
      ++i;
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
      bytes += static_cast<char>(unit - 0xDC00);  // a byte that was not UTF-8
    } else {
      text::AppendUtf8CodePoint(unit, bytes);  // any other lone surrogate is written as WTF-8
    }
  }
  return bytes;
}

}  // namespace text
