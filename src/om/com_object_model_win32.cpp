// The object model through COM automation with late binding: every member is
// looked up by name (IDispatch::GetIDsOfNames) and read with
// IDispatch::Invoke. HRESULTs never leave this file: FromHresult turns each
// failure into an ObjectModelError carrying its number and, in one line, what
// Outlook or the system says about it.
#include "om/com_object_model_win32.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "om/error_numbers.h"
#include "text/ascii_case.h"
#include "text/hex_digits.h"
#include "text/unicode_text.h"

namespace om {
namespace {

// Days from 1970-01-01 to 1899-12-30, the day OLE dates count from.
constexpr long long kOleEpochOffset = -25569;
// The OLE date range: 0100-01-01 to 9999-12-31 (day parts).
constexpr double kOleFirstDay = -657434.0;
constexpr double kOleLastDay = 2958465.0;

struct ReleaseInterface {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <class Interface>
using ComRef = std::unique_ptr<Interface, ReleaseInterface>;

struct FreeBstr {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using Bstr = std::unique_ptr<OLECHAR, FreeBstr>;

// A VARIANT that is cleared when it goes out of scope.
struct OwnedVariant {
  VARIANT value;
  OwnedVariant() { VariantInit(&value); }
  ~OwnedVariant() { VariantClear(&value); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
};

// Arguments in the order DISPPARAMS wants them: the last argument first.
struct ArgumentList {
  std::vector<VARIANT> values;
  explicit ArgumentList(std::size_t count) : values(count) {
    for (VARIANT& value : values) VariantInit(&value);
  }
  ~ArgumentList() {
    for (VARIANT& value : values) VariantClear(&value);
  }
  ArgumentList(const ArgumentList&) = delete;
  ArgumentList& operator=(const ArgumentList&) = delete;
};

struct FreeLocal {
  void operator()(wchar_t* text) const { LocalFree(text); }
};

// Whitespace as a one-line reason sees it: every control character, so
// that line breaks of any form end up as one space, and the Unicode line
// and paragraph separators.
bool IsBlank(char32_t cp) { return cp <= 0x20 || cp == 0x7F || cp == 0x85 || cp == 0x2028 || cp == 0x2029; }

// `text` (UTF-16, as COM and the system give it) in UTF-8 on one line: each
// run of blanks becomes one space, none at either end. A lone surrogate
// becomes U+FFFD.
void AppendOneLine(std::wstring_view wide, std::string& out) {
  // wchar_t is UTF-16 on Windows.
  const std::u16string_view text(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
  bool blank = false;
  const std::size_t start = out.size();
  for (std::size_t i = 0; i < text.size();) {
    const char32_t cp = text::NextUtf16CodePoint(text, i);
    if (IsBlank(cp)) {
      blank = true;
      continue;
    }
    if (blank && out.size() > start) out.push_back(' ');
    blank = false;
    text::AppendUtf8CodePoint(cp, out);
  }
}

std::wstring_view ViewOf(BSTR text) {
  return text == nullptr ? std::wstring_view() : std::wstring_view(text, SysStringLen(text));
}

// "0x8004010F": the number as Outlook's and the system's documentation write it.
void AppendNumber(std::uint32_t number, std::string& out) {
  out += "0x";
  for (int shift = 24; shift >= 0; shift -= 8) text::AppendHexByte(static_cast<unsigned char>(number >> shift), out);
}

// The system's message for `number` (in the user's language), on one line;
// nothing when it has none, as for Outlook's own numbers.
void AppendSystemMessage(std::uint32_t number, std::string& out) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, number, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, FreeLocal> owned(buffer);
  if (length != 0 && buffer != nullptr) AppendOneLine(std::wstring_view(buffer, length), out);
}

// `lead`, the number and, when there is one, `text` after a colon.
std::string Numbered(std::string_view lead, std::uint32_t number, std::string_view text) {
  std::string reason(lead);
  AppendNumber(number, reason);
  if (!text.empty()) (reason += ": ") += text;
  return reason;
}

// "error 0x80070005: Access is denied.", or "error 0x8004010F" when the
// system has no text for the number.
std::string PlainReason(std::uint32_t number) {
  std::string message;
  AppendSystemMessage(number, message);
  return Numbered("error ", number, message);
}

// "Outlook error 0x8004010F: The operation failed. (Microsoft Outlook)": the
// number the object raised, its description (the system's text for the
// number when it gives none) and, when it names one, its source.
std::string ExceptionReason(std::uint32_t number, BSTR description, BSTR source) {
  std::string message;
  AppendOneLine(ViewOf(description), message);
  if (message.empty()) AppendSystemMessage(number, message);
  std::string reason = Numbered("Outlook error ", number, message);
  std::string named;
  AppendOneLine(ViewOf(source), named);
  if (!named.empty()) reason += " (" + named + ")";
  return reason;
}

// The error number of a failed COM call: the HRESULT itself, or for an
// exception raised by the object (DISP_E_EXCEPTION) the number the object
// gave, so that Outlook's MAPI_E_FAILONEPROVIDER reaches the export driver as
// that number. Only the number decides what the export does; the reason is
// for people, so a reason that cannot be had (no memory left) is left out
// rather than changing what is thrown. `context` leads the reason when
// given. Frees the exception's strings.
ObjectModelError FromHresult(HRESULT result, EXCEPINFO* exception = nullptr, std::string_view context = {}) {
  std::uint32_t number = static_cast<std::uint32_t>(result);
  const bool raised = result == DISP_E_EXCEPTION && exception != nullptr;
  if (raised && exception->pfnDeferredFillIn != nullptr) {
    exception->pfnDeferredFillIn(exception);
    exception->pfnDeferredFillIn = nullptr;
  }
  const Bstr source(raised ? exception->bstrSource : nullptr);
  const Bstr description(raised ? exception->bstrDescription : nullptr);
  const Bstr helpFile(raised ? exception->bstrHelpFile : nullptr);
  if (raised && exception->scode != 0) {
    number = static_cast<std::uint32_t>(exception->scode);
  } else if (raised && exception->wCode != 0) {
    // A run-time error number, in the form late-bound callers see it.
    number = 0x800A0000u | exception->wCode;
  }
  try {
    std::string reason(context);
    reason += raised ? ExceptionReason(number, description.get(), source.get()) : PlainReason(number);
    return ObjectModelError(number, std::move(reason));
  } catch (const std::bad_alloc&) {
    return ObjectModelError(number);
  }
}

void Check(HRESULT result) {
  if (FAILED(result)) throw FromHresult(result);
}

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// Member names are ASCII.
std::wstring Wide(std::string_view text) {
  std::wstring wide;
  for (char c : text) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

std::u16string FromBstr(BSTR text) {
  if (text == nullptr) return std::u16string();
  return std::u16string(text, text + SysStringLen(text));
}

BSTR ToBstr(std::u16string_view text) {
  std::wstring wide = Wide(text);
  BSTR result = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (result == nullptr) throw ObjectModelError(static_cast<std::uint32_t>(E_OUTOFMEMORY));
  return result;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (Howard
// Hinnant's algorithms, exact for every year).
long long DaysFromCivil(int year, int month, int day) {
  const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yearOfEra = y - era * 400;
  const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

Date CivilFromDays(long long days) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long dayOfEra = days - era * 146097;
  const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long long monthIndex = (5 * dayOfYear + 2) / 153;
  const int day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  const int month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  const int year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
  return Date{year, month, day};
}

double OleFromDate(const Date& date) {
  return static_cast<double>(DaysFromCivil(date.year, date.month, date.day) - kOleEpochOffset);
}

// Member ids per (type name, lower-case member name). Outlook's ids are fixed
// per type, so each name is looked up once per type for the whole run.
std::map<std::pair<std::u16string, std::string>, DISPID> gMemberIds;

// The type name of objects that give no type information. Their ids are not
// cached: objects of unknown type may number their members differently.
constexpr std::u16string_view kUntypedName = u"Object";

std::u16string ReadTypeName(IDispatch* dispatch) {
  ITypeInfo* rawInfo = nullptr;
  if (FAILED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &rawInfo)) || rawInfo == nullptr) {
    return std::u16string(kUntypedName);
  }
  ComRef<ITypeInfo> info(rawInfo);
  BSTR rawName = nullptr;
  const HRESULT result = info->GetDocumentation(MEMBERID_NIL, &rawName, nullptr, nullptr, nullptr);
  Bstr name(rawName);
  std::u16string text = SUCCEEDED(result) ? FromBstr(rawName) : std::u16string();
  // Type libraries name dispinterfaces with a leading underscore (_Items,
  // _ContactItem); callers know the names without it (item_kinds.h).
  if (!text.empty() && text.front() == u'_') text.erase(0, 1);
  return text.empty() ? std::u16string(kUntypedName) : text;
}

class DispatchObject final : public Object {
 public:
  explicit DispatchObject(IDispatch* dispatch) : dispatch_(dispatch) { dispatch_->AddRef(); }
  ~DispatchObject() override { dispatch_->Release(); }
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  Value Get(std::string_view name, std::span<const Value> args) override;
  std::u16string TypeName() override;
  IDispatch* dispatch() const { return dispatch_; }

 private:
  DISPID MemberId(std::string_view name);

  IDispatch* dispatch_;
  std::optional<std::u16string> typeName_;  // asked once per object
};

Value FromVariant(VARIANT& value);

// Arguments into VARIANTs that the caller's ArgumentList owns.
void SetVariant(VARIANT&, std::monostate) {}  // stays VT_EMPTY

void SetVariant(VARIANT& out, const std::u16string& text) {
  V_BSTR(&out) = ToBstr(text);
  V_VT(&out) = VT_BSTR;
}

void SetVariant(VARIANT& out, const Date& date) {
  V_VT(&out) = VT_DATE;
  V_DATE(&out) = OleFromDate(date);
}

// Indexes and enumeration values are Longs to Outlook.
void SetVariant(VARIANT& out, std::int64_t number) {
  if (number >= std::numeric_limits<LONG>::min() && number <= std::numeric_limits<LONG>::max()) {
    V_VT(&out) = VT_I4;
    V_I4(&out) = static_cast<LONG>(number);
  } else {
    V_VT(&out) = VT_I8;
    V_I8(&out) = number;
  }
}

// Only objects of this model can be handed back to it.
void SetVariant(VARIANT& out, const Handle& object) {
  IDispatch* dispatch = nullptr;
  if (object) {
    const auto* com = dynamic_cast<const DispatchObject*>(object.get());
    if (com == nullptr) throw ObjectModelError(kTypeMismatch);
    dispatch = com->dispatch();
    dispatch->AddRef();
  }
  V_VT(&out) = VT_DISPATCH;
  V_DISPATCH(&out) = dispatch;
}

std::optional<std::int64_t> IntegerOf(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_I1: return V_I1(&value);
    case VT_I2: return V_I2(&value);
    case VT_I4: return V_I4(&value);
    case VT_INT: return V_INT(&value);
    case VT_I8: return V_I8(&value);
    case VT_UI1: return V_UI1(&value);
    case VT_UI2: return V_UI2(&value);
    case VT_UI4: return V_UI4(&value);
    case VT_UINT: return V_UINT(&value);
    case VT_UI8:
      if (V_UI8(&value) <= static_cast<ULONGLONG>(std::numeric_limits<std::int64_t>::max())) {
        return static_cast<std::int64_t>(V_UI8(&value));
      }
      return std::nullopt;  // too large: written as text
    default: return std::nullopt;
  }
}

Handle ObjectOf(IUnknown* unknown) {
  if (unknown == nullptr) return nullptr;
  IDispatch* rawDispatch = nullptr;
  Check(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&rawDispatch)));
  ComRef<IDispatch> dispatch(rawDispatch);
  return WrapDispatch(rawDispatch);
}

// Any other kind (Boolean, floating point, currency, decimal, ...) becomes
// text as the invariant locale writes it, Booleans as "True" and "False", so
// that the file does not depend on the machine's regional settings.
Value TextOf(VARIANT& value) {
  OwnedVariant text;
  Check(VariantChangeTypeEx(&text.value, &value, LOCALE_INVARIANT, VARIANT_ALPHABOOL, VT_BSTR));
  return FromBstr(V_BSTR(&text.value));
}

Value FromVariant(VARIANT& value) {
  if ((V_VT(&value) & VT_BYREF) != 0) {
    OwnedVariant direct;
    Check(VariantCopyInd(&direct.value, &value));
    return FromVariant(direct.value);
  }
  if (std::optional<std::int64_t> number = IntegerOf(value)) return *number;
  switch (V_VT(&value)) {
    case VT_EMPTY:
    case VT_NULL:  // no value at all, like empty
      return std::monostate();
    case VT_BSTR: return FromBstr(V_BSTR(&value));
    case VT_DATE: return DateFromOle(V_DATE(&value));
    case VT_DISPATCH: return WrapDispatch(V_DISPATCH(&value));
    case VT_UNKNOWN: return ObjectOf(V_UNKNOWN(&value));
    default: return TextOf(value);
  }
}

DISPID DispatchObject::MemberId(std::string_view name) {
  const std::u16string type = TypeName();
  const bool cached = type != kUntypedName;
  auto key = std::make_pair(type, text::LowerAscii(name));
  if (cached) {
    if (auto found = gMemberIds.find(key); found != gMemberIds.end()) return found->second;
  }
  std::wstring wideName = Wide(name);
  LPOLESTR names[] = {wideName.data()};
  DISPID id = DISPID_UNKNOWN;
  Check(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
  if (cached) gMemberIds.emplace(std::move(key), id);
  return id;
}

Value DispatchObject::Get(std::string_view name, std::span<const Value> args) {
  const DISPID id = MemberId(name);
  ArgumentList arguments(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::visit([&](const auto& value) { SetVariant(arguments.values[args.size() - 1 - i], value); }, args[i]);
  }
  DISPPARAMS parameters{arguments.values.data(), nullptr, static_cast<UINT>(args.size()), 0};
  OwnedVariant result;
  EXCEPINFO exception{};
  UINT argumentError = 0;
  const HRESULT outcome = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                            &parameters, &result.value, &exception, &argumentError);
  if (FAILED(outcome)) throw FromHresult(outcome, &exception);
  return FromVariant(result.value);
}

std::u16string DispatchObject::TypeName() {
  if (!typeName_) typeName_ = ReadTypeName(dispatch_);
  return *typeName_;
}

// Fails as the creation of `progId` ("cannot create Outlook.Application:
// error 0x800401F3: Invalid class string" where Outlook is not installed).
void CheckCreation(HRESULT result, std::u16string_view progId) {
  if (SUCCEEDED(result)) return;
  std::string context = "cannot create ";
  AppendOneLine(Wide(progId), context);
  context += ": ";
  throw FromHresult(result, nullptr, context);
}

void InitializeApartment(std::u16string_view progId) {
  static bool initialized = false;
  if (initialized) return;
  const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // A thread already in the multi-threaded apartment can still make the calls.
  if (result != RPC_E_CHANGED_MODE) CheckCreation(result, progId);
  initialized = true;
}

}  // namespace

Handle WrapDispatch(IDispatch* dispatch) {
  if (dispatch == nullptr) return nullptr;
  return std::make_shared<DispatchObject>(dispatch);
}

Handle CreateComObject(std::u16string_view progId) {
  InitializeApartment(progId);
  const std::wstring wideId = Wide(progId);
  CLSID classId{};
  CheckCreation(CLSIDFromProgID(wideId.c_str(), &classId), progId);
  IDispatch* rawDispatch = nullptr;
  CheckCreation(
      CoCreateInstance(classId, nullptr, CLSCTX_SERVER, IID_IDispatch, reinterpret_cast<void**>(&rawDispatch)), progId);
  ComRef<IDispatch> dispatch(rawDispatch);
  return WrapDispatch(rawDispatch);
}

Date DateFromOle(double oleDate) {
  // The day part counts toward zero; the time of day is never rounded in.
  const double day = std::trunc(oleDate);
  if (!(day >= kOleFirstDay && day <= kOleLastDay)) {
    throw FromHresult(DISP_E_OVERFLOW);
  }
  return CivilFromDays(static_cast<long long>(day) + kOleEpochOffset);
}

void ClearMemberIdCache() { gMemberIds.clear(); }

}  // namespace om
