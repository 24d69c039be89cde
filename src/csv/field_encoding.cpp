#include "csv/field_encoding.h"

namespace csv {

std::u16string ReplaceLineBreaks(std::u16string_view value) {
  std::u16string result;
  result.reserve(value.size());
  for (char16_t c : value) {
    if (c == u'\r') {
      result += u' ';
    } else if (c != u'\n') {
      result += c;
    }
  }
  return result;
}

std::u16string QuoteField(std::u16string_view value) {
  std::u16string result;
  result.reserve(value.size() + 2);
  result += u'"';
  for (char16_t c : value) {
    if (c == u'"') result += u'"';
    result += c;
  }
  result += u'"';
  return result;
}

void AppendEncodedField(std::u16string_view value, std::u16string& line) {
  line += u'"';
  for (char16_t c : value) {
    switch (c) {
      case u'\r':
        line += u' ';
        break;
      case u'\n':
        break;
      case u'"':
        line += u"\"\"";
        break;
      default:
        line += c;
    }
  }
  line += u'"';
}

}  // namespace csv
