#include "outlook/vcard_fields.h"

#include <algorithm>
#include <array>
#include <cstring>

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

// Every property and TYPE word of every card is looked up: the names are
// hashed into a table made at compile time (open addressing, a quarter
// full), so that a lookup compares against one name, seldom two.
constexpr std::size_t kSlots = 128;
constexpr std::uint8_t kEmptySlot = 255;

constexpr std::size_t SlotOf(std::string_view name) {
  const auto at = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(name[i])); };
  return (name.size() * 7 + at(0) * 31 + at(name.size() - 1) * 17 + at(name.size() / 2)) & (kSlots - 1);
}

template <class Entry, std::size_t N>
consteval std::array<std::uint8_t, kSlots> SlotsOf(const std::array<Entry, N>& table) {
  static_assert(N < kSlots / 2);
  std::array<std::uint8_t, kSlots> slots{};
  slots.fill(kEmptySlot);
  for (std::size_t i = 0; i < N; ++i) {
    std::size_t slot = SlotOf(table[i].name);
    while (slots[slot] != kEmptySlot) slot = (slot + 1) & (kSlots - 1);
    slots[slot] = static_cast<std::uint8_t>(i);
  }
  return slots;
}

constexpr auto kPropertySlots = SlotsOf(kProperties);
constexpr auto kTypeWordSlots = SlotsOf(kTypeWords);
constexpr auto kLabelSlots = SlotsOf(kLabels);

// Names compared as four 8-byte words, zero-padded: no loop whose end
// depends on the name's length.
constexpr std::size_t kPadded = 32;
using Words = std::array<std::uint64_t, kPadded / 8>;

Words WordsOf(const char (&padded)[kPadded]) {
  Words words;
  std::memcpy(words.data(), padded, kPadded);
  return words;
}

template <std::size_t N>
struct PaddedNames {
  char names[N][kPadded] = {};
};

template <class Entry, std::size_t N>
consteval PaddedNames<N> PadNames(const std::array<Entry, N>& table) {
  PaddedNames<N> padded;
  for (std::size_t i = 0; i < N; ++i) {
    if (table[i].name.size() >= kPadded) throw "name too long to be padded";
    for (std::size_t k = 0; k < table[i].name.size(); ++k) padded.names[i][k] = table[i].name[k];
  }
  return padded;
}

constexpr auto kPropertyNames = PadNames(kProperties);
constexpr auto kTypeWordNames = PadNames(kTypeWords);
constexpr auto kLabelNames = PadNames(kLabels);

template <class Entry, std::size_t N>
const Entry* Find(const std::array<Entry, N>& table, const std::array<std::uint8_t, kSlots>& slots,
                  const PaddedNames<N>& names, std::string_view key) {
  if (key.empty() || key.size() >= kPadded) return nullptr;
  char padded[kPadded] = {};
  std::memcpy(padded, key.data(), key.size());
  const Words want = WordsOf(padded);
  for (std::size_t slot = SlotOf(key); slots[slot] != kEmptySlot; slot = (slot + 1) & (kSlots - 1)) {
    const Words have = WordsOf(names.names[slots[slot]]);
    const std::uint64_t differ = (have[0] ^ want[0]) | (have[1] ^ want[1]) | (have[2] ^ want[2]) | (have[3] ^ want[3]);
    // Equal padded words and no NUL in the key: the same name.
    if (differ == 0 && table[slots[slot]].name.size() == key.size()) return &table[slots[slot]];
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

std::optional<PropId> LookupProperty(std::string_view upper_name) {
  const NamedProperty* entry = Find(kProperties, kPropertySlots, kPropertyNames, upper_name);
  return entry == nullptr ? std::nullopt : std::optional<PropId>(entry->id);
}

std::uint32_t LookupTypeWord(std::string_view word) {
  std::array<char, 40> buffer;
  std::string_view lower;
  if (!LowerInto(word, buffer, lower)) return 0;
  const NamedBits* entry = Find(kTypeWords, kTypeWordSlots, kTypeWordNames, lower);
  return entry == nullptr ? 0 : entry->bits;
}

std::uint32_t LookupLabel(std::u16string_view label) {
  constexpr std::u16string_view kOpen = u"_$!<", kClose = u">!$_";
  if (label.starts_with(kOpen) && label.ends_with(kClose) && label.size() >= 8) {
    label = label.substr(kOpen.size(), label.size() - kOpen.size() - kClose.size());
  }
  std::array<char, 40> buffer;
  std::string_view lower;
  if (!LowerInto(label, buffer, lower)) return 0;
  const NamedBits* entry = Find(kLabels, kLabelSlots, kLabelNames, lower);
  return entry == nullptr ? 0 : entry->bits;
}

}  // namespace vcard
