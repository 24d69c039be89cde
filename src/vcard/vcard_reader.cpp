#include "vcard/vcard_reader.h"

#include <algorithm>
#include <array>

#include "vcard/vcard_fields.h"
#include "vcard/vcard_lexer.h"
#include "vcard/vcard_mapping.h"
#include "vcard/vcard_scan.h"
#include "vcard/vcard_text.h"

namespace vcard {
namespace {

// ---- Reading one card ----

// What reading one card needs besides the card itself. One instance per
// thread is reused from card to card, so that the fields' text buffers are
// allocated once, not once per property of every card.
struct CardReading {
  std::vector<Field> fields;  // the first `count` are the card's; the rest are spare
  std::size_t count = 0;
  bool v21 = false;
  bool unicode_file = false;  // raw values were UTF-16 and are now UTF-8
  std::string bytes;          // scratch for quoted-printable values
  std::string transcoded;     // the card of a UTF-16 file, as UTF-8
  LineReader reader;
  // The first charset other than UTF-8 and ASCII that a property of the card
  // names: undeclared bytes that are not UTF-8 are read in it, not in code
  // page 932. Values read before it was named are kept as bytes (up to
  // kMaxValueBytes in all) and read again at the end of the card.
  Charset declared = Charset::kAuto;
  struct Undeclared {
    std::size_t field, offset, size;
  };
  std::vector<Undeclared> undeclared;
  std::string undeclared_bytes;
};

// Buffers a large card grew are not kept for the cards after it: what stays
// between cards is at most 64 fields of 4 K units each.
constexpr std::size_t kKeptFields = 64;
constexpr std::size_t kKeptBytes = std::size_t{4} << 10;

template <class Text>
void Release(Text& text) {
  if (text.capacity() > kKeptBytes) Text().swap(text);
  text.clear();
}

CardReading& StartReading() {
  thread_local CardReading r;
  if (r.fields.size() > kKeptFields) {
    r.fields.resize(kKeptFields);
    r.fields.shrink_to_fit();
  }
  for (std::size_t i = 0; i < r.count && i < r.fields.size(); ++i) {
    Release(r.fields[i].value);
    Release(r.fields[i].sort_as);
    Release(r.fields[i].group);
  }
  Release(r.bytes);
  Release(r.transcoded);
  Release(r.reader.scratch);
  Release(r.undeclared_bytes);
  r.undeclared.clear();
  r.declared = Charset::kAuto;
  r.count = 0;
  r.v21 = false;
  r.unicode_file = false;
  // A new card may lie at the address of the last one: nothing found in
  // that one's text is kept.
  r.reader.text = {};
  r.reader.pos = 0;
  r.reader.line_text = {};
  r.reader.line_begin = std::string_view::npos;
  return r;
}

Field& NextField(CardReading& r) {
  if (r.count == r.fields.size()) r.fields.emplace_back();
  Field& f = r.fields[r.count++];
  f.id = {};
  f.types = 0;
  f.phonetic = false;
  f.omit_year = false;
  f.no_line_breaks = false;
  f.group.clear();
  f.value.clear();
  f.sort_as.clear();
  return f;
}

bool IsMarker(const RawProperty& p, std::string_view name) {
  if (p.name.size() != name.size() || !p.group.empty()) return false;
  std::string_view value = p.value;
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  return EqualsNoCase(p.name, name) && EqualsNoCase(value, "VCARD");
}

void AddTypeWords(std::string_view list, Field& f) {
  std::size_t begin = 0;
  while (begin <= list.size()) {
    std::size_t end = begin;  // words are short: no call to search them
    while (end < list.size() && list[end] != ',') ++end;
    std::string_view word = list.substr(begin, end - begin);
    while (!word.empty() && (word.front() == '"' || word.front() == ' ')) word.remove_prefix(1);
    while (!word.empty() && (word.back() == '"' || word.back() == ' ')) word.remove_suffix(1);
    f.types |= LookupTypeWord(word);
    begin = end + 1;
  }
}

// RFC 6868 escapes in parameter values: ^n, ^^ and ^'.
void UncaretInto(std::string_view value, std::string& out) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '^' && i + 1 < value.size()) {
      const char c = value[i + 1];
      if (c == 'n' || c == 'N' || c == '^' || c == '\'') {
        out.push_back(c == '^' ? '^' : c == '\'' ? '"' : '\n');
        ++i;
        continue;
      }
    }
    out.push_back(value[i]);
  }
}

