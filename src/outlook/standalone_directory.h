// Stores made of directories of vCard files: a directory is a folder, its
// subdirectories are its subfolders and the cards in its .vcf files are its
// items.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "outlook/standalone_fs.h"
#include "outlook/standalone_store_internal.h"

namespace standalone {

// The folder of directory `path`, called `name`. `lineage` holds the
// identities of the folder's ancestors and, last, its own; a subdirectory
// that resolves to any of them is not one of its subfolders.
std::unique_ptr<FolderSource> OpenDirectoryFolder(std::string path, std::string name,
                                                  std::vector<fs::Identity> lineage);

// A folder whose only file is the .vcf file `path`, called `name`, without
// subfolders.
std::unique_ptr<FolderSource> OpenVcfFileFolder(std::string path, std::string name);

// What the store's top-level folder is, and where its contacts folder is.
enum class StoreShape {
  kStoreDirectory,     // a store of a profile: contacts in "Contacts" or "連絡先"
  kContactsDirectory,  // a profile that is a directory of .vcf files
  kVcfFile,            // a profile that is one .vcf file
};

// The store at `path`, called `name` in its profile. A store whose directory
// cannot be opened is a failing provider.
std::unique_ptr<StoreSource> OpenDirectoryStore(std::string path, std::string name, StoreShape shape);

}  // namespace standalone
