// The data-file reader of builds without libpff (the Windows build among
// them): no file can be opened, so every data-file store is a failing store.
#include "store/pst/pst_file.h"

namespace pst {

struct File {};
struct Folder {};

FileHandle OpenFile(const std::string&) { return nullptr; }
FolderHandle TopFolder(const FileHandle&) { return nullptr; }
FolderSearch DefaultContactsFolder(const FileHandle&) { return {}; }
std::u16string FolderName(const FolderHandle&) { return u""; }
std::uint32_t FolderId(const FolderHandle&) { return 0; }
std::optional<std::size_t> SubfolderCount(const FolderHandle&) { return std::nullopt; }
FolderHandle Subfolder(const FolderHandle&, std::size_t) { return nullptr; }
std::optional<std::size_t> MessageCount(const FolderHandle&) { return std::nullopt; }
std::optional<Message> ReadMessage(const FolderHandle&, std::size_t) { return std::nullopt; }

}  // namespace pst
