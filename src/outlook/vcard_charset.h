// The platform's own charset converter, for the charsets that cards name and
// the vCard reader does not decode itself (Windows-1251, KOI8-R, GBK, Big5,
// MACINTOSH, ...): iconv on POSIX (vcard_charset_posix.cpp),
// MultiByteToWideChar on Windows (vcard_charset_win32.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vcard::platform_charset {

// How many different charsets one process hands to the converter at most.
inline constexpr std::size_t kSlots = 64;

// Whether the converter reads the charset `name` (upper-case ASCII letters,
// digits and - _ . : ( ) +).
bool Knows(const std::string& name);

// Appends `bytes` in the charset `name`, which Knows accepted; bytes that
// form no character become U+FFFD. `slot` (below kSlots) stands for the name
// in this process, so that what the converter prepares for it is kept.
void Append(std::size_t slot, const std::string& name, std::string_view bytes, std::u16string& out);

}  // namespace vcard::platform_charset
