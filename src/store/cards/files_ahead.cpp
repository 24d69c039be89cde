#include "store/cards/files_ahead.h"

namespace store {

AheadFile ReadAhead(const FolderFiles& files, fs::Directory* directory, NameRef file) {
  AheadFile ahead{true, nullptr};
  const fs::FilePtr handle(OpenFolderFile(files, directory, file));
  if (!handle) return ahead;
  const std::uint64_t size = fs::FileSize(handle.get());
  if (size > kAheadFileBytes) return ahead;
  auto bytes = std::make_shared<std::string>(static_cast<std::size_t>(size), '\0');
  if (fs::ReadAt(handle.get(), 0, bytes->size(), bytes->data())) ahead.bytes = std::move(bytes);
  return ahead;
}

}  // namespace store
