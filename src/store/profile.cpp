// A profile is a directory whose entries are stores (of the kinds in
// store_kinds.h), or, for the common case of one address book, one store by
// itself: a .vcf file, a directory of .vcf files, an Outlook data file, an
// SQLite book, or an application's folder of books.
#include "store/profile.h"

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

#include "csv/output_guard.h"
#include "om/error_numbers.h"
#include "store/cards/directory_store.h"
#include "store/fs.h"
#include "store/standalone_store.h"
#include "store/store_kinds.h"

namespace store {
namespace {

struct ProfileListing {
  std::vector<std::pair<StoreEntry, const StoreKind*>> stores;  // in byte order of their names
  std::vector<std::string> cardFiles;  // .vcf files directly in the profile: the one-store shortcut
};

ProfileListing ListProfile(const std::string& path) {
  ProfileListing listing;
  std::string failure;
  const bool complete = fs::ForEachEntry(path, [&](std::string_view name, fs::EntryType type) {
    if (name.starts_with('.')) return;
    StoreEntry entry{fs::JoinPath(path, std::string(name)), std::string(name), type};
    const StoreKind* kind = KindOfEntry(entry);
    if (kind == nullptr) return;
    if (kind->cards) {
      listing.cardFiles.push_back(std::move(entry.name));
    } else {
      listing.stores.emplace_back(std::move(entry), kind);
    }
  }, &failure);
  if (!complete) throw om::ObjectModelError(om::kMapiNotFound, "cannot list the profile folder: " + failure);
  std::sort(listing.stores.begin(), listing.stores.end(),
            [](const auto& a, const auto& b) { return a.first.name < b.first.name; });
  return listing;
}

// Calls `protect` with the path of every store of another kind that the
// folders of vCard files `folders` hold, in any of their subfolders (through
// links too): those stores are read as the folders' subfolders. Each
// directory is looked into once; one that cannot be listed is passed over,
// as the export fails there itself.
void FindNestedStores(const std::vector<std::string>& folders, const std::function<void(const std::string&)>& protect) {
  std::set<fs::Identity> seen;
  std::vector<std::string> pending;
  for (const std::string& folder : folders) {
    const fs::Status status = fs::StatPath(folder);
    if (status.directory && seen.insert(status.identity).second) pending.push_back(folder);
  }
  while (!pending.empty()) {
    const std::string path = std::move(pending.back());
    pending.pop_back();
    fs::ForEachEntry(path, [&](std::string_view name, fs::EntryType type) {
      if (name.starts_with('.')) return;
      const StoreEntry entry{fs::JoinPath(path, std::string(name)), std::string(name), type};
      if (KindOfNestedEntry(entry)) {
        protect(entry.path);
      } else if (type == fs::EntryType::kDirectory || type == fs::EntryType::kSymlink) {
        const fs::Status status = fs::StatPath(entry.path);
        if (status.directory && seen.insert(status.identity).second) pending.push_back(entry.path);
      }
    });
  }
}

}  // namespace

std::optional<std::string> ProfileLocation(EnvironmentLookup lookup) {
  if (std::optional<std::string> profile = lookup("CONTACT_EXPORT_PROFILE")) return profile;
  std::optional<std::string> data = lookup("XDG_DATA_HOME");
  if (!data || !fs::IsAbsolutePath(*data)) {
    const std::optional<std::string> home = lookup("HOME");
    if (!home) return std::nullopt;
    data = fs::JoinPath(fs::JoinPath(*home, ".local"), "share");
  }
  return fs::JoinPath(fs::JoinPath(*data, "contact-export"), "profile");
}

StoreList OpenProfile(const std::string& path) {
  const fs::Status status = fs::StatPath(path);
  if (!status.exists) throw om::ObjectModelError(om::kMapiNotFound, "the profile does not exist");
  // One record of listed directories for all the stores: a link from one
  // store into another does not export a folder twice.
  const auto listed = std::make_shared<ListedDirectories>();
  const StoreEntry profile{path, fs::BaseName(path), status.directory ? fs::EntryType::kDirectory : fs::EntryType::kRegular};
  // Each store goes with what the profile knows of it, so that its name,
  // path and kind can be told without opening it.
  StoreList stores;
  if (const StoreKind* kind = KindOfProfile(profile)) {
    stores.push_back({kind->open(profile, listed), profile.name, path, kind});
    return stores;
  }
  if (!status.directory) {
    throw om::ObjectModelError(om::kMapiNotFound, "the profile is no folder, nor a file of a kind of store");
  }
  ProfileListing listing = ListProfile(path);
  if (!listing.cardFiles.empty()) {
    stores.push_back({OpenDirectoryStore(path, profile.name, StoreShape::kContactsDirectory, listed), profile.name,
                      path, &CardFolderKind()});
    return stores;
  }
  for (const auto& [entry, kind] : listing.stores) {
    stores.push_back({kind->open(entry, listed), entry.name, entry.path, kind});
  }
  return stores;
}

void ProtectProfileFromOutput(const std::string& path) {
  csv::ClearProtected();
  const auto protect = [](const std::string& entry) {
    const fs::Status status = fs::StatPath(entry);
    if (status.exists) csv::Protect({status.identity.device, status.identity.inode});
  };
  protect(path);
  if (!fs::StatPath(path).directory) return;
  // Stores and cards reached through links lie elsewhere: where they lead is
  // protected as well.
  const ProfileListing listing = ListProfile(path);
  std::vector<std::string> cardFolders;
  if (!listing.cardFiles.empty()) cardFolders.push_back(path);
  for (const auto& [entry, kind] : listing.stores) {
    protect(entry.path);
    if (NestsStores(*kind)) cardFolders.push_back(entry.path);
  }
  for (const std::string& name : listing.cardFiles) protect(fs::JoinPath(path, name));
  FindNestedStores(cardFolders, protect);
}

om::Handle CreateStandaloneApplicationAt(const std::string& profilePath) {
  return CreateApplicationForStores(OpenProfile(profilePath));
}

}  // namespace store

namespace om {

Handle CreateStandaloneApplication() {
  const std::optional<std::string> profile = store::ProfileLocation(store::fs::GetEnvironment);
  if (!profile) throw ObjectModelError(kMapiNotFound, "no profile named, and no home to look in");
  Handle application = store::CreateStandaloneApplicationAt(*profile);
  store::ProtectProfileFromOutput(*profile);
  return application;
}

}  // namespace om
