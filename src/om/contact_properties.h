// The contact properties the export reads, in the order of the record's
// columns. Stores that serve contacts answer exactly these names.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "om/object_model.h"

namespace om {

enum class PropertyKind { kText, kDate };

struct ContactProperty {
  std::string_view name;  // as requested; matched without regard to case
  PropertyKind kind;
};

// The table's names are the very strings the export asks stores for, in
// column order. A store item finds the column of a name that is the table's
// own string (the same characters at the same address) at once, by trying the
// column after the last one read; any other spelling of a name, in any case,
// is found through FindContactProperty, more slowly, with the same result.
// So callers should pass kContactProperties[i].name itself, not a copy, when
// reading many items; nothing else depends on it.

inline constexpr std::size_t kContactPropertyCount = 55;

inline constexpr std::array<ContactProperty, kContactPropertyCount> kContactProperties{{
    {"lastname", PropertyKind::kText},
    {"FirstName", PropertyKind::kText},
    {"Suffix", PropertyKind::kText},
    {"YomiLastName", PropertyKind::kText},
    {"YomiFirstName", PropertyKind::kText},
    {"FileAs", PropertyKind::kText},
    {"HomeAddressPostalCode", PropertyKind::kText},
    {"HomeAddressCountry", PropertyKind::kText},
    {"HomeAddressState", PropertyKind::kText},
    {"HomeAddressCity", PropertyKind::kText},
    {"HomeAddressStreet", PropertyKind::kText},
    {"NickName", PropertyKind::kText},
    {"MobileTelephoneNumber", PropertyKind::kText},
    {"HomeTelephoneNumber", PropertyKind::kText},
    {"Home2TelephoneNumber", PropertyKind::kText},
    {"HomeFaxNumber", PropertyKind::kText},
    {"PersonalHomePage", PropertyKind::kText},
    {"Birthday", PropertyKind::kDate},
    {"Body", PropertyKind::kText},
    {"CompanyName", PropertyKind::kText},
    {"YomiCompanyName", PropertyKind::kText},
    {"OfficeLocation", PropertyKind::kText},
    {"Department", PropertyKind::kText},
    {"JobTitle", PropertyKind::kText},
    {"Title", PropertyKind::kText},
    {"Business2TelephoneNumber", PropertyKind::kText},
    {"BusinessAddressPostalCode", PropertyKind::kText},
    {"BusinessAddressCountry", PropertyKind::kText},
    {"BusinessAddressState", PropertyKind::kText},
    {"BusinessAddressCity", PropertyKind::kText},
    {"BusinessAddressStreet", PropertyKind::kText},
    {"CompanyMainTelephoneNumber", PropertyKind::kText},
    {"BusinessTelephoneNumber", PropertyKind::kText},
    {"BusinessFaxNumber", PropertyKind::kText},
    {"BusinessHomePage", PropertyKind::kText},
    {"CallbackTelephoneNumber", PropertyKind::kText},
    {"CarTelephoneNumber", PropertyKind::kText},
    {"Initials", PropertyKind::kText},
    {"ISDNNumber", PropertyKind::kText},
    {"ManagerName", PropertyKind::kText},
    {"OtherAddressPostalCode", PropertyKind::kText},
    {"OtherAddressCountry", PropertyKind::kText},
    {"OtherAddressState", PropertyKind::kText},
    {"OtherAddressCity", PropertyKind::kText},
    {"OtherAddressStreet", PropertyKind::kText},
    {"OtherTelephoneNumber", PropertyKind::kText},
    {"OtherFaxNumber", PropertyKind::kText},
    {"PagerNumber", PropertyKind::kText},
    {"Profession", PropertyKind::kText},
    {"RadioTelephoneNumber", PropertyKind::kText},
    {"TelexNumber", PropertyKind::kText},
    {"TTYTDDTelephoneNumber", PropertyKind::kText},
    {"Anniversary", PropertyKind::kDate},
    {"AssistantName", PropertyKind::kText},
    {"AssistantTelephoneNumber", PropertyKind::kText},
}};

// Column positions that several modules name.
enum ContactColumn : std::size_t {
  kLastName = 0,
  kFirstName = 1,
  kFileAs = 5,
  kBirthday = 17,
  kBody = 18,
  kAnniversary = 52,
};

// The position of `name` among the contact properties, compared without
// regard to ASCII case; nothing for any other name.
std::optional<std::size_t> FindContactProperty(std::string_view name);

// One contact's property values in column order: texts for text properties
// ("" when the store has nothing), dates for the two date properties
// (kNoDate when the store has nothing).
using ContactValues = std::array<Value, kContactPropertyCount>;

// Values of a contact with no data at all.
ContactValues EmptyContactValues();

}  // namespace om
