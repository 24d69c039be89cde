// Turning one field value into the text that stands between the commas of an
// output line: line breaks flattened, then the whole value quoted. A character
// here is one UTF-16 code unit.
#pragma once

#include <string>
#include <string_view>

namespace csv {

// CR becomes one space, LF disappears, everything else passes unchanged, so
// CR LF becomes one space and a record never spans lines.
std::u16string ReplaceLineBreaks(std::u16string_view value);

// Encloses the value in double quotes, doubling each double quote inside.
std::u16string QuoteField(std::u16string_view value);

// Appends QuoteField(ReplaceLineBreaks(value)) to `line` in one pass, without
// temporaries: the form used for every field written.
void AppendEncodedField(std::u16string_view value, std::u16string& line);

// Writes the code page 932 bytes of QuoteField(ReplaceLineBreaks(value)) at
// `out`, which must have room for EncodedFieldRoom(value.size()) bytes, and
// returns the end of what was written (bytes after it may have been written
// over): the form in which a record is built.
char* EncodeFieldTo(std::u16string_view value, char* out);

// The room EncodeFieldTo needs for a value of `units` code units: two bytes
// per unit at most (a doubled quote, or a two-byte character) and the quotes.
constexpr std::size_t EncodedFieldRoom(std::size_t units) { return 2 * units + 2; }

}  // namespace csv
