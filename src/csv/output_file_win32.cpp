// The output file through the Win32 file API, opened by its wide-character
// path so that any path Windows accepts works, whatever the ANSI code page.
// Bytes go straight to the system with WriteFile; nothing is buffered here,
// so what was written is in the file however the process ends.
#include "csv/output_file.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace csv {

struct OutputFile {
  HANDLE handle;
};

OutputFile* OutputOpen(const std::u16string& path) {
  const std::wstring widePath(path.begin(), path.end());
  // Opening an existing file and cutting it to zero length, rather than
  // CREATE_ALWAYS, keeps its attributes and also works on hidden files.
  const HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (!SetEndOfFile(handle)) {
    CloseHandle(handle);
    return nullptr;
  }
  return new OutputFile{handle};
}

bool OutputWrite(OutputFile* file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file->handle, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool OutputTruncate(OutputFile* file, std::uint64_t size) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(file->handle, position, nullptr, FILE_BEGIN) && SetEndOfFile(file->handle);
}

bool OutputClose(OutputFile* file) {
  const bool closed = CloseHandle(file->handle) != 0;
  delete file;
  return closed;
}

}  // namespace csv
