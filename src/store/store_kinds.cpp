#include "store/store_kinds.h"

namespace store {
namespace {

std::unique_ptr<StoreSource> OpenDataFile(const StoreEntry& entry, const std::shared_ptr<ListedDirectories>&) {
  return OpenOutlookDataFileStore(entry.path);
}
std::unique_ptr<StoreSource> OpenCardDav(const StoreEntry& entry, const std::shared_ptr<ListedDirectories>&) {
  return OpenCardDavStore(entry.path);
}
std::unique_ptr<StoreSource> OpenVcfFile(const StoreEntry& entry, const std::shared_ptr<ListedDirectories>& listed) {
  return OpenDirectoryStore(entry.path, entry.name, StoreShape::kVcfFile, listed);
}
std::unique_ptr<StoreSource> OpenBook(const StoreEntry& entry, const std::shared_ptr<ListedDirectories>&) {
  return OpenAddressBookStore(entry.path);
}
std::unique_ptr<StoreSource> OpenThunderbird(const StoreEntry& entry, const std::shared_ptr<ListedDirectories>&) {
  return OpenThunderbirdStore(entry.path);
}
std::unique_ptr<StoreSource> OpenEvolution(const StoreEntry& entry, const std::shared_ptr<ListedDirectories>&) {
  return OpenEvolutionStore(entry.path);
}
std::unique_ptr<StoreSource> OpenVcfFolder(const StoreEntry& entry,
                                           const std::shared_ptr<ListedDirectories>& listed) {
  return OpenDirectoryStore(entry.path, entry.name, StoreShape::kStoreDirectory, listed);
}

// Kinds recognised by their names come first; what is left of directories
// and links is a folder of vCard files unless an application's settings
// mark it as that application's.
constexpr std::array<StoreKind, 7> kKinds{{
    // Named so, whatever it is: a directory or FIFO so named is a failing store.
    {"Outlook data file", {".pst", ".ost"}, EntryForm::kAnything, {}, true, false, OpenDataFile,
     OutlookDataFilesUnavailable},
    // Not a profile by itself: a profile that is one .carddav file is none.
    {"CardDAV address book", {".carddav"}, EntryForm::kFile, {}, false, false, OpenCardDav, CardDavUnavailable},
    {"vCard file", {".vcf"}, EntryForm::kNoDirectory, {}, true, true, OpenVcfFile, nullptr},
    {"SQLite address book", {".sqlite", ".db"}, EntryForm::kNoDirectory, {}, true, false, OpenBook,
     AddressBooksUnavailable},
    {"Thunderbird profile folder", {}, EntryForm::kDirectoryOrLink, "prefs.js", true, false, OpenThunderbird,
     AddressBooksUnavailable},
    {"Evolution address-book folder", {}, EntryForm::kDirectoryOrLink, "system/contacts.db", true, false,
     OpenEvolution, AddressBooksUnavailable},
    // Any other directory, and any other link, even one that leads nowhere:
    // that fails as a provider, which is how a profile says that a store is
    // unreachable.
    {"folder of vCard files", {}, EntryForm::kDirectoryOrLink, {}, false, false, OpenVcfFolder, nullptr},
}};
static_assert(kKinds.back().open == OpenVcfFolder, "CardFolderKind is the last");

bool NameFits(const StoreKind& kind, std::string_view name) {
  if (kind.endings[0].empty()) return true;
  for (const std::string_view ending : kind.endings) {
    if (!ending.empty() && EndsWithNoCase(name, ending)) return true;
  }
  return false;
}

bool FormFits(EntryForm form, const StoreEntry& entry) {
  const auto leadsToDirectory = [&] { return fs::StatPath(entry.path).directory; };
  switch (form) {
    case EntryForm::kAnything:
      return true;
    case EntryForm::kFile:
      return entry.type == fs::EntryType::kRegular || (entry.type == fs::EntryType::kSymlink && !leadsToDirectory());
    case EntryForm::kNoDirectory:
      return entry.type != fs::EntryType::kDirectory && (entry.type != fs::EntryType::kSymlink || !leadsToDirectory());
    case EntryForm::kDirectoryOrLink:
      return entry.type == fs::EntryType::kDirectory || entry.type == fs::EntryType::kSymlink;
  }
  return false;
}

// Whether the folder at `path` holds the file `relative` ('/' between its parts).
bool Holds(const std::string& path, std::string_view relative) {
  std::string at = path;
  for (std::size_t start = 0; start <= relative.size();) {
    const std::size_t slash = std::min(relative.find('/', start), relative.size());
    at = fs::JoinPath(at, std::string(relative.substr(start, slash - start)));
    start = slash + 1;
  }
  return fs::IsFile(at);
}

bool Recognises(const StoreKind& kind, const StoreEntry& entry) {
  return NameFits(kind, entry.name) && FormFits(kind.form, entry) && (kind.holds.empty() || Holds(entry.path, kind.holds));
}

}  // namespace

std::span<const StoreKind> StoreKinds() { return kKinds; }

const StoreKind* KindOfEntry(const StoreEntry& entry) {
  for (const StoreKind& kind : kKinds) {
    if (Recognises(kind, entry)) return &kind;
  }
  return nullptr;
}

bool NestsStores(const StoreKind& kind) { return kind.open == OpenVcfFolder; }

const StoreKind& CardFolderKind() { return kKinds.back(); }

bool NamesServer(const StoreKind& kind) { return kind.open == OpenCardDav; }

const StoreKind* KindOfNestedEntry(const StoreEntry& entry) {
  const StoreKind* kind = KindOfEntry(entry);
  return kind == nullptr || kind->cards || NestsStores(*kind) ? nullptr : kind;
}

std::string NestedFolderName(const StoreKind& kind, std::string_view name) {
  for (const std::string_view ending : kind.endings) {
    if (!ending.empty() && name.size() > ending.size() && EndsWithNoCase(name, ending)) {
      return std::string(name.substr(0, name.size() - ending.size()));
    }
  }
  return std::string(name);
}

const StoreKind* KindOfProfile(const StoreEntry& profile) {
  // A folder is a store by itself only when it is an application's folder;
  // a file, when its kind may stand alone.
  const bool folder = profile.type == fs::EntryType::kDirectory;
  for (const StoreKind& kind : kKinds) {
    if (kind.alone && (kind.form == EntryForm::kDirectoryOrLink) == folder && Recognises(kind, profile)) return &kind;
  }
  return nullptr;
}

}  // namespace store
