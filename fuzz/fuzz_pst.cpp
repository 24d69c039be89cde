// The bytes of one Outlook data file through the data file reader: the file
// is written to a scratch file (the reader opens paths), then its top folder,
// default contacts folder, every reachable folder and every message are read,
// and each contact's values are turned into their output fields. The walk is
// bounded so that a file whose folders loop still ends here; the program's
// own walk has its own limits.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>

#include "csv/field_encoding.h"
#include "export/contact_record.h"
#include "store/pst/pst_file.h"

namespace {

constexpr int kMaxDepth = 16;
constexpr int kMaxFolders = 64;
constexpr std::size_t kMaxMessages = 64;

void Check(bool condition) {
  if (!condition) std::abort();
}

const std::string& ScratchPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/fuzz-pst-XXXXXX";
    const int fd = mkstemp(pattern.data());
    Check(fd >= 0);
    close(fd);
    static const std::string keep = pattern;
    std::atexit([] { unlink(keep.c_str()); });
    return pattern;
  }();
  return path;
}

bool WriteScratch(const std::uint8_t* data, std::size_t size) {
  const int fd = open(ScratchPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  return done == size;
}

void ReadMessages(const pst::FolderHandle& folder) {
  const std::size_t count = pst::MessageCount(folder).value_or(0);
  for (std::size_t i = 0; i < count && i < kMaxMessages; ++i) {
    const auto message = pst::ReadMessage(folder, i);
    if (!message) continue;
    std::u16string line;
    for (const om::Value& value : message->values) {
      Check(!std::holds_alternative<om::Handle>(value));
      csv::AppendEncodedField(exporter::ValueText(value), line);
    }
  }
}

void Walk(const pst::FolderHandle& folder, int depth, int& folders) {
  if (!folder || depth > kMaxDepth || ++folders > kMaxFolders) return;
  (void)pst::FolderName(folder);
  (void)pst::FolderId(folder);
  ReadMessages(folder);
  const std::size_t count = pst::SubfolderCount(folder).value_or(0);
  for (std::size_t i = 0; i < count && folders <= kMaxFolders; ++i) {
    Walk(pst::Subfolder(folder, i), depth + 1, folders);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!WriteScratch(data, size)) return 0;
  const pst::FileHandle file = pst::OpenFile(ScratchPath());
  if (!file) return 0;
  // No top folder only when the search for it met a folder list that cannot be read.
  const pst::FolderHandle top = pst::TopFolder(file);
  int folders = 0;
  Walk(top, 0, folders);
  const pst::FolderSearch contacts = pst::DefaultContactsFolder(file);
  Check(!(contacts.folder && contacts.unreadable));
  if (!top) Check(contacts.unreadable);
  folders = 0;
  Walk(contacts.folder, 0, folders);
  return 0;
}
