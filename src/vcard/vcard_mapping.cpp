#include "vcard/vcard_mapping.h"

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vcard/vcard_mapping_rules.h"
#include "vcard/vcard_text.h"
#include "vcard/vcard_values.h"

namespace vcard {
namespace {

using namespace rules;

constexpr std::uint8_t kUnset = 255;

struct Mapping {
  Mapping(Card& filled, bool is_v21) : card(filled), v21(is_v21) { tier.fill(kUnset); }
  Card& card;
  std::array<std::uint8_t, om::kContactPropertyCount> tier{};
  bool v21 = false;
  bool name_seen = false;
  bool org_seen = false;
  std::array<bool, 3> address_seen{};
  std::vector<std::u16string> untyped_urls;
};

bool IsTrimmable(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

void Trim(std::u16string& s) {
  std::size_t end = s.size();
  while (end > 0 && IsTrimmable(s[end - 1])) --end;
  std::size_t begin = 0;
  while (begin < end && IsTrimmable(s[begin])) ++begin;
  s.erase(end);
  s.erase(0, begin);
}

// Whether a value of `tier` would replace what `column` holds: texts are
// only unescaped or copied for columns that take them.
bool Takes(const Mapping& m, std::size_t column, std::uint8_t tier) {
  return column != kNoColumn && tier < m.tier[column];
}

void SetText(Mapping& m, std::size_t column, std::uint8_t tier, std::u16string&& text) {
  if (!Takes(m, column, tier)) return;
  Trim(text);
  if (text.empty()) return;
  m.card.values[column] = std::move(text);
  m.tier[column] = tier;
}

void SetText(Mapping& m, std::size_t column, std::uint8_t tier, const std::u16string& text) {
  if (Takes(m, column, tier)) SetText(m, column, tier, std::u16string(text));
}

void SetDate(Mapping& m, std::size_t column, std::uint8_t tier, const Field& f) {
  if (tier >= m.tier[column]) return;
  const std::optional<om::Date> date = ParseDate(f.value, f.omit_year);
  if (!date) return;
  m.card.values[column] = *date;
  m.tier[column] = tier;
}

void ApplySimpleRules(Mapping& m, const Field& f) {
  for (std::uint32_t bits = kSimpleRulesOf[static_cast<std::size_t>(f.id)]; bits != 0; bits &= bits - 1) {
    const SimpleRule& rule = kSimpleRules[std::countr_zero(bits)];
    if ((f.types & rule.need) != rule.need) continue;
    if (om::kContactProperties[rule.column].kind == om::PropertyKind::kDate) {
      SetDate(m, rule.column, rule.tier, f);
    } else {
      if (Takes(m, rule.column, rule.tier)) SetText(m, rule.column, rule.tier, UnescapeText(f.value, m.v21));
    }
  }
}

template <std::size_t N>
std::array<std::u16string, N> Parts(const Mapping& m, const Field& f) {
  std::array<std::u16string, N> parts;
  Components(f.value, m.v21, parts);
  return parts;
}

void MapName(Mapping& m, const Field& f) {
  if (f.phonetic) {  // a reading written as a second N (RFC 9554)
    auto parts = Parts<2>(m, f);
    SetText(m, Col("YomiLastName"), 3, std::move(parts[0]));
    SetText(m, Col("YomiFirstName"), 3, std::move(parts[1]));
    return;
  }
  SetText(m, Col("YomiLastName"), 2, SortAsPart(f.sort_as, 0));
  SetText(m, Col("YomiFirstName"), 2, SortAsPart(f.sort_as, 1));
  if (m.name_seen) return;
  m.name_seen = true;
  auto parts = Parts<5>(m, f);
  SetText(m, Col("lastname"), 1, std::move(parts[0]));
  SetText(m, Col("FirstName"), 1, std::move(parts[1]));
  SetText(m, Col("Title"), 1, std::move(parts[3]));
  SetText(m, Col("Suffix"), 1, std::move(parts[4]));
}

// The reading from a Japanese phone. When only the first part is filled
// and holds a space (ASCII or ideographic), the space separates the names.
void MapIrmcReading(Mapping& m, const Field& f) {
  auto [last, first] = Parts<2>(m, f);
  const std::size_t space = last.find_first_of(u" \u3000");
  if (first.empty() && space != std::u16string::npos) {
    first = last.substr(space + 1);
    last.erase(space);
  }
  SetText(m, Col("YomiLastName"), 4, std::move(last));
  SetText(m, Col("YomiFirstName"), 4, std::move(first));
}

void FillAddress(Mapping& m, AddressKind kind, const Field& f) {
  if (m.address_seen[kind]) return;
  auto parts = Parts<7>(m, f);
  bool any = false;
  for (const std::u16string& part : parts) any = any || !part.empty();
  if (!any) return;
  m.address_seen[kind] = true;
  const AddressColumns& c = kAddresses[kind];
  // The extended address (building, floor) goes on the first line of the
  // street, or for a business address to the office.
  std::u16string street = std::move(parts[2]);
  if (c.extended_in_street && !parts[1].empty()) {
    if (!street.empty()) parts[1].append(u"\r\n").append(street);
    street = std::move(parts[1]);
  } else if (!c.extended_in_street) {
    SetText(m, Col("OfficeLocation"), 1, std::move(parts[1]));
  }
  SetText(m, c.street, 1, std::move(street));
  SetText(m, c.city, 1, std::move(parts[3]));
  SetText(m, c.state, 1, std::move(parts[4]));
  SetText(m, c.postal_code, 1, std::move(parts[5]));
  SetText(m, c.country, 1, std::move(parts[6]));
}

void MapAddress(Mapping& m, const Field& f) {
  const bool home = (f.types & kHome) != 0;
  const bool work = (f.types & kWork) != 0;
  if (home) FillAddress(m, kHomeAddress, f);
  if (work) FillAddress(m, kBusinessAddress, f);
  if (!home && !work) FillAddress(m, kOtherAddress, f);
}

void MapOrg(Mapping& m, const Field& f) {
  if (m.org_seen) return;
  m.org_seen = true;
  auto parts = Parts<3>(m, f);
  // The company is also the file-as name when nothing better gave one; it
  // is copied only then.
  if (Takes(m, Col("FileAs"), 3)) {
    SetText(m, Col("CompanyName"), 1, parts[0]);
    SetText(m, Col("FileAs"), 3, std::move(parts[0]));
  } else {
    SetText(m, Col("CompanyName"), 1, std::move(parts[0]));
  }
  SetText(m, Col("Department"), 1, std::move(parts[1]));
  SetText(m, Col("OfficeLocation"), 2, std::move(parts[2]));
  SetText(m, Col("YomiCompanyName"), 2, SortAsPart(f.sort_as, 0));
}

template <std::size_t N>
void MapTel(Mapping& m, const Field& f, const TelRule (&rules)[N]) {
  for (const TelRule& rule : rules) {
    if ((f.types & rule.all) != rule.all) continue;
    const bool first_taken = m.tier[rule.column] != kUnset;
    const std::size_t column = (first_taken && rule.second != kNoColumn) ? rule.second : rule.column;
    if (!Takes(m, column, rule.tier)) return;
    std::u16string number = UnescapeText(f.value, m.v21);
    Trim(number);
    if (text::StartsWithNoCase(number, "tel:")) {
      number.erase(0, 4);  // 4.0 TEL;VALUE=uri
    }
    SetText(m, column, rule.tier, std::move(number));
    return;
  }
}

void MapUrl(Mapping& m, const Field& f) {
  std::u16string url = UnescapeText(f.value, m.v21);
  if (f.types & kHome) SetText(m, Col("PersonalHomePage"), 1, url);
  if (f.types & kWork) SetText(m, Col("BusinessHomePage"), 1, url);
  Trim(url);
  if ((f.types & (kHome | kWork)) == 0 && !url.empty() && m.untyped_urls.size() < 2) {
    m.untyped_urls.push_back(std::move(url));
  }
}

void MapNote(Mapping& m, const Field& f) {
  std::u16string note = UnescapeText(f.value, m.v21);
  if (note.empty()) return;
  auto& body = std::get<std::u16string>(m.card.values[Col("Body")]);
  if (body.size() >= kMaxTextLength) return;
  if (!body.empty()) body += u"\r\n";
  body += note;
  LimitLength(body);
}

bool ValueIs(const Field& f, std::string_view word) {
  std::u16string value = f.value;
  Trim(value);
  return text::EqualsNoCase(value, word);
}

void MapField(Mapping& m, const Field& f) {
  ApplySimpleRules(m, f);
  switch (f.id) {
    case PropId::kN: return MapName(m, f);
    case PropId::kAdr: return MapAddress(m, f);
    case PropId::kOrg: return MapOrg(m, f);
    case PropId::kTel: return MapTel(m, f, kTelRules);
    case PropId::kXMsTel: return MapTel(m, f, kMsTelRules);
    case PropId::kUrl: return MapUrl(m, f);
    case PropId::kNote: return MapNote(m, f);
    case PropId::kSound:
      if (f.types & kIrmcName) MapIrmcReading(m, f);
      return;
    case PropId::kKind:
    case PropId::kXAddressBookServerKind:
      if (ValueIs(f, "group")) m.card.kind = CardKind::kGroup;
      return;
    case PropId::kXEvolutionList:
      if (ValueIs(f, "true")) m.card.kind = CardKind::kGroup;
      return;
    default:
      return;
  }
}

// Apple ties a label to a property by a shared group name ("item1.TEL" and
// "item1.X-ABLabel"); the label may come before or after the property.
// A card has a handful of labels, searched in order in place; a card of very
// many (a hostile one: 100,000 labelled numbers) looks them up by hash, so
// that matching costs one look-up per property, not a search of every label.
struct Label {
  std::string_view group;
  std::uint32_t bits;
};

struct Labels {
  std::array<Label, 8> first;
  std::size_t count = 0;
  std::unordered_map<std::string_view, std::uint32_t> more;

  void Add(const Label& label) {
    if (count < first.size()) {
      first[count++] = label;
    } else {
      more.emplace(label.group, label.bits);
    }
  }
  bool Empty() const { return count == 0; }
  const std::uint32_t* Find(std::string_view group) const {
    for (std::size_t i = 0; i < count; ++i) {
      if (first[i].group == group) return &first[i].bits;
    }
    if (more.empty()) return nullptr;
    const auto found = more.find(group);
    return found == more.end() ? nullptr : &found->second;
  }
};

std::u16string_view Trimmed(std::u16string_view s) {
  while (!s.empty() && IsTrimmable(s.back())) s.remove_suffix(1);
  while (!s.empty() && IsTrimmable(s.front())) s.remove_prefix(1);
  return s;
}

std::uint32_t LabelBits(const Field& f, bool v21) {
  // Without a backslash the text unescapes to itself.
  if (v21 || f.value.find(u'\\') == std::u16string::npos) return LookupLabel(Trimmed(f.value));
  std::u16string text = UnescapeText(f.value, v21);
  Trim(text);
  return LookupLabel(text);
}

void ApplyLabels(std::span<Field> fields, bool v21) {
  Labels labels;
  for (const Field& f : fields) {
    if (f.id == PropId::kXAbLabel && !f.group.empty() && labels.Find(f.group) == nullptr) {
      labels.Add({f.group, LabelBits(f, v21)});
    }
  }
  if (labels.Empty()) return;
  for (Field& f : fields) {
    if (f.group.empty()) continue;
    if (const std::uint32_t* bits = labels.Find(f.group)) f.types |= *bits;
  }
}

void FillUntypedUrls(Mapping& m) {
  for (std::u16string& url : m.untyped_urls) {
    const std::size_t column =
        m.tier[Col("PersonalHomePage")] == kUnset ? Col("PersonalHomePage") : Col("BusinessHomePage");
    SetText(m, column, 1, std::move(url));
  }
}

}  // namespace

void MapFields(std::span<Field> fields, bool v21, Card& card) {
  card.kind = CardKind::kContact;
  // Empty values in place (texts "", dates none), without a temporary
  // array of 55 values to move from.
  for (std::size_t i = 0; i < card.values.size(); ++i) {
    if (om::kContactProperties[i].kind == om::PropertyKind::kDate) {
      card.values[i] = om::kNoDate;
    } else if (auto* text = std::get_if<std::u16string>(&card.values[i])) {
      // An empty text is left alone: clearing it would still write to its
      // buffer, which for a card decoded into again lies elsewhere in memory.
      if (!text->empty()) text->clear();
    } else {
      card.values[i].emplace<std::u16string>();
    }
  }
  Mapping m(card, v21);
  ApplyLabels(fields, v21);
  bool raw_breaks = false;
  for (const Field& f : fields) {
    MapField(m, f);
    raw_breaks = raw_breaks || !f.no_line_breaks;
  }
  FillUntypedUrls(m);
  // Escapes and joins add line breaks as CR LF only; other breaks come from
  // fields that hold CR or LF, or from a CR LF cut in two where the notes
  // reached the length limit.
  if (raw_breaks) {
    for (om::Value& value : card.values) {
      auto* text = std::get_if<std::u16string>(&value);
      if (text != nullptr && !text->empty()) NormaliseLineBreaks(*text);
    }
  } else if (auto& body = std::get<std::u16string>(card.values[Col("Body")]); body.size() + 1 >= kMaxTextLength) {
    NormaliseLineBreaks(body);
  }
}

}  // namespace vcard
