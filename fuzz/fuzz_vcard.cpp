// The bytes of one .vcf file through the vCard reader: every card found is
// decoded and mapped, and each of its 55 values is turned into its output
// field exactly as the export does (dates formatted, texts encoded as CSV
// fields and converted to code page 932). Besides the sanitizers, the
// contract the export relies on is checked:
// - card extents lie inside the file, in file order, without overlapping;
// - text columns hold texts (never the empty value) and date columns dates;
// - a date is either "no date" or one that can be written as yyyy-mm-dd;
// - every line break inside a text is CR LF;
// - a place where the store cuts a big file is the start of a line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "text/codepage932.h"
#include "csv/field_encoding.h"
#include "export/contact_record.h"
#include "om/contact_properties.h"
#include "vcard/vcard_cards.h"
#include "vcard/vcard_reader.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool LineBreaksAreCrLf(const std::u16string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) return false;
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) return false;
  }
  return true;
}

void ExportValues(const om::ContactValues& values) {
  std::u16string line;
  for (std::size_t column = 0; column < om::kContactPropertyCount; ++column) {
    const om::Value& value = values[column];
    if (om::kContactProperties[column].kind == om::PropertyKind::kDate) {
      const om::Date* date = std::get_if<om::Date>(&value);
      Check(date != nullptr);
      Check(*date == om::kNoDate || !exporter::FormatDate(*date).empty());
    } else {
      const std::u16string* text = std::get_if<std::u16string>(&value);
      Check(text != nullptr);
      Check(LineBreaksAreCrLf(*text));
    }
    if (!line.empty()) line += u',';
    csv::AppendEncodedField(exporter::ValueText(value), line);
  }
  std::string bytes;
  cp932::Encode(line, bytes);
  Check(bytes.find_first_of("\r\n") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);

  std::size_t end = 0;
  for (const vcard::CardExtent& extent : vcard::FindCards(file)) {
    Check(extent.offset >= end && extent.offset <= size && extent.length <= size - extent.offset);
    end = extent.offset + extent.length;
    if (auto card = vcard::ReadCard(file, extent)) ExportValues(card->values);
  }

  const std::size_t cut = vcard::LastCardBoundary(file);
  Check(cut <= size && (cut == 0 || file[cut - 1] == '\n'));
  return 0;
}
