// Code page 932 (Shift_JIS as Windows writes it), both directions, driven by
// tables generated from Microsoft's published best-fit table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cp932 {

// Appends the code page 932 bytes of `text` to `out`, one UTF-16 code unit at
// a time, exactly as Windows converts with default flags (round-trip and
// best-fit entries), plus a few JIS X 0208 characters Windows would lose
// (see codepage932.cpp); a code unit without an entry becomes '?', so each
// surrogate code unit becomes one '?'.
void Encode(std::u16string_view text, std::string& out);

// The same bytes as Encode, written at `out`, which must have room for
// 2 * text.size() bytes; returns the end of what was written. For callers
// that keep their own buffer and convert without a string in between.
char* EncodeTo(std::u16string_view text, char* out);

// The table behind Encode, for callers that convert unit by unit while doing
// something else with the text: indexed by UTF-16 code unit (all 65,536), the
// code as Encode writes it; a value above 0xFF is lead byte << 8 | trail
// byte, one of 0xFF or below is a single byte.
const std::uint16_t* UnitCodes();

// Decodes code page 932 bytes to UTF-16. A byte or byte pair without a
// mapping becomes U+FFFD.
std::u16string Decode(std::string_view bytes);

// True when `byte` starts a two-byte character.
bool IsLeadByte(unsigned char byte);

}  // namespace cp932