// Parameters other than TYPE, CHARSET, SORT-AS, PHONETIC, SCRIPT and
// X-APPLE-OMIT-YEAR (ENCODING, VALUE, PREF, LANGUAGE, X-...) carry nothing
// the mapping reads; the length of the name picks the one name to compare.
void ReadParams(const RawProperty& p, Field& f, Charset& charset, std::string& sort_as) {
  ForEachParam(p.params, [&](std::string_view name, std::string_view value) {
    if (name.empty()) return AddTypeWords(value, f);
    switch (name.size()) {
      case 4:
        if (EqualsNoCase(name, "TYPE")) AddTypeWords(value, f);
        return;
      case 6:
        if (EqualsNoCase(name, "SCRIPT")) {
          const std::string_view bare = TrimParamValue(value);
          if (EqualsNoCase(bare, "Kana") || EqualsNoCase(bare, "Hira") || EqualsNoCase(bare, "Hrkt")) {
            f.phonetic = true;
          }
        }
        return;
      case 7:
        if (EqualsNoCase(name, "CHARSET")) charset = CharsetFromName(TrimParamValue(value));
        if (EqualsNoCase(name, "SORT-AS")) UncaretInto(TrimParamValue(value), sort_as);
        return;
      case 8:
        if (EqualsNoCase(name, "PHONETIC")) f.phonetic = true;
        return;
      case 17:
        if (EqualsNoCase(name, "X-APPLE-OMIT-YEAR")) f.omit_year = true;
        return;
      default:
        return;
    }
  });
}

void NoteDeclared(CardReading& r, Charset charset) {
  if (r.declared == Charset::kAuto && IsEightBitCharset(charset)) r.declared = charset;
}

// The CHARSET of a property the mapping does not read (Outlook's LABEL).
void NoteDeclaredCharset(CardReading& r, const RawProperty& p) {
  ForEachParam(p.params, [&](std::string_view name, std::string_view value) {
    if (name.size() == 7 && EqualsNoCase(name, "CHARSET")) NoteDeclared(r, CharsetFromName(TrimParamValue(value)));
  });
}

void KeepUndeclared(CardReading& r, std::string_view bytes) {
  if (r.undeclared_bytes.size() + bytes.size() > kMaxValueBytes) return;
  r.undeclared.push_back({r.count - 1, r.undeclared_bytes.size(), bytes.size()});
  r.undeclared_bytes.append(bytes);
}

// Appends the value's bytes to `f`; keeps them when they were read in code
// page 932 only because the card had named no charset yet.
inline void DecodeValue(CardReading& r, std::string_view bytes, Charset charset, Field& f) {
  if (AppendDecoded(bytes, charset, f.value, r.declared) && r.declared == Charset::kAuto) KeepUndeclared(r, bytes);
}

void RereadUndeclared(CardReading& r) {
  if (r.declared == Charset::kAuto) return;
  for (const CardReading::Undeclared& u : r.undeclared) {
    Field& f = r.fields[u.field];
    f.value.clear();
    AppendDecoded(std::string_view(r.undeclared_bytes).substr(u.offset, u.size), r.declared, f.value);
    LimitLength(f.value);
  }
}

