#include "vcard/vcard_fields.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "text/ascii_case.h"

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

// Every property and TYPE word of every card is looked up: the names are
// hashed into a table made at compile time (open addressing, a quarter
// full), so that a lookup compares against one name, seldom two.
constexpr std::size_t kSlots = 128;
constexpr std::uint8_t kEmptySlot = 255;

// The slot of a name from its length and three of its bytes; `at(i)` gives
// byte i as the table holds names (in their case).
template <class At>
constexpr std::size_t SlotOf(std::size_t size, At at) {
  return (size * 7 + at(0) * 31 + at(size - 1) * 17 + at(size / 2)) & (kSlots - 1);
}

template <class Entry, std::size_t N>
consteval std::array<std::uint8_t, kSlots> SlotsOf(const std::array<Entry, N>& table) {
  static_assert(N < kSlots / 2);
  std::array<std::uint8_t, kSlots> slots{};
  slots.fill(kEmptySlot);
  for (std::size_t i = 0; i < N; ++i) {
    const std::string_view name = table[i].name;
    std::size_t slot =
        SlotOf(name.size(), [&](std::size_t k) { return static_cast<std::uint32_t>(static_cast<unsigned char>(name[k])); });
    while (slots[slot] != kEmptySlot) slot = (slot + 1) & (kSlots - 1);
    slots[slot] = static_cast<std::uint8_t>(i);
  }
  return slots;
}

constexpr auto kPropertySlots = SlotsOf(kProperties);
constexpr auto kTypeWordSlots = SlotsOf(kTypeWords);
constexpr auto kLabelSlots = SlotsOf(kLabels);

// A unit of a key in the case the table's names are written in; units
// beyond ASCII stay as they are and match no name.
template <class Char>
std::uint32_t Folded(Char c, bool upper) {
  const auto u = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(c));
  return upper ? text::ToUpperAscii(u) : text::ToLowerAscii(u);
}

// The entry named `key` (in either case), compared unit by unit with the
// one or two names of its slot.
template <class Entry, std::size_t N, class Char>
const Entry* Find(const std::array<Entry, N>& table, const std::array<std::uint8_t, kSlots>& slots,
                  std::basic_string_view<Char> key, bool upper) {
  if (key.empty() || key.size() >= 64) return nullptr;
  const auto at = [&](std::size_t k) { return Folded(key[k], upper); };
  for (std::size_t slot = SlotOf(key.size(), at); slots[slot] != kEmptySlot; slot = (slot + 1) & (kSlots - 1)) {
    const Entry& entry = table[slots[slot]];
    if (entry.name.size() != key.size()) continue;
    std::size_t i = 0;
    while (i < key.size() && static_cast<unsigned char>(entry.name[i]) == at(i)) ++i;
    if (i == key.size()) return &entry;
  }
  return nullptr;
}

}  // namespace

void LimitLength(std::u16string& text) {
  if (text.size() <= kMaxTextLength) return;
  std::size_t length = kMaxTextLength;
  if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
  text.resize(length);
}

std::optional<PropId> LookupProperty(std::string_view name) {
  const NamedProperty* entry = Find(kProperties, kPropertySlots, name, true);
  return entry == nullptr ? std::nullopt : std::optional<PropId>(entry->id);
}

std::uint32_t LookupTypeWord(std::string_view word) {
  const NamedBits* entry = Find(kTypeWords, kTypeWordSlots, word, false);
  return entry == nullptr ? 0 : entry->bits;
}

std::uint32_t LookupLabel(std::u16string_view label) {
  constexpr std::u16string_view kOpen = u"_$!<", kClose = u">!$_";
  if (label.starts_with(kOpen) && label.ends_with(kClose) && label.size() >= 8) {
    label = label.substr(kOpen.size(), label.size() - kOpen.size() - kClose.size());
  }
  const NamedBits* entry = Find(kLabels, kLabelSlots, label, false);
  return entry == nullptr ? 0 : entry->bits;
}

}  // namespace vcard
