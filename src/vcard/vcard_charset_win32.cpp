// The platform's charset converter on Windows: MultiByteToWideChar, with
// the code page of each name that cards write (IANA names and the common
// aliases) taken from the list below. The decoding is Windows' own.
#include "vcard/vcard_charset.h"

#include <windows.h>

#include <string_view>

namespace vcard::platform_charset {
namespace {

struct NamedCodePage {
  std::string_view name;  // upper case
  UINT code_page;
};

constexpr NamedCodePage kCodePages[] = {
    {"WINDOWS-1250", 1250}, {"CP1250", 1250}, {"WINDOWS-1251", 1251}, {"CP1251", 1251},
    {"WINDOWS-1252", 1252}, {"CP1252", 1252}, {"WINDOWS-1253", 1253}, {"CP1253", 1253},
    {"WINDOWS-1254", 1254}, {"CP1254", 1254}, {"WINDOWS-1255", 1255}, {"CP1255", 1255},
    {"WINDOWS-1256", 1256}, {"CP1256", 1256}, {"WINDOWS-1257", 1257}, {"CP1257", 1257},
    {"WINDOWS-1258", 1258}, {"CP1258", 1258}, {"WINDOWS-874", 874},   {"TIS-620", 874},
    {"KOI8-R", 20866},      {"KOI8-U", 21866},  {"IBM866", 866},       {"CP866", 866},
    {"IBM437", 437},        {"CP437", 437},     {"IBM850", 850},       {"CP850", 850},
    {"GBK", 936},           {"GB2312", 936},    {"CP936", 936},        {"EUC-CN", 936},
    {"GB18030", 54936},     {"BIG5", 950},      {"BIG-5", 950},        {"CP950", 950},
    {"BIG5-HKSCS", 950},    {"EUC-KR", 51949},  {"KS_C_5601-1987", 949}, {"CP949", 949},
    {"MACINTOSH", 10000},   {"MAC", 10000},     {"X-MAC-ROMAN", 10000}, {"EUC-JP", 20932},
    {"ISO-2022-JP", 50220}, {"ISO-8859-2", 28592}, {"ISO-8859-3", 28593}, {"ISO-8859-4", 28594},
    {"ISO-8859-5", 28595},  {"ISO-8859-6", 28596}, {"ISO-8859-7", 28597}, {"ISO-8859-8", 28598},
    {"ISO-8859-9", 28599},  {"ISO-8859-13", 28603}, {"ISO-8859-15", 28605},
};

UINT CodePageOf(std::string_view name) {
  for (const NamedCodePage& entry : kCodePages) {
    if (entry.name == name) return entry.code_page;
  }
  return 0;
}

}  // namespace

bool Knows(const std::string& name) {
  const UINT code_page = CodePageOf(name);
  return code_page != 0 && IsValidCodePage(code_page);
}

void Append(std::size_t, const std::string& name, std::string_view bytes, std::u16string& out) {
  const UINT code_page = CodePageOf(name);
  const int size = static_cast<int>(bytes.size());
  // Without MB_ERR_INVALID_CHARS bytes that form no character are replaced
  // by Windows, as Windows reads such text everywhere else.
  const int units = size == 0 ? 0 : MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
  if (units <= 0) {
    out.append(bytes.size(), u'\uFFFD');
    return;
  }
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(units));
  MultiByteToWideChar(code_page, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(out.data() + start), units);
}

}  // namespace vcard::platform_charset
