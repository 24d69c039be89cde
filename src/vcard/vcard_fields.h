// The vCard properties that carry contact data, as the reader hands them to
// the mapping: which property, its type words, and its decoded text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vcard {

enum class PropId : std::uint8_t {
  kAdr, kAnniversary, kBday, kEmail, kFn, kKind, kN, kNickname, kNote, kOrg, kRole, kSound,
  kTel, kTitle, kUrl, kXAbDate, kXAbLabel, kXAbRelatedNames, kXAddressBookServerKind,
  kXAnniversary, kXEvolutionAnniversary, kXEvolutionAssistant, kXEvolutionFileAs,
  kXEvolutionList, kXEvolutionManager, kXKdeAnniversary, kXKdeAssistant, kXKdeManager,
  kXMsAnniversary, kXMsAssistant, kXMsManager, kXMsTel, kXNickname, kXPhoneticFirstName,
  kXPhoneticLastName, kXPhoneticOrg,
};

// Type words (TYPE values, bare 2.1 parameters, and meanings of Apple
// labels) that decide where a value goes. Words not listed (voice, pref,
// internet, x-...) carry no meaning here.
enum TypeBit : std::uint32_t {
  kHome = 1u << 0,
  kWork = 1u << 1,
  kCell = 1u << 2,
  kMobileAlt = 1u << 3,  // pcs, iPhone, Apple's Mobile label: mobile when no cell
  kFax = 1u << 4,
  kPager = 1u << 5,
  kCar = 1u << 6,
  kIsdn = 1u << 7,
  kOther = 1u << 8,
  kTelex = 1u << 9,
  kCompany = 1u << 10,
  kCallback = 1u << 11,
  kRadio = 1u << 12,
  kTtyTdd = 1u << 13,
  kAssistant = 1u << 14,
  kIrmcName = 1u << 15,  // SOUND;X-IRMC-N: the reading of the name
  kAnniversaryLabel = 1u << 16,
  kManagerLabel = 1u << 17,
  kAssistantLabel = 1u << 18,
};

// The longest text one column takes, in UTF-16 code units; longer values
// (and joined notes) are cut there so that a hostile file of one huge value
// keeps memory bounded. The raw bytes read for one value are bounded to
// match (the widest encoding, quoted-printable, takes 3 bytes a byte).
inline constexpr std::size_t kMaxTextLength = std::size_t{1} << 20;
inline constexpr std::size_t kMaxValueBytes = 4 * kMaxTextLength;

// Cuts `text` to kMaxTextLength without splitting a surrogate pair.
void LimitLength(std::u16string& text);

struct Field {
  PropId id{};
  std::uint32_t types = 0;   // TypeBit set from the parameters and the group's label
  bool phonetic = false;     // PHONETIC or SCRIPT=Kana: the value is a reading
  bool omit_year = false;    // X-APPLE-OMIT-YEAR: the year is a placeholder
  bool no_line_breaks = false;  // value and sort_as are known to hold no CR or LF
  std::string group;         // lower case; empty when none
  std::u16string value;      // decoded text, vCard escapes still in place
  std::u16string sort_as;    // the SORT-AS parameter, decoded
};

// The property named `name` (any case), when the mapping reads it.
std::optional<PropId> LookupProperty(std::string_view name);

// The bits of one type word (any case); 0 for words without meaning here.
std::uint32_t LookupTypeWord(std::string_view word);

// The bits of an Apple X-ABLabel text ("_$!<HomeFAX>!$_", "iPhone").
std::uint32_t LookupLabel(std::u16string_view label);

}  // namespace vcard
