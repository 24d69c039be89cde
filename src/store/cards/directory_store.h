// Stores made of directories of vCard files: a directory is a folder, its
// subdirectories are its subfolders and the cards in its .vcf files are its
// items.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/fs.h"
#include "store/store_sources.h"

namespace store {

// The directories listed as folders so far, and the stores opened as
// subfolders, each with the directory it was listed from (none for a store's
// top folder), shared by the stores of a profile. A directory or store
// reached again along another path (two links to one folder, a link to a
// folder walked elsewhere) is not walked again, so its contacts are exported
// once, and a tree of links that fork and join again takes as long as the
// folders it holds.
struct ListedDirectories {
  std::map<fs::Identity, fs::Identity> parents;
};

// The folder of the open directory `directory` at `path`, called `name`; a
// directory that could not be opened (nothing) gives a folder that fails when
// it is listed, with `openFailure` as the reason. `lineage` holds the identities of the folder's ancestors and,
// last, its own; a subdirectory that resolves to any of them is not one of
// its subfolders, nor is one listed before from another directory. An entry
// that is a store of another kind (store_kinds.h: KindOfNestedEntry) is a
// subfolder too: that store's default contacts folder, named as
// NestedFolderName says, opened when its contents are first asked for.
std::unique_ptr<FolderSource> OpenDirectoryFolder(std::shared_ptr<fs::Directory> directory, std::string path,
                                                  std::string name,
                                                  std::vector<fs::Identity> lineage,
                                                  std::shared_ptr<ListedDirectories> listed,
                                                  std::string openFailure = {});

// A folder whose only file is the .vcf file `path`, called `name`, without
// subfolders.
std::unique_ptr<FolderSource> OpenVcfFileFolder(std::string path, std::string name);

// What the store's top-level folder is, and where its contacts folder is.
enum class StoreShape {
  kStoreDirectory,     // a store of a profile: contacts in "Contacts" or "連絡先"
  kContactsDirectory,  // a profile that is a directory of .vcf files
  kVcfFile,            // a profile that is one .vcf file
};

// The store at `path`, called `name` in its profile, its folders listed into
// `listed`. A store whose directory cannot be opened, or whose top folder
// cannot be listed, is a failing provider.
std::unique_ptr<StoreSource> OpenDirectoryStore(std::string path, std::string name, StoreShape shape,
                                                std::shared_ptr<ListedDirectories> listed);

}  // namespace store
