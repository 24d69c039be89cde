// Inside the stand-alone store: what a kind of store (a directory of vCard
// files, an Outlook data file) must provide so that the object-model objects
// (store_objects.cpp) can serve it. Every member may throw
// om::ObjectModelError with the number the object model should report.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/ascii_case.h"
#include "text/hex_digits.h"
#include "text/unicode_text.h"
#include "om/contact_properties.h"
#include "om/item_kinds.h"
#include "om/object_model.h"

namespace store {

// One fetched item, complete: its properties are read when the item is
// fetched, so that reading a property later is a lookup.
struct ItemData {
  om::ItemKind kind;
  // The 55 contact properties; nothing for an item that has none (then every
  // property read fails with DISP_E_UNKNOWNNAME, as for a mail item). Held
  // by pointer where they were decoded, so handing an item on never moves
  // its 55 values.
  std::shared_ptr<const om::ContactValues> properties;
};

// The source of one folder's subfolders and items. A source keeps only what
// locates its items (never the items' contents), and is released with the
// last object that uses it.
class FolderSource {
 public:
  virtual ~FolderSource() = default;

  virtual std::u16string Name() = 0;
  // A text that is the same for the same folder and differs between folders.
  virtual std::u16string EntryId() = 0;

  virtual std::size_t ItemCount() = 0;
  // Item `index` (0-based, below ItemCount()). An item that cannot be read
  // throws MAPI_E_CORRUPT_DATA with a reason that starts with Location(index)
  // ("a.vcf, card 3: ..."); the other items stay readable.
  virtual ItemData FetchItem(std::size_t index) = 0;
  // Where item `index` lies, in words a user can go and look by ("a.vcf,
  // card 3", "message 12"), worked out when asked from what locates the
  // items anyway; empty when the folder cannot tell.
  virtual std::string Location(std::size_t /*index*/) { return {}; }

  virtual std::size_t SubfolderCount() = 0;
  // Subfolder `index` (0-based, below SubfolderCount()).
  virtual std::unique_ptr<FolderSource> OpenSubfolder(std::size_t index) = 0;
};

// One store of the profile. A store that cannot be read (a failing
// provider) still exists as an object: its members throw
// MAPI_E_FAILONEPROVIDER.
class StoreSource {
 public:
  virtual ~StoreSource() = default;

  // Non-empty, the same from run to run, different for each store.
  virtual std::u16string StoreId() = 0;
  virtual std::unique_ptr<FolderSource> OpenTopFolder() = 0;
  // Throws MAPI_E_NOT_FOUND when the store has no contacts folder.
  virtual std::unique_ptr<FolderSource> OpenDefaultContactsFolder() = 0;
};

struct StoreKind;  // store_kinds.h

// One store of a profile, with what the profile says of it (known without
// opening it): the entry's name, its path and its kind.
struct ProfileStore {
  std::shared_ptr<StoreSource> source;
  std::string name;  // the entry's name in the profile; a profile that is one store: its base name
  std::string path;
  const StoreKind* kind = nullptr;
};

using StoreList = std::vector<ProfileStore>;

// A store that cannot be used at all (a file that cannot be opened, a
// server that cannot be reached, a kind this build cannot read): every member
// throws MAPI_E_FAILONEPROVIDER with `reason`, as a store whose provider
// fails does in Outlook.
std::unique_ptr<StoreSource> FailingStore(std::string reason);

// A store that is opened when it is first used (StoreId or either folder),
// and only then: the first call runs `open` once, and the store it returns
// serves that call and every later one. A store that cannot be opened is the
// FailingStore `open` returns, so it fails the same way, with the same
// reason, every time.
using StoreOpener = std::function<std::unique_ptr<StoreSource>()>;
std::unique_ptr<StoreSource> OpenOnFirstUse(StoreOpener open);

// How each kind of store is opened (which entry is which kind: store_kinds.h).
// None returns nothing: an entry that cannot be used gives a failing store,
// which says why. The store's file, book, directory or server is opened only
// when the store is first used (OpenOnFirstUse). None writes, creates or
// locks anything beside what it reads.
//
// A kind that needs a library the build may lack also says whether this
// build has it: empty when it does, else why not ("built without libpff");
// without it, the kind's stores are failing stores with that reason (its
// *_unavailable.cpp twin).

// The Outlook data file (.pst, .ost) at `path` (store/pst/, libpff).
std::unique_ptr<StoreSource> OpenOutlookDataFileStore(const std::string& path);
std::string_view OutlookDataFilesUnavailable();

// The SQLite address book (Thunderbird, Evolution) at `path`: one folder
// (store/sqlite/, SQLite).
std::unique_ptr<StoreSource> OpenAddressBookStore(const std::string& path);
// The Thunderbird profile folder `folder`: abook.sqlite on top, then
// abook-N.sqlite and history.sqlite.
std::unique_ptr<StoreSource> OpenThunderbirdStore(const std::string& folder);
// The Evolution address-book folder `folder`: system/contacts.db on top,
// then every other <id>/contacts.db.
std::unique_ptr<StoreSource> OpenEvolutionStore(const std::string& folder);
std::string_view AddressBooksUnavailable();

// The CardDAV server that the .carddav file at `path` names (store/carddav/,
// libcurl and expat).
std::unique_ptr<StoreSource> OpenCardDavStore(const std::string& path);
std::string_view CardDavUnavailable();
// The server's URL that the .carddav file at `path` names, without any user
// name or password written into it; only the file is read. Nothing when it
// cannot be read or names no URL, `failure` then saying why.
std::optional<std::string> CardDavServerUrl(const std::string& path, std::string& failure);

// The application object over `stores`, the first being the default store.
om::Handle CreateApplicationForStores(StoreList stores);

// The application object for the profile at `profilePath` (a directory, or
// a .vcf file). Throws ObjectModelError when the profile cannot be opened.
om::Handle CreateStandaloneApplicationAt(const std::string& profilePath);

// Helpers shared by the stores. Names are UTF-8 (or bytes that should be);
// what is not UTF-8 becomes U+FFFD.
using text::EndsWithNoCase;
using text::EqualsNoCase;
using text::HexText;
inline std::u16string TextFromUtf8(std::string_view bytes) { return text::Utf16FromUtf8(bytes); }

// A name (of a file, a folder, a key) as a reason or location shows it: one
// line of UTF-8, each control character (a line break in a file name) a '?',
// each byte that is not UTF-8 U+FFFD.
inline std::string Printable(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    const std::size_t length = text::Utf8SequenceAt(bytes, i, cp);
    if (length == 0) {
      text::AppendUtf8CodePoint(0xFFFD, out);
      ++i;
    } else if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) {
      out += '?';
      i += length;
    } else {
      out.append(bytes.substr(i, length));
      i += length;
    }
  }
  return out;
}

}  // namespace store
