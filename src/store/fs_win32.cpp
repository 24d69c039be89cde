// File-system services of the stand-alone store on Windows. Names are UTF-8
// inside the store and UTF-16 at the system's interface.
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <system_error>

#include "store/fs.h"

namespace store::fs {

struct File {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::uint64_t size = 0;
};

namespace {

// Others may go on reading, writing, renaming and deleting what the store has
// open: it never locks anything.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
  return utf8;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

EntryType TypeOf(const WIN32_FIND_DATAW& data) {
  // Symbolic links and junctions alike: what they lead to is decided by
  // StatPath, which follows them.
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryType::kSymlink;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::kDirectory;
  return EntryType::kRegular;
}

bool IsDotOrDotDot(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// A handle for reading attributes only (directories included), following links.
HANDLE OpenForAttributes(const std::string& path) {
  return CreateFileW(Wide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The one place where the system's error numbers become words: "what: why"
// for the thread's last error.
void Explain(std::string* failure, const char* what) {
  const int error = static_cast<int>(GetLastError());
  if (failure) *failure = std::string(what) + ": " + std::system_category().message(error);
}

}  // namespace

bool ForEachEntry(const std::string& path, const EntryVisitor& visit, std::string* failure) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(Wide(JoinPath(path, "*")).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // empty
    Explain(failure, "cannot open directory");
    return false;
  }
  do {
    if (!IsDotOrDotDot(data.cFileName)) visit(Utf8(data.cFileName), TypeOf(data));
  } while (FindNextFileW(find, &data));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  if (!complete) Explain(failure, "cannot read directory");
  FindClose(find);
  return complete;
}

namespace {

// True when `path` resolves to a directory that can be opened for reading.
bool ProbeDirectory(const std::string& path, std::string* failure) {
  if (!StatPath(path).directory) {
    if (failure) *failure = "cannot open directory: no directory there";
    return false;
  }
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(Wide(JoinPath(path, "*")).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    Explain(failure, "cannot open directory");
    return false;
  }
  FindClose(find);
  return true;
}

}  // namespace

Status StatPath(const std::string& path) {
  HANDLE handle = OpenForAttributes(path);
  if (handle == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  if (!known) return {};
  const std::uint64_t index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return {true, (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, {info.dwVolumeSerialNumber, index}};
}

File* OpenFile(const std::string& path, std::string* failure) {
  HANDLE handle =
      CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Explain(failure, "cannot open file");
    return nullptr;
  }
  LARGE_INTEGER size;
  // Only files on disk: a device name such as CON.vcf opens a device.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    if (failure) *failure = "not a regular file";
  } else if (!GetFileSizeEx(handle, &size)) {
    Explain(failure, "cannot examine file");
  } else if (size.QuadPart < 0 || static_cast<std::uint64_t>(size.QuadPart) > kMaxFileSize) {
    if (failure) *failure = "file is larger than 64 GiB";
  } else {
    return new File{handle, static_cast<std::uint64_t>(size.QuadPart)};
  }
  CloseHandle(handle);
  return nullptr;
}

std::uint64_t FileSize(const File* file) { return file->size; }

bool ReadAt(File* file, std::uint64_t offset, std::size_t length, char* out) {
  std::size_t done = 0;
  while (done < length) {
    const std::uint64_t at = offset + done;
    OVERLAPPED overlapped{};
    overlapped.Offset = static_cast<DWORD>(at);
    overlapped.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(length - done, DWORD{1} << 30));
    DWORD got = 0;
    if (!ReadFile(file->handle, out + done, want, &got, &overlapped) || got == 0) return false;
    done += got;
  }
  return true;
}

void CloseFile(File* file) {
  if (file == nullptr) return;
  CloseHandle(file->handle);
  delete file;
}

// Windows opens by whole path in any case; the directory is only its path
// (so the depth of a tree here is bound by the longest path Windows takes).
struct Directory {
  std::string path;
};

Directory* OpenDirectory(const std::string& path, bool* outOfDescriptors, std::string* failure) {
  if (outOfDescriptors) *outOfDescriptors = false;  // nothing is held open
  return ProbeDirectory(path, failure) ? new Directory{path} : nullptr;
}

Directory* OpenDirectoryIn(Directory* parent, const std::string& name, std::string* failure) {
  return OpenDirectory(JoinPath(parent->path, name), nullptr, failure);
}

bool ForEachEntry(Directory* directory, const EntryVisitor& visit, std::string* failure) {
  return ForEachEntry(directory->path, visit, failure);
}

// A path that cannot be opened is one that leads nowhere (StatPath): never `failed`.
Status StatIn(Directory* directory, const std::string& name, std::string*) {
  return StatPath(JoinPath(directory->path, name));
}

Status StatDirectory(Directory* directory) { return StatPath(directory->path); }

File* OpenFileIn(Directory* directory, const std::string& name, std::string* failure) {
  return OpenFile(JoinPath(directory->path, name), failure);
}

void CloseDirectory(Directory* directory) { delete directory; }

std::optional<std::string> GetEnvironment(const char* name) {
  const std::wstring wideName = Wide(name);
  const DWORD length = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (length <= 1) return std::nullopt;  // unset, or set to nothing
  std::wstring value(length, L'\0');
  const DWORD written = GetEnvironmentVariableW(wideName.c_str(), value.data(), length);
  if (written == 0 || written >= length) return std::nullopt;
  value.resize(written);
  return Utf8(value);
}

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || IsSeparator(directory.back())) return directory + name;
  return directory + '\\' + name;
}

std::string BaseName(const std::string& path) {
  std::size_t end = path.size();
  while (end > 1 && IsSeparator(path[end - 1])) --end;
  std::size_t start = end;
  while (start > 0 && !IsSeparator(path[start - 1]) && path[start - 1] != ':') --start;
  return start == end ? path.substr(0, end) : path.substr(start, end - start);
}

bool IsAbsolutePath(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]);
  return drive || (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]));
}

}  // namespace store::fs
