// Arbitrary UTF-16 through the field encoding and the code page 932 encoder
// (step by step, and in the one pass records are built with), and arbitrary
// bytes through the decoder. Besides the sanitizers, the
// properties every output line relies on are checked: a field never holds a
// line break, is quoted with its inner quotes doubled, and the encoder never
// writes CR or LF bytes for a field (so a record stays on one line).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "text/codepage932.h"
#include "csv/field_encoding.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The input's bytes as UTF-16 code units, low byte first; a last odd byte
// is dropped.
std::u16string Utf16Of(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return text;
}

void CheckField(std::u16string_view value, std::u16string_view field) {
  Check(field.size() >= 2 && field.front() == u'"' && field.back() == u'"');
  std::size_t quotes = 0;
  std::size_t breaks = 0;
  for (char16_t c : value) {
    quotes += c == u'"';
    breaks += c == u'\n';
  }
  // Each quote doubled, each LF dropped, everything else one for one.
  Check(field.size() == value.size() + 2 + quotes - breaks);
  std::u16string_view inner = field.substr(1, field.size() - 2);
  for (std::size_t i = 0; i < inner.size(); ++i) {
    Check(inner[i] != u'\r' && inner[i] != u'\n');
    if (inner[i] == u'"') {
      Check(i + 1 < inner.size() && inner[i + 1] == u'"');
      ++i;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string value = Utf16Of(data, size);

  std::u16string line = u"\"x\",";  // a field after others, as in a record
  const std::size_t start = line.size();
  csv::AppendEncodedField(value, line);
  CheckField(value, std::u16string_view(line).substr(start));
  Check(csv::QuoteField(csv::ReplaceLineBreaks(value)) == std::u16string_view(line).substr(start));

  std::string bytes;
  cp932::Encode(line, bytes);
  Check(bytes.size() >= line.size() && bytes.size() <= 2 * line.size());
  Check(bytes.find_first_of("\r\n") == std::string::npos);

  // The one-pass encoding the records are built with gives the same bytes as
  // flattening, quoting and converting one after the other, and writes no
  // further than the room it asks for (ASan sees a byte past it).
  std::string field;
  cp932::Encode(csv::QuoteField(csv::ReplaceLineBreaks(value)), field);
  std::vector<char> room(csv::EncodedFieldRoom(value.size()));  // exactly that many bytes
  const char* end = csv::EncodeFieldTo(value, room.data());
  Check(end >= room.data() && end <= room.data() + room.size());
  Check(std::string_view(room.data(), static_cast<std::size_t>(end - room.data())) == field);

  // Raw bytes through the decoder: at most one code unit per byte, and what
  // it gives can always be encoded again.
  const std::u16string decoded =
      cp932::Decode(std::string_view(reinterpret_cast<const char*>(data), size));
  Check(decoded.size() <= size);
  std::string again;
  cp932::Encode(decoded, again);
  Check(again.size() <= 2 * decoded.size());
  return 0;
}
