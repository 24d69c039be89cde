// The COM layer against an in-process automation model: member lookup and
// its cache, arguments, values, type names, error numbers and references.
#include "om/com_object_model_win32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "om/com_test_model_win32.h"
#include "om/error_numbers.h"

namespace {

using comtest::Calls;
using comtest::NewObject;
using comtest::SetMember;

class ComObjectModelTest : public testing::Test {
 protected:
  void SetUp() override {
    comtest::ResetModel();
    om::ClearMemberIdCache();
  }
  // Every test ends with all handles gone: every reference the layer took is
  // given back, and none twice.
  void TearDown() override {
    EXPECT_EQ(comtest::OutstandingReferences(), 0);
    EXPECT_EQ(comtest::OverReleases(), 0);
    comtest::ResetModel();
  }
};

std::uint32_t FailureOf(const om::Handle& object, std::string_view name) {
  try {
    om::Get(object, name);
  } catch (const om::ObjectModelError& failure) {
    return failure.number();
  }
  return 0;
}

TEST_F(ComObjectModelTest, ArgumentsArriveInCallOrderAsVariants) {
  IDispatch* target = NewObject(u"_Folder");
  IDispatch* other = NewObject(u"_Folder");
  std::vector<VARTYPE> kinds;
  std::vector<VARIANT> seen(4);
  SetMember(target, "Take", [&](std::span<VARIANT> args, VARIANT* result, EXCEPINFO*) {
    if (args.size() > seen.size()) return DISP_E_BADPARAMCOUNT;
    for (std::size_t i = 0; i < args.size(); ++i) {
      kinds.push_back(V_VT(&args[i]));
      VariantInit(&seen[i]);
      VariantCopy(&seen[i], &args[i]);
    }
    V_VT(result) = VT_EMPTY;
    return S_OK;
  });
  const om::Handle handle = om::WrapDispatch(target);
  const om::Value args[] = {std::u16string(u"MAPI"), std::int64_t{10}, om::kNoDate, om::WrapDispatch(other)};
  EXPECT_EQ(handle->Get("Take", args), om::Value());
  ASSERT_EQ(kinds, (std::vector<VARTYPE>{VT_BSTR, VT_I4, VT_DATE, VT_DISPATCH}));
  EXPECT_STREQ(V_BSTR(&seen[0]), L"MAPI");
  EXPECT_EQ(V_I4(&seen[1]), 10);
  EXPECT_EQ(V_DATE(&seen[2]), 949998.0);  // 4501-01-01
  EXPECT_EQ(V_DISPATCH(&seen[3]), other);
  for (VARIANT& value : seen) VariantClear(&value);
}

TEST_F(ComObjectModelTest, TypeNamesLoseOneLeadingUnderscore) {
  const struct {
    std::u16string_view documented;
    std::u16string_view expected;
  } cases[] = {
      {u"_ContactItem", u"ContactItem"},
      {u"MAPIFolder", u"MAPIFolder"},
      {u"__Twice", u"_Twice"},
      {u"", u"Object"},  // no type information at all
  };
  for (const auto& c : cases) {
    const om::Handle handle = om::WrapDispatch(NewObject(c.documented));
    EXPECT_EQ(handle->TypeName(), c.expected);
    EXPECT_EQ(handle->TypeName(), c.expected);  // asked of COM once per object
  }
  EXPECT_EQ(Calls().getTypeInfo, 4);
  EXPECT_EQ(Calls().getDocumentation, 3);
}

TEST_F(ComObjectModelTest, FailuresCarryTheObjectsOwnNumber) {
  const struct {
    const char* member;
    comtest::Answer answer;
    std::uint32_t number;
  } cases[] = {
      {"Provider", comtest::Raises(static_cast<HRESULT>(om::kMapiFailOneProvider)), om::kMapiFailOneProvider},
      {"Deferred", comtest::Raises(static_cast<HRESULT>(om::kMapiFailOneProvider), true), om::kMapiFailOneProvider},
      {"NotFound", comtest::Raises(static_cast<HRESULT>(om::kMapiNotFound)), om::kMapiNotFound},
      {"RunTime", comtest::RaisesRunTimeError(91), om::kObjectRequired},
      {"Direct", comtest::Fails(E_OUTOFMEMORY), static_cast<std::uint32_t>(E_OUTOFMEMORY)},
  };
  IDispatch* object = NewObject(u"_ContactItem");
  for (const auto& c : cases) SetMember(object, c.member, c.answer);
  const om::Handle handle = om::WrapDispatch(object);
  for (const auto& c : cases) EXPECT_EQ(FailureOf(handle, c.member), c.number) << c.member;
  EXPECT_EQ(Calls().deferredFillIns, 1);
}

TEST_F(ComObjectModelTest, ValuesOfEachKind) {
  VARIANT byRefTarget;
  V_VT(&byRefTarget) = VT_BSTR;
  V_BSTR(&byRefTarget) = SysAllocString(L"by reference");
  const auto make = [](VARTYPE kind, auto assign) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = kind;
    assign(value);
    return value;
  };
  const struct {
    VARIANT value;
    om::Value expected;
  } cases[] = {
      {make(VT_EMPTY, [](VARIANT&) {}), om::Value()},
      {make(VT_NULL, [](VARIANT&) {}), om::Value()},
      {make(VT_BSTR, [](VARIANT& v) { V_BSTR(&v) = nullptr; }), std::u16string()},
      {make(VT_I2, [](VARIANT& v) { V_I2(&v) = -5; }), std::int64_t{-5}},
      {make(VT_UI1, [](VARIANT& v) { V_UI1(&v) = 200; }), std::int64_t{200}},
      {make(VT_UI4, [](VARIANT& v) { V_UI4(&v) = 4000000000u; }), std::int64_t{4000000000}},
      {make(VT_I8, [](VARIANT& v) { V_I8(&v) = -9000000000; }), std::int64_t{-9000000000}},
      {make(VT_UI8, [](VARIANT& v) { V_UI8(&v) = 18446744073709551615ull; }), std::u16string(u"18446744073709551615")},
      {make(VT_BOOL, [](VARIANT& v) { V_BOOL(&v) = VARIANT_TRUE; }), std::u16string(u"True")},
      {make(VT_R8, [](VARIANT& v) { V_R8(&v) = 2.5; }), std::u16string(u"2.5")},
      {make(VT_DATE, [](VARIANT& v) { V_DATE(&v) = 29314.75; }), om::Date{1980, 4, 3}},
      {make(VT_BSTR | VT_BYREF, [&](VARIANT& v) { V_BSTRREF(&v) = &V_BSTR(&byRefTarget); }),
       std::u16string(u"by reference")},
      {make(VT_DISPATCH, [](VARIANT& v) { V_DISPATCH(&v) = nullptr; }), om::Handle()},
  };
  IDispatch* object = NewObject(u"_ContactItem");
  const om::Handle handle = om::WrapDispatch(object);
  for (const auto& c : cases) {
    SetMember(object, "Value", comtest::CopyOf(c.value));
    EXPECT_EQ(om::Get(handle, "Value"), c.expected) << "kind " << V_VT(&c.value);
  }
  VariantClear(&byRefTarget);

