// The private copy of a book in use, on Windows: a new folder in the user's
// own temporary folder (GetTempPathW: %TEMP% under the profile, which only
// that user and administrators may read), removed with the copy.
#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "store/sqlite/sqlite_copy.h"

namespace sqlitebook {
namespace {

constexpr std::array<const wchar_t*, 3> kParts = {L"", L"-wal", L"-journal"};
constexpr std::array<const wchar_t*, 4> kCopiedNames = {L"book", L"book-wal", L"book-journal", L"book-shm"};

std::wstring Wide(const std::string& utf8) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
  return utf8;
}

// What tells that a file changed while it was copied.
struct Stamp {
  bool exists = false;
  DWORD volume = 0;
  DWORD indexHigh = 0, indexLow = 0;
  DWORD sizeHigh = 0, sizeLow = 0;
  FILETIME modified{};
  bool operator==(const Stamp& o) const {
    return exists == o.exists && volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow &&
           sizeHigh == o.sizeHigh && sizeLow == o.sizeLow && CompareFileTime(&modified, &o.modified) == 0;
  }
};

// Opened as the application's own readers and writers expect of each other:
// sharing reading, writing and deletion, so that the copy stands in nobody's way.
HANDLE OpenShared(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

Stamp StampOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return {};
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
  return {true,          info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow,
          info.nFileSizeHigh, info.nFileSizeLow,        info.ftLastWriteTime};
}

Stamp StampOfPath(const std::wstring& path) {
  const HANDLE file = OpenShared(path);
  if (file == INVALID_HANDLE_VALUE) return {};
  const Stamp stamp = StampOf(file);
  CloseHandle(file);
  return stamp;
}

class WindowsCopy final : public PrivateCopy {
 public:
  explicit WindowsCopy(std::wstring folder) : folder_(std::move(folder)), database_(Utf8(folder_ + L"\\book")) {}
  ~WindowsCopy() override {
    for (const wchar_t* name : kCopiedNames) DeleteFileW((folder_ + L"\\" + name).c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  const std::string& DatabasePath() const override { return database_; }

 private:
  std::wstring folder_;
  std::string database_;
};

// Copies the regular file `from` to the new file `to`; false when it is no
// regular file, cannot be read, or changed while it was read.
bool CopyOne(const std::wstring& from, const std::wstring& to) {
  const HANDLE in = OpenShared(from);
  if (in == INVALID_HANDLE_VALUE) return false;
  const Stamp before = StampOf(in);
  bool good = before.exists && GetFileType(in) == FILE_TYPE_DISK;
  const HANDLE out = good ? CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY,
                                        nullptr)
                          : INVALID_HANDLE_VALUE;
  good = good && out != INVALID_HANDLE_VALUE;
  std::vector<char> buffer(std::size_t{1} << 20);
  while (good) {
    DWORD got = 0;
    if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      good = false;
      break;
    }
    if (got == 0) break;
    DWORD put = 0;
    good = WriteFile(out, buffer.data(), got, &put, nullptr) && put == got;
  }
  good = good && StampOf(in) == before && StampOfPath(from) == before;
  if (out != INVALID_HANDLE_VALUE && !CloseHandle(out)) good = false;
  CloseHandle(in);
  return good;
}

// A new folder of its own under the user's temporary folder.
std::wstring NewFolder() {
  std::array<wchar_t, MAX_PATH + 1> temp{};
  const DWORD length = GetTempPathW(static_cast<DWORD>(temp.size()), temp.data());
  if (length == 0 || length > MAX_PATH) return {};
  const std::wstring base = std::wstring(temp.data(), length) + L"contact-export-book-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-";
  static unsigned counter = 0;
  for (int tries = 0; tries < 100; ++tries) {
    const std::wstring folder = base + std::to_wstring(++counter) + L"-" + std::to_wstring(GetTickCount());
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}

}  // namespace

std::unique_ptr<PrivateCopy> CopyBook(const std::string& path) {
  const std::wstring book = Wide(path);
  // The book and its log are one state only when neither changed while the
  // other was copied (a checkpoint between the two would pair an old book
  // with a restarted log): all are stamped before and after.
  std::array<Stamp, kParts.size()> before;
  for (std::size_t i = 0; i < kParts.size(); ++i) before[i] = StampOfPath(book + kParts[i]);
  if (!before[0].exists) return nullptr;
  const std::wstring folder = NewFolder();
  if (folder.empty()) return nullptr;
  auto copy = std::make_unique<WindowsCopy>(folder);
  for (std::size_t i = 0; i < kParts.size(); ++i) {
    if (before[i].exists && !CopyOne(book + kParts[i], folder + L"\\" + kCopiedNames[i])) return nullptr;
  }
  for (std::size_t i = 0; i < kParts.size(); ++i) {
    if (!(StampOfPath(book + kParts[i]) == before[i])) return nullptr;
  }
  return copy;
}

}  // namespace sqlitebook
