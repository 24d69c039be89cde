// The output file through the Win32 file API, opened by its wide-character
// path so that any path Windows accepts works, whatever the ANSI code page.
// Bytes go straight to the system with WriteFile; nothing is buffered here,
// so what was written is in the file however the process ends.
#include "csv/output_file.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "csv/output_guard.h"

namespace csv {

struct OutputFile {
  HANDLE handle;
};

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Whether the file or folder the handle stands for is protected; as
// StatPath of the stand-alone store names it: volume serial and file index.
bool HandleIsProtected(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  return IsProtected({info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow});
}

// Opened only to be looked at (links and junctions followed); folders too.
HANDLE OpenToLookAt(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::wstring ParentOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// True when the file at `path` is protected or its folder, by its final path
// (links and junctions resolved), lies inside a protected folder. Only the
// stand-alone profile protects anything; with Outlook, or where the folder
// cannot be looked at (a device name), the open alone decides.
bool ReachesProtected(const std::wstring& path) {
  if (!AnyProtected()) return false;
  std::wstring full(32768, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
  // Devices and pipes (\\.\...) are no files of a profile, and are not
  // opened more than once.
  if (full.empty() || full.size() >= 32768 || full.starts_with(L"\\\\.\\")) return false;
  HANDLE existing = OpenToLookAt(full);
  if (existing != INVALID_HANDLE_VALUE) {
    const bool isProtected = HandleIsProtected(existing);
    CloseHandle(existing);
    if (isProtected) return true;
  }
  std::wstring parentPath = ParentOf(full);
  if (!parentPath.empty() && parentPath.back() == L':') parentPath += L'\\';
  HANDLE parent = OpenToLookAt(parentPath);
  if (parent == INVALID_HANDLE_VALUE) return false;
  std::wstring real(32768, L'\0');
  real.resize(GetFinalPathNameByHandleW(parent, real.data(), static_cast<DWORD>(real.size()), FILE_NAME_NORMALIZED));
  CloseHandle(parent);
  if (real.empty() || real.size() >= 32768) return false;
  // \\?\C:\a\b: each folder up to the drive's root.
  for (std::wstring folder = real; folder.size() > 4; folder = ParentOf(folder)) {
    HANDLE handle = OpenToLookAt(folder.back() == L':' ? folder + L"\\" : folder);
    if (handle == INVALID_HANDLE_VALUE) continue;
    const bool isProtected = HandleIsProtected(handle);
    CloseHandle(handle);
    if (isProtected) return true;
    if (folder.back() == L':') break;
  }
  return false;
}

}  // namespace

OutputFile* OutputOpen(const std::u16string& path) {
  const std::wstring widePath(path.begin(), path.end());
  if (widePath.empty() || ReachesProtected(widePath)) return nullptr;
  // Opening an existing file and cutting it to zero length, rather than
  // CREATE_ALWAYS, keeps its attributes and also works on hidden files; and
  // what was opened is looked at before anything is cut.
  const HANDLE handle = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (HandleIsProtected(handle) || !SetEndOfFile(handle)) {
    CloseHandle(handle);
    return nullptr;
  }
  return new OutputFile{handle};
}

WriteEnd OutputWrite(OutputFile* file, std::string_view bytes, std::size_t& written, bool stoppable) {
  written = 0;
  while (written < bytes.size()) {
    if (stoppable && StopRequested()) return WriteEnd::kStopped;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(file->handle, bytes.data() + written, chunk, &done, nullptr) || done == 0) {
      return WriteEnd::kFailed;
    }
    written += done;
  }
  return WriteEnd::kDone;
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