  VARIANT error;
  V_VT(&error) = VT_ERROR;
  V_ERROR(&error) = static_cast<SCODE>(om::kMapiNotFound);
  SetMember(object, "Error", comtest::CopyOf(error));
  EXPECT_NE(FailureOf(handle, "Error"), 0u);  // no text for an error value
}

TEST_F(ComObjectModelTest, ObjectsAndCollectionsComeBackAsHandles) {
  IDispatch* first = NewObject(u"MAPIFolder");
  IDispatch* second = NewObject(u"MAPIFolder");
  SetMember(second, "StoreID", comtest::Text(u"second"));
  IDispatch* ns = NewObject(u"_NameSpace");
  SetMember(ns, "Folders", comtest::Object(comtest::NewCollection(u"_Folders", {first, second})));
  SetMember(ns, "Nothing", comtest::Object(nullptr));
  const om::Handle handle = om::WrapDispatch(ns);
  const om::Handle folders = om::AsObject(om::Get(handle, "Folders"));
  EXPECT_EQ(om::AsCount(om::Get(folders, "Count")), 2);
  const om::Handle folder = om::AsObject(om::Get(folders, "Item", std::int64_t{2}));
  EXPECT_EQ(om::TypeNameOf(folder), u"MAPIFolder");
  EXPECT_EQ(om::Get(folder, "StoreId"), om::Value(std::u16string(u"second")));
  try {
    om::Get(folders, "Item", std::int64_t{3});
    ADD_FAILURE() << "item 3 of 2 was found";
  } catch (const om::ObjectModelError& failure) {
    EXPECT_EQ(failure.number(), om::kDispBadIndex);
  }
  EXPECT_EQ(om::AsObject(om::Get(handle, "Nothing")), nullptr);
}

