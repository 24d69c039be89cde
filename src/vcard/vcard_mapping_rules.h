// The tables that say which vCard property fills which contact property:
// single-value rules, telephone rules and address columns. Read by the
// mapping in vcard_mapping.cpp only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "om/contact_properties.h"
#include "vcard/vcard_fields.h"

namespace vcard::rules {

// The column of the contact property `name`, found at compile time.
consteval std::size_t Col(std::string_view name) {
  for (std::size_t i = 0; i < om::kContactProperties.size(); ++i) {
    if (om::kContactProperties[i].name == name) return i;
  }
  throw "no such contact property";
}

constexpr std::size_t kNoColumn = om::kContactPropertyCount;

// A property that fills one column from its whole value. Lower tiers win;
// within a tier the first value in file order wins. `need` are type bits
// the field must carry (labels of X-ABDATE / X-ABRELATEDNAMES, EMAIL;TLX).
struct SimpleRule {
  PropId id;
  std::uint32_t need;
  std::size_t column;
  std::uint8_t tier;
};

constexpr SimpleRule kSimpleRules[] = {
    {PropId::kXEvolutionFileAs, 0, Col("FileAs"), 1},
    {PropId::kFn, 0, Col("FileAs"), 2},
    {PropId::kTitle, 0, Col("JobTitle"), 1},
    {PropId::kRole, 0, Col("Profession"), 1},
    {PropId::kNickname, 0, Col("NickName"), 1},
    {PropId::kXNickname, 0, Col("NickName"), 2},
    {PropId::kXPhoneticLastName, 0, Col("YomiLastName"), 1},
    {PropId::kXPhoneticFirstName, 0, Col("YomiFirstName"), 1},
    {PropId::kXPhoneticOrg, 0, Col("YomiCompanyName"), 1},
    {PropId::kXMsManager, 0, Col("ManagerName"), 1},
    {PropId::kXEvolutionManager, 0, Col("ManagerName"), 2},
    {PropId::kXKdeManager, 0, Col("ManagerName"), 2},
    {PropId::kXAbRelatedNames, kManagerLabel, Col("ManagerName"), 2},
    {PropId::kXMsAssistant, 0, Col("AssistantName"), 1},
    {PropId::kXEvolutionAssistant, 0, Col("AssistantName"), 2},
    {PropId::kXKdeAssistant, 0, Col("AssistantName"), 2},
    {PropId::kXAbRelatedNames, kAssistantLabel, Col("AssistantName"), 2},
    {PropId::kEmail, kTelex, Col("TelexNumber"), 1},
    {PropId::kBday, 0, Col("Birthday"), 1},
    {PropId::kAnniversary, 0, Col("Anniversary"), 1},
    {PropId::kXMsAnniversary, 0, Col("Anniversary"), 2},
    {PropId::kXAnniversary, 0, Col("Anniversary"), 2},
    {PropId::kXEvolutionAnniversary, 0, Col("Anniversary"), 2},
    {PropId::kXKdeAnniversary, 0, Col("Anniversary"), 2},
    {PropId::kXAbDate, kAnniversaryLabel, Col("Anniversary"), 2},
};

constexpr std::size_t kPropIdCount = static_cast<std::size_t>(PropId::kXPhoneticOrg) + 1;

// For each property, the bits of the simple rules that name it.
consteval std::array<std::uint32_t, kPropIdCount> SimpleRulesByProperty() {
  static_assert(std::size(kSimpleRules) <= 32);
  std::array<std::uint32_t, kPropIdCount> rules{};
  for (std::size_t i = 0; i < std::size(kSimpleRules); ++i) {
    rules[static_cast<std::size_t>(kSimpleRules[i].id)] |= 1u << i;
  }
  return rules;
}

constexpr std::array<std::uint32_t, kPropIdCount> kSimpleRulesOf = SimpleRulesByProperty();

// Where a telephone number goes: the first row whose bits the number
// carries decides, so a number lands in one column only (a home fax is not
// also a home number). `second` takes the next number of the same kind.
struct TelRule {
  std::uint32_t all;
  std::size_t column;
  std::size_t second;
  std::uint8_t tier;
};

constexpr TelRule kTelRules[] = {
    {kFax | kHome, Col("HomeFaxNumber"), kNoColumn, 1},
    {kFax | kWork, Col("BusinessFaxNumber"), kNoColumn, 1},
    {kFax, Col("OtherFaxNumber"), kNoColumn, 1},
    {kCell, Col("MobileTelephoneNumber"), kNoColumn, 1},
    {kMobileAlt, Col("MobileTelephoneNumber"), kNoColumn, 2},
    {kPager, Col("PagerNumber"), kNoColumn, 1},
    {kCar, Col("CarTelephoneNumber"), kNoColumn, 1},
    {kIsdn, Col("ISDNNumber"), kNoColumn, 1},
    {kCompany, Col("CompanyMainTelephoneNumber"), kNoColumn, 2},
    {kCallback, Col("CallbackTelephoneNumber"), kNoColumn, 2},
    {kRadio, Col("RadioTelephoneNumber"), kNoColumn, 2},
    {kTtyTdd, Col("TTYTDDTelephoneNumber"), kNoColumn, 2},
    {kAssistant, Col("AssistantTelephoneNumber"), kNoColumn, 2},
    {kTelex, Col("TelexNumber"), kNoColumn, 2},
    {kHome, Col("HomeTelephoneNumber"), Col("Home2TelephoneNumber"), 1},
    {kWork, Col("BusinessTelephoneNumber"), Col("Business2TelephoneNumber"), 1},
    {kOther, Col("OtherTelephoneNumber"), kNoColumn, 2},
    {0, Col("OtherTelephoneNumber"), kNoColumn, 1},
};

// Outlook's own X-MS-TEL carries only its extra numbers and beats TEL.
constexpr TelRule kMsTelRules[] = {
    {kCompany, Col("CompanyMainTelephoneNumber"), kNoColumn, 1},
    {kCallback, Col("CallbackTelephoneNumber"), kNoColumn, 1},
    {kRadio, Col("RadioTelephoneNumber"), kNoColumn, 1},
    {kTtyTdd, Col("TTYTDDTelephoneNumber"), kNoColumn, 1},
    {kAssistant, Col("AssistantTelephoneNumber"), kNoColumn, 1},
};

struct AddressColumns {
  std::size_t postal_code, country, state, city, street;
  bool extended_in_street;  // home and other: the building line goes first
};

enum AddressKind { kHomeAddress, kBusinessAddress, kOtherAddress };

constexpr AddressColumns kAddresses[] = {
    {Col("HomeAddressPostalCode"), Col("HomeAddressCountry"), Col("HomeAddressState"),
     Col("HomeAddressCity"), Col("HomeAddressStreet"), true},
    {Col("BusinessAddressPostalCode"), Col("BusinessAddressCountry"), Col("BusinessAddressState"),
     Col("BusinessAddressCity"), Col("BusinessAddressStreet"), false},
    {Col("OtherAddressPostalCode"), Col("OtherAddressCountry"), Col("OtherAddressState"),
     Col("OtherAddressCity"), Col("OtherAddressStreet"), true},
};

}  // namespace vcard::rules
