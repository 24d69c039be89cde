// Paths as text and back, for platforms whose file names are bytes. Bytes that
// are not UTF-8 are carried as lone surrogates U+DC80..U+DCFF, so any path the
// caller gives comes back byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace text {

std::u16string PathTextFromBytes(std::string_view bytes);
std::string PathTextToBytes(std::u16string_view text);

}  // namespace text
