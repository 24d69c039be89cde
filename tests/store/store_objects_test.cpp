// The object-model objects of the stand-alone store: type names, members
// matched without case, counts and indexes, and the error numbers of calls
// that cannot succeed.
#include <gtest/gtest.h>

#include "om/contact_properties.h"
#include "store/store_test_helpers.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using om::Get;
using om::Value;
using storetest::At;
using storetest::ErrorOf;
using storetest::Member;

class ObjectsTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "store/Contacts/Sub");
    testfiles::WriteBytes(dir_ / "store/Contacts/a.vcf",
                          storetest::Card("Doe", "TITLE:Engineer\r\nBDAY:1980-04-03\r\n") +
                              storetest::Card("Crew", "KIND:group\r\n"));
    app_ = store::CreateStandaloneApplicationAt(dir_.path().string());
    ns_ = om::AsObject(Get(app_, "GetNamespace", Value(std::u16string(u"MAPI"))));
    folder_ = om::AsObject(Get(ns_, "GetDefaultFolder", Value(std::int64_t{10})));
    items_ = Member(folder_, "Items");
  }

  testfiles::TempDir dir_;
  om::Handle app_, ns_, folder_, items_;
};

TEST_F(ObjectsTest, TypeNames) {
  EXPECT_EQ(app_->TypeName(), u"Application");
  EXPECT_EQ(ns_->TypeName(), u"NameSpace");
  EXPECT_EQ(folder_->TypeName(), u"MAPIFolder");
  EXPECT_EQ(Member(folder_, "Folders")->TypeName(), u"Folders");
  EXPECT_EQ(Member(ns_, "Folders")->TypeName(), u"Folders");
  EXPECT_EQ(items_->TypeName(), u"Items");
  EXPECT_EQ(At(items_, 1)->TypeName(), u"ContactItem");
  EXPECT_EQ(At(items_, 2)->TypeName(), u"DistListItem");
}

TEST_F(ObjectsTest, MembersMatchWithoutCase) {
  EXPECT_EQ(om::AsCount(Get(Member(folder_, "ITEMS"), "count")), 2);
  EXPECT_EQ(om::AsObject(Get(app_, "getnamespace", Value(std::u16string(u"mapi")))), ns_);
  const om::Handle item = At(items_, 1);
  EXPECT_EQ(Get(item, "LASTNAME"), Value(std::u16string(u"Doe")));
  EXPECT_EQ(Get(item, "jobtitle"), Value(std::u16string(u"Engineer")));
  EXPECT_EQ(Get(item, "Birthday"), Value(om::Date{1980, 4, 3}));
}

TEST_F(ObjectsTest, AnItemAnswersExactlyTheContactProperties) {
  const om::Handle item = At(items_, 1);
  for (const om::ContactProperty& property : om::kContactProperties) {
    const Value value = Get(item, property.name);
    if (property.kind == om::PropertyKind::kDate) {
      EXPECT_TRUE(std::holds_alternative<om::Date>(value)) << property.name;
    } else {
      EXPECT_TRUE(std::holds_alternative<std::u16string>(value)) << property.name;
    }
  }
  EXPECT_EQ(Get(item, "Anniversary"), Value(om::kNoDate));
  EXPECT_EQ(Get(item, "Initials"), Value(std::u16string()));
  for (const char* other : {"Email1Address", "Categories", "", "lastname2"}) {
    EXPECT_EQ(ErrorOf([&] { Get(item, other); }), om::kDispUnknownName) << other;
  }
}

// GetInto reads into a value that held anything before (a longer or shorter
// text, a date, nothing) and gives exactly what Get gives; a read that fails
// leaves the value as it was.
TEST_F(ObjectsTest, ReadingIntoAValueGivesWhatGetGives) {
  const om::Handle item = At(items_, 1);
  const Value before[] = {Value(), Value(std::u16string(100, u'x')), Value(std::u16string(u"ab")),
                          Value(om::Date{2000, 1, 2})};
  for (const Value& held : before) {
    for (const om::ContactProperty& property : om::kContactProperties) {
      Value value = held;
      om::GetInto(item, property.name, value);
      EXPECT_EQ(value, Get(item, property.name)) << property.name;
    }
    Value value = held;
    EXPECT_EQ(ErrorOf([&] { om::GetInto(item, "NoSuchProperty", value); }), om::kDispUnknownName);
    EXPECT_EQ(ErrorOf([&] { item->GetInto("LastName", std::span<const Value>(&held, 1), value); }),
              om::kDispBadParamCount);
    EXPECT_EQ(value, held);
  }
}

TEST_F(ObjectsTest, UnknownMembersBadIndexesAndArgumentCounts) {
  const om::Handle folders = Member(ns_, "Folders");
  const om::Handle subfolders = Member(folder_, "Folders");
  for (const om::Handle& object : {app_, ns_, folder_, items_, folders, subfolders}) {
    EXPECT_EQ(ErrorOf([&] { Get(object, "NoSuchMember"); }), om::kDispUnknownName);
  }
  for (const om::Handle& collection : {items_, folders, subfolders}) {
    const std::int64_t count = om::AsCount(Get(collection, "Count"));
    for (std::int64_t index : {std::int64_t{0}, std::int64_t{-1}, count + 1}) {
      EXPECT_EQ(ErrorOf([&] { At(collection, index); }), om::kDispBadIndex) << index;
    }
    EXPECT_EQ(ErrorOf([&] { Get(collection, "Item"); }), om::kDispBadParamCount);
    EXPECT_EQ(ErrorOf([&] { Get(collection, "Item", Value(std::u16string(u"1"))); }), om::kTypeMismatch);
  }
  EXPECT_EQ(ErrorOf([&] { Get(ns_, "GetDefaultFolder"); }), om::kDispBadParamCount);
  EXPECT_EQ(ErrorOf([&] { Get(folder_, "Items", Value(std::int64_t{1})); }), om::kDispBadParamCount);
  EXPECT_NE(ErrorOf([&] { Get(app_, "GetNamespace", Value(std::u16string(u"OTHER"))); }), 0u);
}

TEST_F(ObjectsTest, EveryFetchIsAFreshItemAndHandlesOutliveTheirParents) {
  const om::Handle first = At(items_, 1);
  const om::Handle again = At(items_, 1);
  EXPECT_NE(first, again);
  EXPECT_EQ(Get(first, "FileAs"), Get(again, "FileAs"));
  // The collection keeps its folder: releasing everything else changes nothing.
  const om::Handle items = items_;
  folder_.reset();
  items_.reset();
  ns_.reset();
  app_.reset();
  EXPECT_EQ(om::AsCount(Get(items, "Count")), 2);
  EXPECT_EQ(Get(At(items, 1), "lastname"), Value(std::u16string(u"Doe")));
}

}  // namespace
