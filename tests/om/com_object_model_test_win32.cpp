// The COM layer against an in-process automation model: member lookup and
// its cache, arguments, values, type names, error numbers and references.
#include "om/com_object_model_win32.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
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

std::optional<om::ObjectModelError> ErrorOf(const om::Handle& object, std::string_view name) {
  try {
    om::Get(object, name);
  } catch (const om::ObjectModelError& failure) {
    return failure;
  }
  return std::nullopt;
}

// What the system says about `number`, in UTF-8 without the line break that
// ends it; empty when it has nothing. Its words differ between systems and
// languages ("Access is denied.", "Access denied."), so the expected reasons
// take them from the system.
std::string SystemText(std::uint32_t number) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, number, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  while (length > 0 && (buffer[length - 1] == L'\n' || buffer[length - 1] == L'\r')) --length;
  std::string text(length * 3, '\0');
  const int size = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), text.data(),
                                       static_cast<int>(text.size()), nullptr, nullptr);
  LocalFree(buffer);
  text.resize(size > 0 ? size : 0);
  return text;
}

// `lead` and, when the system has a text for `number`, that text after a colon.
std::string WithSystemText(std::string lead, std::uint32_t number) {
  const std::string text = SystemText(number);
  return text.empty() ? lead : lead + ": " + text;
}

std::uint32_t FailureOf(const om::Handle& object, std::string_view name) {
  const std::optional<om::ObjectModelError> failure = ErrorOf(object, name);
  return failure ? failure->number() : 0;
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

// The number decides what the export does; the reason, one line of UTF-8,
// is what a person is shown.
TEST_F(ComObjectModelTest, FailuresCarryTheObjectsOwnNumberAndWhatItSays) {
  using comtest::Raises;
  const auto denied = static_cast<std::uint32_t>(E_ACCESSDENIED);
  ASSERT_NE(SystemText(denied), "");          // a number the system explains
  ASSERT_EQ(SystemText(om::kMapiNotFound), "");  // and one it does not
  const struct {
    const char* member;
    comtest::Answer answer;
    std::uint32_t number;
    std::string reason;
  } cases[] = {
      {"Described",
       Raises({.scode = static_cast<HRESULT>(om::kMapiNotFound),
               .description = L" The operation failed.\r\n\r\nTry again.\r\n",
               .source = L"Microsoft Outlook"}),
       om::kMapiNotFound, "Outlook error 0x8004010F: The operation failed. Try again. (Microsoft Outlook)"},
      {"Japanese",
       Raises({.scode = static_cast<HRESULT>(om::kMapiFailOneProvider),
               .description = L"\u64cd\u4f5c\u306b\u5931\u6557\u3057\u307e\u3057\u305f\u3002\U0001F4C7\xD800",
               .source = L"Microsoft Outlook\n"}),
       om::kMapiFailOneProvider,
       "Outlook error 0x8004011D: \u64cd\u4f5c\u306b\u5931\u6557\u3057\u307e\u3057\u305f\u3002\U0001F4C7\uFFFD "
       "(Microsoft Outlook)"},
      {"Deferred",
       Raises({.scode = static_cast<HRESULT>(om::kMapiFailOneProvider), .description = L"filled in later",
               .source = L"test model", .deferred = true}),
       om::kMapiFailOneProvider, "Outlook error 0x8004011D: filled in later (test model)"},
      {"RunTime", comtest::RaisesRunTimeError(91), om::kObjectRequired, "Outlook error 0x800A005B"},
      {"RunTimeDescribed", Raises({.wCode = 91, .description = L"Object variable not set"}), om::kObjectRequired,
       "Outlook error 0x800A005B: Object variable not set"},
      {"Undescribed", Raises({.scode = E_ACCESSDENIED}), denied, WithSystemText("Outlook error 0x80070005", denied)},
      {"Denied", comtest::Fails(E_ACCESSDENIED), denied, WithSystemText("error 0x80070005", denied)},
      {"Unexplained", comtest::Fails(static_cast<HRESULT>(om::kMapiNotFound)), om::kMapiNotFound,
       "error 0x8004010F"},
  };
  IDispatch* object = NewObject(u"_ContactItem");
  for (const auto& c : cases) SetMember(object, c.member, c.answer);
  const om::Handle handle = om::WrapDispatch(object);
  for (const auto& c : cases) {
    const std::optional<om::ObjectModelError> failure = ErrorOf(handle, c.member);
    ASSERT_TRUE(failure) << c.member;
    EXPECT_EQ(failure->number(), c.number) << c.member;
    EXPECT_EQ(failure->reason(), c.reason) << c.member;
  }
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
  try {
    om::CreateComObject(u"Outlook.Application.NoSuchVersion");
    ADD_FAILURE() << "a class that is not registered was created";
  } catch (const om::ObjectModelError& failure) {
    EXPECT_EQ(failure.number(), static_cast<std::uint32_t>(CO_E_CLASSSTRING));
    EXPECT_EQ(failure.reason(), WithSystemText("cannot create Outlook.Application.NoSuchVersion: error 0x800401F3",
                                               static_cast<std::uint32_t>(CO_E_CLASSSTRING)));
  }
}

}  // namespace
