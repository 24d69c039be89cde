// Splitting a card's bytes into content lines: line ends, folding,
// quoted-printable soft line breaks, skipped base64 data, and parameters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vcard {

// One content line, unfolded and with soft line breaks joined. The views
// point into the reader's text or scratch buffer and stay valid until the
// next call of NextProperty.
struct RawProperty {
  std::string_view group;   // "item1" of "item1.TEL"; empty when none
  std::string_view name;    // as written
  std::string_view params;  // from the first ';' after the name to the ':'
  std::string_view value;   // bytes after the ':', still encoded; empty for binary data
  bool quoted_printable = false;
  bool binary = false;  // BASE64 / ENCODING=b data, skipped without decoding
};

struct LineReader {
  std::string_view text;
  std::size_t pos = 0;
  std::string scratch;  // reused for lines that had to be joined
  // The last physical line found: looking ahead for a folded line finds the
  // line the next property starts on, which is then not searched again.
  // Kept with the text it was found in.
  std::string_view line_text;
  std::size_t line_begin = std::string_view::npos, line_end = 0, line_next = 0;
};

// The next content line at or after reader.pos; false at the end of the
// text. Blank lines and lines without a ':' are passed over.
bool NextProperty(LineReader& reader, RawProperty& property);

// Calls visit(name, value) for each parameter of `params` (as in
// RawProperty::params). A bare 2.1 parameter (";HOME") comes with an empty
// name and the word as value. Values are given as written (quotes kept).
template <class Visit>
void ForEachParam(std::string_view params, Visit&& visit);

// `value` without surrounding spaces and one pair of enclosing double quotes.
std::string_view TrimParamValue(std::string_view value);

// ---- implementation of the template ----

std::size_t ParamEnd(std::string_view params, std::size_t begin);
void SplitParam(std::string_view param, std::string_view& name, std::string_view& value);

template <class Visit>
void ForEachParam(std::string_view params, Visit&& visit) {
  std::size_t begin = 0;
  while (begin < params.size()) {
    const std::size_t end = ParamEnd(params, begin);
    std::string_view name, value;
    SplitParam(params.substr(begin, end - begin), name, value);
    if (!name.empty() || !value.empty()) visit(name, value);
    begin = end + 1;
  }
}

}  // namespace vcard
