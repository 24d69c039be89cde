#include "store/cards/card_files.h"

namespace store {

fs::File* OpenFolderFile(const FolderFiles& files, fs::Directory* directory, NameRef file) {
  return directory ? fs::OpenFileIn(directory, files.FileName(file)) : files.Open(file);
}

}  // namespace store
