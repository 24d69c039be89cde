// Charsets the vCard reader does not decode itself (Windows-1251, KOI8-R,
// GBK, Big5, MACINTOSH, ...), read by the platform's own converter: iconv
// on POSIX (vcard_charset_posix.cpp), MultiByteToWideChar on Windows
// (vcard_charset_win32.cpp). vcard_charset.cpp keeps the names met so far.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vcard::platform_charset {

// How many different charsets one process reads at most.
inline constexpr std::size_t kSlots = 64;

// The slot (below kSlots) of the charset `name` (letters in any case) when
// the platform's converter reads it, and reads ASCII as ASCII; nothing
// otherwise. The same name always gets the same slot.
std::optional<std::size_t> Find(std::string_view name);

// Appends `bytes` in the charset of `slot` (from Find); bytes that form no
// character become U+FFFD.
void Decode(std::size_t slot, std::string_view bytes, std::u16string& out);

// ---- The platform's half ----

// Whether the converter reads the charset `name` (upper-case ASCII letters,
// digits and - _ . : ( ) +).
bool Knows(const std::string& name);

// Appends `bytes` in the charset `name`, which Knows accepted. `slot` stands
// for the name in this process, so that what the converter prepares for it
// can be kept; a slot may be given to another name before it is used.
void Append(std::size_t slot, const std::string& name, std::string_view bytes, std::u16string& out);

}  // namespace vcard::platform_charset