TEST_F(ComObjectModelTest, MemberIdsAreLookedUpOncePerTypeAndName) {
  std::vector<om::Handle> typed;
  std::vector<om::Handle> untyped;
  for (int i = 0; i < 3; ++i) {
    IDispatch* contact = NewObject(u"_ContactItem");
    IDispatch* plain = NewObject(u"");
    SetMember(contact, "FirstName", comtest::Text(u"x"));
    SetMember(plain, "FirstName", comtest::Text(u"x"));
    typed.push_back(om::WrapDispatch(contact));
    untyped.push_back(om::WrapDispatch(plain));
  }
  // Names match without regard to case, and share one lookup.
  for (const om::Handle& handle : typed) {
    EXPECT_EQ(om::Get(handle, "FirstName"), om::Value(std::u16string(u"x")));
    EXPECT_EQ(om::Get(handle, "FIRSTNAME"), om::Value(std::u16string(u"x")));
  }
  EXPECT_EQ(Calls().getIdsOfNames, 1);
  EXPECT_EQ(Calls().invoke, 6);
  // Objects without type information may number their members each their
  // own way, so every read looks the name up.
  for (const om::Handle& handle : untyped) om::Get(handle, "FirstName");
  EXPECT_EQ(Calls().getIdsOfNames, 4);
  // An unknown name is not remembered as known.
  EXPECT_EQ(FailureOf(typed[0], "Missing"), om::kDispUnknownName);
  EXPECT_EQ(FailureOf(typed[1], "Missing"), om::kDispUnknownName);
  EXPECT_EQ(Calls().getIdsOfNames, 6);
}

TEST(ComDates, DayPartCountsTowardZeroWithoutRounding) {
  const struct {
    double ole;
    om::Date expected;
  } cases[] = {
      {0.0, {1899, 12, 30}},
      {1.0 - 0.4 / 86400, {1899, 12, 30}},  // 23:59:59.6 stays on its day
      {-0.5, {1899, 12, 30}},
      {-1.5, {1899, 12, 29}},               // noon of the day before
      {-2.25, {1899, 12, 28}},
      {61.0, {1900, 3, 1}},
      {29314.999999, {1980, 4, 3}},
      {36526.0, {2000, 1, 1}},
      {949998.0, {4501, 1, 1}},
      {-328717.0, {999, 12, 31}},
      {-109512.5, {1600, 2, 29}},
      {-657434.99, {100, 1, 1}},            // first day of the OLE range
      {2958465.99, {9999, 12, 31}},         // last day of the OLE range
  };
  for (const auto& c : cases) EXPECT_EQ(om::DateFromOle(c.ole), c.expected) << c.ole;
  for (double outside : {-657435.0, 2958466.0, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()}) {
    EXPECT_THROW(om::DateFromOle(outside), om::ObjectModelError) << outside;
  }
}

// A real COM class of the system, created through its ProgID: the apartment,
// the class lookup and the creation, and a member called with arguments.
TEST(ComCreation, CreatesRegisteredClassesAndFailsForOthers) {
  const om::Handle dictionary = om::CreateComObject(u"Scripting.Dictionary");
  ASSERT_NE(dictionary, nullptr);
  const om::Value pair[] = {std::u16string(u"key"), std::u16string(u"value")};
  dictionary->Get("Add", pair);
  EXPECT_EQ(om::AsCount(om::Get(dictionary, "count")), 1);
  EXPECT_EQ(om::Get(dictionary, "Item", std::u16string(u"key")), om::Value(std::u16string(u"value")));
  EXPECT_THROW(om::CreateComObject(u"Outlook.Application.NoSuchVersion"), om::ObjectModelError);
}

}  // namespace
