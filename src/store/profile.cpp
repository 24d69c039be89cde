// A profile is a directory whose entries are stores, or, for the common case
// of one address book, a .vcf file or a directory of .vcf files.
#include "store/profile.h"

#include <algorithm>
#include <vector>

#include "csv/output_guard.h"
#include "om/error_numbers.h"
#include "store/cards/directory_store.h"
#include "store/fs.h"
#include "store/standalone_store.h"

namespace standalone {
namespace {

[[noreturn]] void FailProfile() { throw om::ObjectModelError(om::kMapiNotFound); }

struct ProfileListing {
  std::vector<std::string> stores;
  std::vector<std::string> cardFiles;  // .vcf files directly in the profile
  bool holdsCards = false;  // directly holds .vcf files: the one-store shortcut
};

// A .vcf entry that is not a directory (not even through a link) makes the
// profile a directory of cards.
bool IsCardFileEntry(const std::string& profile, std::string_view name, fs::EntryType type) {
  if (!EndsWithNoCase(name, ".vcf") || type == fs::EntryType::kDirectory) return false;
  return type != fs::EntryType::kSymlink || !fs::StatPath(fs::JoinPath(profile, std::string(name))).directory;
}

// An Outlook data file (.pst, .ost in any case), opened by OpenOutlookDataFileStore.
bool IsDataFileName(std::string_view name) { return EndsWithNoCase(name, ".pst") || EndsWithNoCase(name, ".ost"); }

// An SQLite address book (.sqlite, .db in any case): Thunderbird's or
// Evolution's, opened by OpenAddressBookStore.
bool IsAddressBookName(std::string_view name) { return EndsWithNoCase(name, ".sqlite") || EndsWithNoCase(name, ".db"); }

// A CardDAV store's file (.carddav in any case): a regular file, or a link to one.
bool IsCardDavEntry(const std::string& profile, std::string_view name, fs::EntryType type) {
  if (!EndsWithNoCase(name, ".carddav")) return false;
  if (type == fs::EntryType::kRegular) return true;
  if (type != fs::EntryType::kSymlink) return false;
  const fs::Status status = fs::StatPath(fs::JoinPath(profile, std::string(name)));
  return status.exists && !status.directory;
}

ProfileListing ListProfile(const std::string& path) {
  ProfileListing listing;
  const bool complete = fs::ForEachEntry(path, [&](std::string_view name, fs::EntryType type) {
    if (name.starts_with('.')) return;
    if (IsCardDavEntry(path, name, type)) {
      listing.stores.emplace_back(name);
    } else if (IsCardFileEntry(path, name, type)) {
      listing.holdsCards = true;
      listing.cardFiles.emplace_back(name);
    } else if (type == fs::EntryType::kDirectory || type == fs::EntryType::kSymlink || IsDataFileName(name) ||
               IsAddressBookName(name)) {
      // A link is a store even when it leads nowhere: it then fails as a
      // provider, which is how a profile says that a store is unreachable.
      // Outlook data files (named so, whatever they are) are stores too.
      listing.stores.emplace_back(name);
    }
  });
  if (!complete) FailProfile();
  std::sort(listing.stores.begin(), listing.stores.end());
  return listing;
}

// An entry named like an Outlook data file that is no regular file (a FIFO,
// a device, a directory, a dangling link) fails as a provider without being
// handed to the data file reader, which would wait on a FIFO for a writer or
// read a device without end.
std::unique_ptr<StoreSource> OpenDataFileStore(const std::string& path) {
  if (!fs::FilePtr(fs::OpenFile(path))) return FailingStore();
  return OpenOutlookDataFileStore(path);
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
  if (!status.exists) FailProfile();
  const std::string name = fs::BaseName(path);
  // One record of listed directories for all the stores: a link from one
  // store into another does not export a folder twice.
  const auto listed = std::make_shared<ListedDirectories>();
  if (!status.directory) {
    // A profile that is one .pst or .ost file is the store of that file.
    if (IsDataFileName(path)) return {OpenDataFileStore(path)};
    if (IsAddressBookName(path)) return {OpenAddressBookStore(path)};
    if (!EndsWithNoCase(path, ".vcf")) FailProfile();
    return {OpenDirectoryStore(path, name, StoreShape::kVcfFile, listed)};
  }
  // A Thunderbird profile folder or an Evolution address-book folder.
  if (std::unique_ptr<StoreSource> books = OpenApplicationBooksStore(path)) return {std::move(books)};
  ProfileListing listing = ListProfile(path);
  if (listing.holdsCards) return {OpenDirectoryStore(path, name, StoreShape::kContactsDirectory, listed)};
  StoreList stores;
  for (const std::string& store : listing.stores) {
    const std::string storePath = fs::JoinPath(path, store);
    if (IsDataFileName(store)) {
      stores.push_back(OpenDataFileStore(storePath));
    } else if (EndsWithNoCase(store, ".carddav") && !fs::StatPath(storePath).directory) {
      stores.push_back(OpenCardDavStore(storePath));
    } else if (IsAddressBookName(store) && !fs::StatPath(storePath).directory) {
      stores.push_back(OpenAddressBookStore(storePath));
    } else if (std::unique_ptr<StoreSource> books = OpenApplicationBooksStore(storePath)) {
      stores.push_back(std::move(books));
    } else {
      stores.push_back(OpenDirectoryStore(storePath, store, StoreShape::kStoreDirectory, listed));
    }
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
  for (const auto* names : {&listing.stores, &listing.cardFiles}) {
    for (const std::string& name : *names) protect(fs::JoinPath(path, name));
  }
}

om::Handle CreateStandaloneApplicationAt(const std::string& profilePath) {
  return CreateApplicationForStores(OpenProfile(profilePath));
}

}  // namespace standalone

namespace om {

Handle CreateStandaloneApplication() {
  const std::optional<std::string> profile = standalone::ProfileLocation(standalone::fs::GetEnvironment);
  if (!profile) throw ObjectModelError(kMapiNotFound);
  Handle application = standalone::CreateStandaloneApplicationAt(*profile);
  standalone::ProtectProfileFromOutput(*profile);
  return application;
}

}  // namespace om
