#include "om/contact_properties.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Upper(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

TEST(ContactProperties, EveryNameIsFoundAtItsColumnInAnyCase) {
  for (std::size_t i = 0; i < om::kContactPropertyCount; ++i) {
    const std::string_view name = om::kContactProperties[i].name;
    EXPECT_EQ(om::FindContactProperty(name), i) << name;
    EXPECT_EQ(om::FindContactProperty(Upper(name)), i) << name;
  }
  EXPECT_EQ(om::FindContactProperty("LastName"), 0u);
}

TEST(ContactProperties, OtherNamesAreNotFound) {
  for (std::string_view name : {"", "lastnam", "lastnamee", "Email1Address", "Birthday ",
                                "an unreasonably long member name of no property"}) {
    EXPECT_FALSE(om::FindContactProperty(name).has_value()) << name;
  }
}

}  // namespace
