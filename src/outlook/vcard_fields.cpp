#include "outlook/vcard_fields.h"

#include <algorithm>
#include <array>
#include <vector>

namespace vcard {
namespace {

struct NamedProperty {
  std::string_view name;  // upper case, sorted
  PropId id;
};

constexpr std::array<NamedProperty, 36> kProperties{{
    {"ADR", PropId::kAdr},
    {"ANNIVERSARY", PropId::kAnniversary},
    {"BDAY", PropId::kBday},
    {"EMAIL", PropId::kEmail},
    {"FN", PropId::kFn},
    {"KIND", PropId::kKind},
    {"N", PropId::kN},
    {"NICKNAME", PropId::kNickname},
    {"NOTE", PropId::kNote},
    {"ORG", PropId::kOrg},
    {"ROLE", PropId::kRole},
    {"SOUND", PropId::kSound},
    {"TEL", PropId::kTel},
    {"TITLE", PropId::kTitle},
    {"URL", PropId::kUrl},
    {"X-ABDATE", PropId::kXAbDate},
    {"X-ABLABEL", PropId::kXAbLabel},
    {"X-ABRELATEDNAMES", PropId::kXAbRelatedNames},
    {"X-ADDRESSBOOKSERVER-KIND", PropId::kXAddressBookServerKind},
    {"X-ANNIVERSARY", PropId::kXAnniversary},
    {"X-EVOLUTION-ANNIVERSARY", PropId::kXEvolutionAnniversary},
    {"X-EVOLUTION-ASSISTANT", PropId::kXEvolutionAssistant},
    {"X-EVOLUTION-FILE-AS", PropId::kXEvolutionFileAs},
    {"X-EVOLUTION-LIST", PropId::kXEvolutionList},
    {"X-EVOLUTION-MANAGER", PropId::kXEvolutionManager},
    {"X-KADDRESSBOOK-X-ANNIVERSARY", PropId::kXKdeAnniversary},
    {"X-KADDRESSBOOK-X-ASSISTANTSNAME", PropId::kXKdeAssistant},
    {"X-KADDRESSBOOK-X-MANAGERSNAME", PropId::kXKdeManager},
    {"X-MS-ANNIVERSARY", PropId::kXMsAnniversary},
    {"X-MS-ASSISTANT", PropId::kXMsAssistant},
    {"X-MS-MANAGER", PropId::kXMsManager},
    {"X-MS-TEL", PropId::kXMsTel},
    {"X-NICKNAME", PropId::kXNickname},
    {"X-PHONETIC-FIRST-NAME", PropId::kXPhoneticFirstName},
    {"X-PHONETIC-LAST-NAME", PropId::kXPhoneticLastName},
    {"X-PHONETIC-ORG", PropId::kXPhoneticOrg},
}};

struct NamedBits {
  std::string_view name;  // lower case, sorted
  std::uint32_t bits;
};

// TYPE words. Evolution writes its own words for Outlook's extra numbers;
// Apple writes IPHONE; MAIN is the company's main number; Japanese phones
// write X-PCS for a PHS handset.
constexpr std::array<NamedBits, 26> kTypeWords{{
    {"assistant", kAssistant},
    {"callback", kCallback},
    {"car", kCar},
    {"cell", kCell},
    {"company", kCompany},
    {"fax", kFax},
    {"home", kHome},
    {"iphone", kMobileAlt},
    {"isdn", kIsdn},
    {"main", kCompany},
    {"other", kOther},
    {"pager", kPager},
    {"pcs", kMobileAlt},
    {"radio", kRadio},
    {"textphone", kTtyTdd},
    {"tlx", kTelex},
    {"ttytdd", kTtyTdd},
    {"work", kWork},
    {"x-evolution-assistant", kAssistant},
    {"x-evolution-callback", kCallback},
    {"x-evolution-company", kCompany},
    {"x-evolution-radio", kRadio},
    {"x-evolution-telex", kTelex},
    {"x-evolution-ttytdd", kTtyTdd},
    {"x-irmc-n", kIrmcName},
    {"x-pcs", kMobileAlt},
}};

// Apple labels without their "_$!<" ">!$_" wrapping, lower case.
constexpr std::array<NamedBits, 20> kLabels{{
    {"anniversary", kAnniversaryLabel},
    {"assistant", kAssistantLabel},
    {"assistantphone", kAssistant},
    {"callback", kCallback},
    {"car", kCar},
    {"companymain", kCompany},
    {"home", kHome},
    {"homefax", kHome | kFax},
    {"homepage", kHome},
    {"iphone", kMobileAlt},
    {"isdn", kIsdn},
    {"main", kCompany},
    {"manager", kManagerLabel},
    {"mobile", kMobileAlt},
    {"other", kOther},
    {"otherfax", kFax},
    {"pager", kPager},
    {"radio", kRadio},
    {"work", kWork},
    {"workfax", kWork | kFax},
}};

constexpr auto kByName = [](const auto& a, const auto& b) { return a.name < b.name; };
static_assert(std::is_sorted(kProperties.begin(), kProperties.end(), kByName));
static_assert(std::is_sorted(kTypeWords.begin(), kTypeWords.end(), kByName));
static_assert(std::is_sorted(kLabels.begin(), kLabels.end(), kByName));
static_assert(std::all_of(kProperties.begin(), kProperties.end(), [](const NamedProperty& e) { return e.name.size() < 32; }));
static_assert(std::all_of(kTypeWords.begin(), kTypeWords.end(), [](const NamedBits& e) { return e.name.size() < 32; }));

template <std::size_t N, class Entry>
const Entry* Find(const std::array<Entry, N>& table, std::string_view key) {
  auto it = std::lower_bound(table.begin(), table.end(), key,
                             [](const Entry& e, std::string_view k) { return e.name < k; });
  return (it != table.end() && it->name == key) ? &*it : nullptr;
}

// Lower-cases `word` into `buffer`; false when it is too long or not ASCII
// to be any known word.
template <class Char>
bool LowerInto(std::basic_string_view<Char> word, std::array<char, 40>& buffer, std::string_view& out) {
  if (word.size() > buffer.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const Char c = word[i];
    if (c >= 0x80) return false;
    buffer[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : static_cast<char>(c);
  }
  out = std::string_view(buffer.data(), word.size());
  return true;
}

// Names of one bucket have the same length: compared in place, the first
// byte first, without a call per name.
bool SameBytes(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

void LimitLength(std::u16string& text) {
  if (text.size() <= kMaxTextLength) return;
  std::size_t length = kMaxTextLength;
  if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
  text.resize(length);
}

std::optional<PropId> LookupProperty(std::string_view upper_name) {
  // Every property of every card is looked up: the names are bucketed by
  // length once, so that a lookup compares against a few names at most.
  static const auto kByLength = [] {
    std::array<std::vector<const NamedProperty*>, 32> buckets{};
    for (const NamedProperty& entry : kProperties) buckets[entry.name.size()].push_back(&entry);
    return buckets;
  }();
  if (upper_name.size() >= kByLength.size()) return std::nullopt;
  for (const NamedProperty* entry : kByLength[upper_name.size()]) {
    if (SameBytes(entry->name, upper_name)) return entry->id;
  }
  return std::nullopt;
}

std::uint32_t LookupTypeWord(std::string_view word) {
  // Every TYPE word of every card is looked up: bucketed by length as the
  // property names are.
  static const auto kByLength = [] {
    std::array<std::vector<const NamedBits*>, 32> buckets{};
    for (const NamedBits& entry : kTypeWords) buckets[entry.name.size()].push_back(&entry);
    return buckets;
  }();
  if (word.size() >= kByLength.size()) return 0;
  std::array<char, 40> buffer;
  std::string_view lower;
  if (!LowerInto(word, buffer, lower)) return 0;
  for (const NamedBits* entry : kByLength[lower.size()]) {
    if (SameBytes(entry->name, lower)) return entry->bits;
  }
  return 0;
}

std::uint32_t LookupLabel(std::u16string_view label) {
  constexpr std::u16string_view kOpen = u"_$!<", kClose = u">!$_";
  if (label.starts_with(kOpen) && label.ends_with(kClose) && label.size() >= 8) {
    label = label.substr(kOpen.size(), label.size() - kOpen.size() - kClose.size());
  }
  std::array<char, 40> buffer;
  std::string_view lower;
  if (!LowerInto(label, buffer, lower)) return 0;
  const NamedBits* entry = Find(kLabels, lower);
  return entry == nullptr ? 0 : entry->bits;
}

}  // namespace vcard
