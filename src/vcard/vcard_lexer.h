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

// The name and value of the parameter in params[begin, end) whose first
// '=' is at `eq` (npos for none); a leading ';' is not part of it.
void SplitParam(std::string_view params, std::size_t begin, std::size_t end, std::size_t eq,
                std::string_view& name, std::string_view& value);

template <class Visit>
void ForEachParam(std::string_view params, Visit&& visit) {
  std::size_t begin = 0;
  while (begin < params.size()) {
    // One pass finds where the parameter ends (a ';' outside quotes that
    // is not its first byte) and its first '='.
    bool in_quotes = false;
    std::size_t eq = std::string_view::npos;
    std::size_t end = begin;
    for (; end < params.size(); ++end) {
      const char c = params[end];
      if (c == '"') {
        in_quotes = !in_quotes;
      } else if (c == ';') {
        if (!in_quotes && end > begin) break;
      } else if (c == '=' && eq == std::string_view::npos) {
        eq = end;
      }
    }
    std::string_view name, value;
    SplitParam(params, begin, end, eq, name, value);
    if (!name.empty() || !value.empty()) visit(name, value);
    begin = end + 1;
  }
}

}  // namespace vcard
