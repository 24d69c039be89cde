// Through libpff's wide call. The library must keep the name wide down to
// CreateFileW: .ci/windows-deps.sh builds it with the wide character type
// (the wide calls) and with UNICODE (wide system strings); with the first
// alone, its file layer narrows the name again and opens it through the ANSI
// code page, where a name outside that code page is not found.
#include <windows.h>

#include "store/pst/pst_open.h"

namespace pst {

bool OpenLibpffFile(libpff_file_t* file, const std::string& path, libpff_error_t** error) {
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                                         nullptr, 0);
  if (length <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()), wide.data(), length);
  return libpff_file_open_wide(file, wide.c_str(), LIBPFF_OPEN_READ, error) == 1;
}

}  // namespace pst
