// The kinds of store a profile holds, in one table (store_kinds.cpp): how an
// entry of a profile is recognised as each kind, how such a store is opened,
// and, for a kind that needs a library the build may lack, whether this build
// has it and why not.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "store/cards/directory_store.h"
#include "store/fs.h"
#include "store/store_sources.h"

namespace store {

// An entry as the table sees it: an entry of a profile folder, or the
// profile itself.
struct StoreEntry {
  std::string path;
  std::string name;     // its name in the profile (the profile's own for the profile)
  fs::EntryType type = fs::EntryType::kOther;  // what it is without following a link
};

// What an entry must be, beside its name, to be of a kind.
enum class EntryForm {
  kAnything,         // whatever it is (a directory so named fails as a store)
  kFile,             // a regular file, or a link that leads to no directory (a dangling one too)
  kNoDirectory,      // anything that leads to no directory: FIFOs and devices too
  kDirectoryOrLink,  // a directory, or a link wherever it leads
};

struct StoreKind {
  std::string_view name;                    // "Outlook data file"
  std::array<std::string_view, 2> endings;  // how the entry's name ends (any case); none: any name
  EntryForm form;
  std::string_view holds;  // a file the folder holds ("prefs.js", "system/contacts.db"); none: -
  bool alone;  // the profile itself may be such an entry, and is then its one store
  bool cards;  // such an entry in a profile folder is one of its card files, no store of its own
  std::unique_ptr<StoreSource> (*open)(const StoreEntry& entry, const std::shared_ptr<ListedDirectories>& listed);
  // Empty when this build reads the kind, else why not (its stores then fail
  // with that reason); none for kinds every build reads.
  std::string_view (*unavailable)();
};

// Every kind, in the order in which an entry is tried against them.
std::span<const StoreKind> StoreKinds();

// The kind of the profile folder's entry `entry`; nothing when it is no store
// (a file of another kind, a FIFO, a device): the profile passes over it.
const StoreKind* KindOfEntry(const StoreEntry& entry);

// The kind of store an entry of a folder of vCard files is when it is a
// store of another kind (a book, a data file, an application's folder, a
// .carddav file), which the folder then holds as one of its subfolders, by
// the same rules as KindOfEntry; nothing for its card files, for a folder of
// vCard files (a subfolder of its own) and for anything else.
const StoreKind* KindOfNestedEntry(const StoreEntry& entry);

// Whether the kind's stores are folders of vCard files, which may hold
// stores of other kinds.
bool NestsStores(const StoreKind& kind);
// The kind of those folders: also the kind of a profile that is a folder of
// vCard files itself.
const StoreKind& CardFolderKind();
// Whether the kind's stores are on a server that their entry names
// (CardDavServerUrl).
bool NamesServer(const StoreKind& kind);

// The name of the subfolder that the entry `name` of a folder of vCard
// files, a store of `kind`, is: the file's name without the ending its kind
// is known by ("work.sqlite": "work"); a folder's name as it is.
std::string NestedFolderName(const StoreKind& kind, std::string_view name);

// The kind of store the profile `profile` is itself: a file of a kind that
// may stand alone, or an application's folder of books; nothing for any
// other folder (a profile of stores) or file (no profile).
const StoreKind* KindOfProfile(const StoreEntry& profile);

}  // namespace store