void AddField(CardReading& r, const RawProperty& p, PropId id) {
  Field& f = NextField(r);
  f.id = id;
  Charset charset = Charset::kAuto;
  r.bytes.clear();
  ReadParams(p, f, charset, r.bytes);
  NoteDeclared(r, charset);
  // In a UTF-16 file the raw text is already Unicode, whatever CHARSET says.
  const Charset raw_charset = r.unicode_file ? Charset::kUtf8 : charset;
  // CR and LF are the same bytes in every charset the values are read in,
  // and no other bytes decode to them: a value without them in its bytes
  // needs no line breaks normalised. A raw value never holds them (lines
  // are split at them and joined without them); decoded quoted-printable
  // and SORT-AS (^n) may.
  bool breaks = false;
  if (!r.bytes.empty()) {
    breaks = HasLineBreak(r.bytes);
    AppendDecoded(r.bytes, raw_charset, f.sort_as);
  }
  for (char c : p.group) f.group.push_back(text::ToLowerAscii(c));
  const std::string_view value = p.value.substr(0, kMaxValueBytes);
  if (p.quoted_printable) {
    r.bytes.clear();
    DecodeQuotedPrintable(value, r.bytes);
    breaks = breaks || HasLineBreak(r.bytes);
    DecodeValue(r, r.bytes, charset, f);
  } else {
    DecodeValue(r, value, raw_charset, f);
  }
  f.no_line_breaks = !breaks;
  LimitLength(f.value);
}

// Passes over the properties of a nested (AGENT) card.
void SkipNestedCard(LineReader& reader) {
  RawProperty p;
  int depth = 1;
  while (depth > 0 && NextProperty(reader, p)) {
    if (IsMarker(p, "BEGIN")) ++depth;
    if (IsMarker(p, "END")) --depth;
  }
}

std::string_view ExtentBytes(std::string_view file, CardExtent extent, std::size_t bom, std::size_t width) {
  std::size_t begin = std::max(std::min(extent.offset, file.size()), bom);
  begin += (begin - bom) % width;  // stay on a UTF-16 unit boundary
  const std::size_t from = std::min(extent.offset, file.size());
  const std::size_t stop = from + std::min(extent.length, file.size() - from);
  return begin >= stop ? std::string_view() : file.substr(begin, stop - begin);
}

}  // namespace

std::optional<Card> ReadCard(std::string_view file, CardExtent extent) {
  std::optional<Card> card(std::in_place);
  if (!ReadCardInto(file, extent, *card)) card.reset();
  return card;
}

void ReleaseReadingMemory() { StartReading(); }

bool ReadCardInto(std::string_view file, CardExtent extent, Card& card) {
  std::size_t bom = 0;
  const FileEncoding encoding = DetectFileEncoding(file, bom);
  const bool utf16 = encoding != FileEncoding::kBytes;
  std::string_view bytes = ExtentBytes(file, extent, bom, utf16 ? 2 : 1);
  CardReading& r = StartReading();
  if (utf16) {
    r.transcoded = Utf16ToUtf8(bytes, encoding == FileEncoding::kUtf16Be);
    bytes = r.transcoded;
    r.unicode_file = true;
  }
  if (text::StartsWithUtf8Mark(bytes)) bytes.remove_prefix(text::kUtf8Mark.size());
  LineReader& reader = r.reader;
  reader.text = bytes;
  RawProperty p;
  if (!NextProperty(reader, p) || !IsMarker(p, "BEGIN")) return false;
  while (NextProperty(reader, p)) {
    if (IsMarker(p, "END")) break;
    if (IsMarker(p, "BEGIN")) {
      SkipNestedCard(reader);
      continue;
    }
    if (p.group.empty() && EqualsNoCase(p.name, "VERSION")) r.v21 = p.value.starts_with("2.1");
    if (p.binary) continue;
    if (const std::optional<PropId> id = LookupProperty(p.name)) {
      AddField(r, p, *id);
    } else if (r.declared == Charset::kAuto && !p.params.empty()) {
      NoteDeclaredCharset(r, p);
    }
  }
  RereadUndeclared(r);
  MapFields(std::span<Field>(r.fields.data(), r.count), r.v21, card);
  return true;
}

}  // namespace vcard
