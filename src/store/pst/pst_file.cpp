// The libpff half of the data-file reader. libpff's error objects are asked
// for only where a reason is wanted: when a file is opened (why a store
// cannot be used), and when a folder or message cannot be read and the
// caller asks why; elsewhere a failing call only decides between "not
// found" and "corrupt item".
#include "store/pst/pst_file.h"
#include "store/pst/pst_header.h"
#include "store/pst/pst_open.h"
#include "store/pst/pst_time.h"

#include <libpff.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "text/ascii_case.h"
#include "text/unicode_text.h"

namespace pst {

struct File {
  libpff_file_t* pff = nullptr;
  ~File() {
    if (pff == nullptr) return;
    libpff_file_close(pff, nullptr);
    libpff_file_free(&pff, nullptr);
  }
};

struct Folder {
  FileHandle file;
  libpff_item_t* item = nullptr;
  ~Folder() { libpff_item_free(&item, nullptr); }
};

namespace {

// Property tags (ids) and PSETID_Address named properties (LIDs, marked by
// kNamed so that both live in one key space).
constexpr std::uint32_t kNamed = 0x10000;
constexpr std::uint32_t kMessageClass = 0x001A;
constexpr std::uint32_t kDisplayName = 0x3001;
constexpr std::uint32_t kContainerClass = 0x3613;
constexpr std::uint32_t kIpmSubtreeEntryId = 0x35E0;
constexpr std::uint32_t kIpmContactEntryId = 0x36D1;
// The IPM subtree's NID is fixed in PST files (not in OSTs, where 0x8022 is an
// ordinary folder).
constexpr std::uint32_t kPstIpmSubtreeNid = 0x8022;
// A PST entry ID: 4 flag bytes, the 16-byte provider UID, the 4-byte NID.
// Longer (Exchange) entry IDs do not carry a NID and are not decoded.
constexpr std::size_t kPstEntryIdSize = 24;
// Folder trees of real stores are a handful of levels deep; the cap only
// guards the depth-first search against a damaged file.
constexpr int kMaxFolderDepth = 64;

// {00062004-0000-0000-C000-000000000046} as stored (little-endian fields).
constexpr std::array<std::uint8_t, 16> kPsetidAddress{0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Where each record column comes from, in column order. Date columns name the
// UTC property; their local-date named property is in kLocalDates.
constexpr std::array<std::uint32_t, om::kContactPropertyCount> kColumnSources{{
    0x3A11, 0x3A06, 0x3A05, kNamed | 0x802D, kNamed | 0x802C, kNamed | 0x8005,  // names, FileAs
    0x3A5B, 0x3A5A, 0x3A5C, 0x3A59, 0x3A5D,                                     // home address
    0x3A4F, 0x3A1C, 0x3A09, 0x3A2F, 0x3A25, 0x3A50,                             // nickname .. home page
    0x3A42, 0x1000, 0x3A16, kNamed | 0x802E, 0x3A19, 0x3A18, 0x3A17, 0x3A45,    // birthday .. title
    0x3A1B,                                                                      // business 2
    kNamed | 0x8048, kNamed | 0x8049, kNamed | 0x8047, kNamed | 0x8046, kNamed | 0x8045,  // work address
    0x3A57, 0x3A08, 0x3A24, 0x3A51, 0x3A02, 0x3A1E, 0x3A0A, 0x3A2D, 0x3A4E,     // .. manager
    0x3A61, 0x3A60, 0x3A62, 0x3A5F, 0x3A63,                                     // other address
    0x3A1F, 0x3A23, 0x3A21, 0x3A46, 0x3A1D, 0x3A2C, 0x3A4B,                     // .. TTY/TDD
    0x3A41, 0x3A30, 0x3A2E,                                                     // anniversary ..
}};

// A short initializer would leave zeros at the end.
static_assert(std::ranges::none_of(kColumnSources, [](std::uint32_t source) { return source == 0; }));

struct LocalDate {
  std::size_t column;
  std::uint32_t source;
};
constexpr std::array<LocalDate, 2> kLocalDates{{{om::kBirthday, kNamed | 0x80DE},
                                                {om::kAnniversary, kNamed | 0x80DF}}};

// Message classes and their kinds of item; a class matches its entry when it
// is the entry or starts with the entry and a dot (letters compared without
// case). Anything else is a mail item, as Outlook shows unknown classes.
constexpr std::array<std::pair<std::u16string_view, om::ItemKind>, 14> kItemKinds{{
    {u"ipm.contact", om::ItemKind::kContact},
    {u"ipm.distlist", om::ItemKind::kDistList},
    {u"ipm.appointment", om::ItemKind::kAppointment},
    {u"ipm.schedule.meeting", om::ItemKind::kMeeting},
    {u"ipm.task", om::ItemKind::kTask},
    {u"ipm.taskrequest", om::ItemKind::kTaskRequest},
    {u"ipm.stickynote", om::ItemKind::kNote},
    {u"ipm.activity", om::ItemKind::kJournal},
    {u"ipm.post", om::ItemKind::kPost},
    {u"ipm.document", om::ItemKind::kDocument},
    {u"ipm.sharing", om::ItemKind::kSharing},
    {u"ipm.remote", om::ItemKind::kRemote},
    {u"report", om::ItemKind::kReport},
    {u"ipm.note", om::ItemKind::kMail},
}};
constexpr om::ItemKind kDefaultItemKind = om::ItemKind::kMail;

struct ItemFree {
  void operator()(libpff_item_t* item) const { libpff_item_free(&item, nullptr); }
};
using Item = std::unique_ptr<libpff_item_t, ItemFree>;

struct RecordSetFree {
  void operator()(libpff_record_set_t* set) const { libpff_record_set_free(&set, nullptr); }
};
using RecordSet = std::unique_ptr<libpff_record_set_t, RecordSetFree>;

// An item's properties: record set 0. Nothing when libpff cannot read them.
RecordSet Properties(libpff_item_t* item) {
  int sets = 0;
  if (libpff_item_get_number_of_record_sets(item, &sets, nullptr) != 1 || sets < 1) return nullptr;
  libpff_record_set_t* set = nullptr;
  if (libpff_item_get_record_set_by_index(item, 0, &set, nullptr) != 1) return nullptr;
  return RecordSet(set);
}

// A plain (not named) property of a record set, any value type.
libpff_record_entry_t* FindPlain(libpff_record_set_t* set, std::uint32_t tag) {
  libpff_record_entry_t* entry = nullptr;
  const std::uint8_t flags = LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE | LIBPFF_ENTRY_VALUE_FLAG_IGNORE_NAME_TO_ID_MAP;
  if (libpff_record_set_get_entry_by_type(set, tag, 0, &entry, flags, nullptr) != 1) return nullptr;
  return entry;
}

std::uint32_t ValueType(libpff_record_entry_t* entry) {
  std::uint32_t type = 0;
  return libpff_record_entry_get_value_type(entry, &type, nullptr) == 1 ? type : 0;
}

bool IsText(libpff_record_entry_t* entry) {
  const std::uint32_t type = ValueType(entry);
  return type == LIBPFF_VALUE_TYPE_STRING_UNICODE || type == LIBPFF_VALUE_TYPE_STRING_ASCII;
}

bool IsFiletime(libpff_record_entry_t* entry) { return ValueType(entry) == LIBPFF_VALUE_TYPE_FILETIME; }

// A text value (PT_UNICODE or PT_STRING8), decoded to UTF-16, 8-bit strings
// through the file's code page. Nothing when it cannot be decoded.
std::optional<std::u16string> Text(libpff_record_entry_t* entry) {
  std::size_t data_size = 0;
  if (libpff_record_entry_get_data_size(entry, &data_size, nullptr) != 1) return std::nullopt;
  if (data_size == 0) return std::u16string();
  std::size_t size = 0;
  if (libpff_record_entry_get_data_as_utf16_string_size(entry, &size, nullptr) != 1) return std::nullopt;
  std::u16string text(size, u'\0');
  auto* data = reinterpret_cast<std::uint16_t*>(text.data());
  if (size > 0 && libpff_record_entry_get_data_as_utf16_string(entry, data, size, nullptr) != 1) return std::nullopt;
  text.resize(std::char_traits<char16_t>::length(text.c_str()));
  return text::WithCrLfLineBreaks(std::move(text));
}

std::optional<std::uint64_t> Filetime(libpff_record_entry_t* entry) {
  std::uint64_t filetime = 0;
  if (libpff_record_entry_get_data_as_filetime(entry, &filetime, nullptr) != 1) return std::nullopt;
  return filetime;
}

// The calendar date of a FILETIME: in the machine's local time zone (as
// Outlook shows a UTC birthday), or as stored for the local-date properties.
// Outlook's "none" (4501-01-01) and anything from year 4500 on are no date.
om::Date DateOf(std::uint64_t filetime, bool local_zone) {
  pst::CalendarDay day;
  if (!pst::DayOfFiletime(filetime, local_zone, day) || day.year >= 4500) return om::kNoDate;
  return om::Date{day.year, day.month, day.day};
}

// The NID that a PST entry ID property names; 0 when absent or not a PST entry ID.
std::uint32_t EntryIdNid(libpff_item_t* item, std::uint32_t tag) {
  RecordSet set = Properties(item);
  libpff_record_entry_t* entry = set ? FindPlain(set.get(), tag) : nullptr;
  std::size_t size = 0;
  if (entry == nullptr || ValueType(entry) != LIBPFF_VALUE_TYPE_BINARY_DATA ||
      libpff_record_entry_get_data_size(entry, &size, nullptr) != 1 || size != kPstEntryIdSize) {
    return 0;
  }
  std::array<std::uint8_t, kPstEntryIdSize> bytes{};
  if (libpff_record_entry_get_data(entry, bytes.data(), bytes.size(), nullptr) != 1) return 0;
  return static_cast<std::uint32_t>(bytes[20]) | static_cast<std::uint32_t>(bytes[21]) << 8 |
         static_cast<std::uint32_t>(bytes[22]) << 16 | static_cast<std::uint32_t>(bytes[23]) << 24;
}

// A folder's text property: "" when the folder has none; nothing when its
// properties or the value cannot be read.
std::optional<std::u16string> FolderText(libpff_item_t* item, std::uint32_t tag) {
  RecordSet set = Properties(item);
  if (!set) return std::nullopt;
  libpff_record_entry_t* entry = FindPlain(set.get(), tag);
  return entry && IsText(entry) ? Text(entry) : std::u16string();
}

FolderHandle MakeFolder(const FileHandle& file, libpff_item_t* item) {
  auto folder = std::make_shared<Folder>();
  folder->file = file;
  folder->item = item;
  return folder;
}

FolderHandle FolderByNid(const FileHandle& file, std::uint32_t nid) {
  libpff_item_t* raw = nullptr;
  if (nid == 0 || libpff_file_get_item_by_identifier(file->pff, nid, &raw, nullptr) != 1) return nullptr;
  Item item(raw);
  std::uint8_t type = 0;
  if (libpff_item_get_type(item.get(), &type, nullptr) != 1 || type != LIBPFF_ITEM_TYPE_FOLDER) return nullptr;
  return MakeFolder(file, item.release());
}

FolderHandle RootFolder(const FileHandle& file) {
  libpff_item_t* root = nullptr;
  if (libpff_file_get_root_folder(file->pff, &root, nullptr) != 1 || root == nullptr) return nullptr;
  return MakeFolder(file, root);
}

FolderSearch Unreadable() { return {nullptr, true}; }

// The first subfolder of the folder `parent` found that is named `name`; what
// `parent` is when it is not a folder.
FolderSearch SubfolderNamed(const FolderSearch& parent, std::u16string_view name) {
  if (!parent.folder) return parent;
  const std::optional<std::size_t> count = SubfolderCount(parent.folder);
  if (!count) return Unreadable();
  for (std::size_t i = 0; i < *count; ++i) {
    FolderHandle sub = Subfolder(parent.folder, i);
    if (!sub) return Unreadable();
    if (FolderName(sub) == name) return {sub};
  }
  return {};
}

// Exchange keeps the mailbox's IPM subtree under "Root - Mailbox" (the
// public folders' own IPM_SUBTREE sits beside it under "Root - Public").
FolderSearch ExchangeIpmSubtree(const FileHandle& file) {
  return SubfolderNamed(SubfolderNamed({RootFolder(file)}, u"Root - Mailbox"), u"IPM_SUBTREE");
}

std::uint32_t Identifier(const FolderHandle& folder) {
  std::uint32_t id = 0;
  return libpff_item_get_identifier(folder->item, &id, nullptr) == 1 ? id : 0;
}

// Whether a folder is the one sought; nothing when that cannot be told.
using FolderMatch = std::function<std::optional<bool>(const FolderHandle&)>;

// A folder of the tree under `folder` (itself included) that `match` accepts.
// When `unique`, `match` accepts one folder at most, so finding it anywhere
// settles the search, and what cannot be read on the way only matters when
// it is not found. Otherwise the search is for the first, depth-first in file
// order, and what cannot be read before it ends the search: the folder sought
// may lie there. A tree deeper than real stores have is a damaged one, and as
// unreadable.
FolderSearch FindFolder(const FolderHandle& folder, const FolderMatch& match, bool unique, int depth = 0) {
  if (depth > kMaxFolderDepth) return Unreadable();
  const std::optional<bool> matches = match(folder);
  if (matches.value_or(false)) return {folder};
  if (!matches && !unique) return Unreadable();
  bool unreadable = !matches;
  const std::optional<std::size_t> count = SubfolderCount(folder);
  if (!count) return Unreadable();
  for (std::size_t i = 0; i < *count; ++i) {
    FolderHandle sub = Subfolder(folder, i);
    FolderSearch found = sub ? FindFolder(sub, match, unique, depth + 1) : Unreadable();
    if (found.folder || (found.unreadable && !unique)) return found;
    unreadable = unreadable || found.unreadable;
  }
  return {nullptr, unreadable};
}

bool ClassMatches(std::u16string_view message_class, std::u16string_view entry) {
  if (message_class.substr(0, entry.size()) != entry) return false;
  return message_class.size() == entry.size() || message_class[entry.size()] == u'.';
}

om::ItemKind ItemKindOf(const std::u16string& message_class) {
  const std::u16string lower = text::LowerAscii(message_class);
  for (const auto& [entry, kind] : kItemKinds) {
    if (ClassMatches(lower, entry)) return kind;
  }
  return kDefaultItemKind;
}

// The key under which a message property is looked up: its tag for plain
// properties, kNamed | LID for numeric PSETID_Address named properties, and 0
// (ignored) for every other named property.
std::uint32_t KeyOf(libpff_record_entry_t* entry) {
  std::uint32_t tag = 0;
  if (libpff_record_entry_get_entry_type(entry, &tag, nullptr) != 1) return 0;
  libpff_name_to_id_map_entry_t* name = nullptr;
  if (libpff_record_entry_get_name_to_id_map_entry(entry, &name, nullptr) != 1 || name == nullptr) {
    return tag < 0x8000 ? tag : 0;
  }
  std::uint8_t kind = 0;
  std::uint32_t lid = 0;
  std::array<std::uint8_t, 16> guid{};
  if (libpff_name_to_id_map_entry_get_type(name, &kind, nullptr) != 1 || kind != LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_NUMERIC ||
      libpff_name_to_id_map_entry_get_number(name, &lid, nullptr) != 1 ||
      libpff_name_to_id_map_entry_get_guid(name, guid.data(), guid.size(), nullptr) != 1 || guid != kPsetidAddress ||
      lid > 0xFFFF) {
    return 0;
  }
  return kNamed | lid;
}

// A message's properties by key, first occurrence kept.
class PropertyIndex {
 public:
  bool Load(libpff_record_set_t* set) {
    int count = 0;
    if (libpff_record_set_get_number_of_entries(set, &count, nullptr) != 1) return false;
    entries_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      libpff_record_entry_t* entry = nullptr;
      if (libpff_record_set_get_entry_by_index(set, i, &entry, nullptr) != 1) return false;
      const std::uint32_t key = KeyOf(entry);
      if (key != 0 && Find(key) == nullptr) entries_.emplace_back(key, entry);
    }
    return true;
  }
  libpff_record_entry_t* Find(std::uint32_t key) const {
    for (const auto& [k, entry] : entries_) {
      if (k == key) return entry;
    }
    return nullptr;
  }

 private:
  std::vector<std::pair<std::uint32_t, libpff_record_entry_t*>> entries_;
};

// A property of another value type than its column's is not the property
// the column means: it gives no value. One of the right type that libpff
// cannot decode makes the item unreadable (false).
bool ReadText(libpff_record_entry_t* entry, om::Value& value) {
  if (entry == nullptr || !IsText(entry)) return true;
  std::optional<std::u16string> text = Text(entry);
  if (text) value = std::move(*text);
  return text.has_value();
}

bool ReadDate(libpff_record_entry_t* entry, bool local_zone, om::Value& value) {
  if (entry == nullptr || !IsFiletime(entry)) return true;
  const std::optional<std::uint64_t> filetime = Filetime(entry);
  if (filetime) value = DateOf(*filetime, local_zone);
  return filetime.has_value();
}

std::uint32_t LocalDateSource(std::size_t column) {
  for (const LocalDate& local : kLocalDates) {
    if (local.column == column) return local.source;
  }
  return 0;
}

// Fills one column; false when the item turns out unreadable.
bool ReadColumn(const PropertyIndex& index, std::size_t column, om::ContactValues& values) {
  libpff_record_entry_t* entry = index.Find(kColumnSources[column]);
  if (om::kContactProperties[column].kind == om::PropertyKind::kText) return ReadText(entry, values[column]);
  libpff_record_entry_t* local = index.Find(LocalDateSource(column));
  if (local != nullptr && IsFiletime(local)) return ReadDate(local, false, values[column]);
  return ReadDate(entry, true, values[column]);
}

std::optional<Message> ReadMessageItem(libpff_item_t* item) {
  RecordSet set = Properties(item);
  PropertyIndex index;
  if (!set || !index.Load(set.get())) return std::nullopt;
  Message message{kDefaultItemKind, om::EmptyContactValues()};
  libpff_record_entry_t* class_entry = index.Find(kMessageClass);
  std::optional<std::u16string> message_class = class_entry && IsText(class_entry) ? Text(class_entry) : std::u16string();
  if (!message_class) return std::nullopt;
  message.kind = ItemKindOf(*message_class);
  if (!om::HasContactProperties(message.kind)) return message;
  for (std::size_t column = 0; column < om::kContactPropertyCount; ++column) {
    if (!ReadColumn(index, column, message.values)) return std::nullopt;
  }
  return message;
}

// What went wrong first, from a libpff error (which it frees): the first
// line of its backtrace without the function's name and the final stop
// ("invalid file signature").
std::string FirstCause(libpff_error_t* error, std::string_view unknown = "cannot open the file") {
  char text[1024] = "";
  if (error != nullptr && libpff_error_backtrace_sprint(error, text, sizeof text) < 0) text[0] = '\0';
  libpff_error_free(&error);
  std::string_view cause(text);
  cause = cause.substr(0, cause.find('\n'));
  if (const std::size_t colon = cause.find(": "); colon != std::string_view::npos) cause.remove_prefix(colon + 2);
  if (cause.ends_with('.')) cause.remove_suffix(1);
  return std::string(cause.empty() ? unknown : cause);
}

// Where a call that may fail puts libpff's error: nowhere unless the caller
// wants the reason.
libpff_error_t** ErrorFor(std::string* failure, libpff_error_t*& error) { return failure ? &error : nullptr; }

// What failed, and libpff's first cause when it gave one (which it frees).
void Explain(std::string* failure, std::string_view what, libpff_error_t* error) {
  const std::string cause = FirstCause(error, "");
  if (failure) *failure = std::string(what) + (cause.empty() ? std::string() : ": libpff: " + cause);
}

}  // namespace

FileHandle OpenFile(const std::string& path, std::string* failure) {
  std::string ignored;
  std::string& why = failure ? *failure : ignored;
  auto file = std::make_shared<File>();
  libpff_error_t* error = nullptr;
  if (libpff_file_initialize(&file->pff, &error) != 1 ||
      // Before opening: 8-bit strings of 97-2002 files are decoded with it.
      libpff_file_set_ascii_codepage(file->pff, LIBPFF_CODEPAGE_WINDOWS_932, &error) != 1) {
    why = "libpff: " + FirstCause(error);
    return nullptr;
  }
  if (!OpenLibpffFile(file->pff, path, &error)) {
    why = "libpff: " + FirstCause(error);
    libpff_file_free(&file->pff, nullptr);
    return nullptr;
  }
  if (!RootFolder(file)) {
    why = "libpff finds no root folder";
    return nullptr;
  }
  if (!IsWholeDataFile(path, &why)) return nullptr;
  return file;
}

FolderHandle TopFolder(const FileHandle& file) {
  libpff_item_t* store = nullptr;
  if (libpff_file_get_message_store(file->pff, &store, nullptr) == 1 && store != nullptr) {
    Item store_item(store);
    if (FolderHandle top = FolderByNid(file, EntryIdNid(store_item.get(), kIpmSubtreeEntryId))) return top;
  }
  std::uint8_t content_type = 0;
  if (libpff_file_get_content_type(file->pff, &content_type, nullptr) == 1 &&
      content_type == LIBPFF_FILE_CONTENT_TYPE_PST) {
    if (FolderHandle top = FolderByNid(file, kPstIpmSubtreeNid)) return top;
  }
  const FolderSearch exchange = ExchangeIpmSubtree(file);
  if (exchange.folder) return exchange.folder;
  return exchange.unreadable ? nullptr : RootFolder(file);
}

FolderSearch DefaultContactsFolder(const FileHandle& file) {
  const FolderHandle top = TopFolder(file);
  const FolderHandle root = RootFolder(file);
  // Without the root's properties it is not known whether it names a folder.
  if (!top || !root || !Properties(root->item)) return Unreadable();
  // The entry ID's provider UID is not compared with the store's: a file
  // copied from another store keeps the old UID, and the folder it names is
  // still the one the user sees as Contacts. When it is not found and part of
  // the tree cannot be read, it may be there: the class search would walk past
  // the same place, and could stop at another contacts folder after it.
  if (const std::uint32_t nid = EntryIdNid(root->item, kIpmContactEntryId)) {
    FolderSearch named = FindFolder(top, [nid](const FolderHandle& f) { return Identifier(f) == nid; }, true);
    if (named.folder || named.unreadable) return named;
  }
  return FindFolder(
      top,
      [](const FolderHandle& f) -> std::optional<bool> {
        const std::optional<std::u16string> container_class = FolderText(f->item, kContainerClass);
        if (!container_class) return std::nullopt;
        return text::EqualsNoCase(*container_class, u"ipf.contact");
      },
      false);
}

std::u16string FolderName(const FolderHandle& folder) {
  return FolderText(folder->item, kDisplayName).value_or(u"");
}

std::uint32_t FolderId(const FolderHandle& folder) { return Identifier(folder); }

// libpff reads a folder's table when first asked and answers -1 when the
// table cannot be read, again at every later call.
std::optional<std::size_t> SubfolderCount(const FolderHandle& folder, std::string* failure) {
  int count = 0;
  libpff_error_t* error = nullptr;
  if (libpff_folder_get_number_of_sub_folders(folder->item, &count, ErrorFor(failure, error)) != 1 || count < 0) {
    Explain(failure, "cannot read its list of subfolders", error);
    return std::nullopt;
  }
  return static_cast<std::size_t>(count);
}

FolderHandle Subfolder(const FolderHandle& folder, std::size_t index, std::string* failure) {
  libpff_item_t* sub = nullptr;
  libpff_error_t* error = nullptr;
  if (libpff_folder_get_sub_folder(folder->item, static_cast<int>(index), &sub, ErrorFor(failure, error)) != 1) {
    Explain(failure, "cannot open its subfolder " + std::to_string(index + 1), error);
    return nullptr;
  }
  return MakeFolder(folder->file, sub);
}

std::optional<std::size_t> MessageCount(const FolderHandle& folder, std::string* failure) {
  int count = 0;
  libpff_error_t* error = nullptr;
  if (libpff_folder_get_number_of_sub_messages(folder->item, &count, ErrorFor(failure, error)) != 1 || count < 0) {
    Explain(failure, "cannot read its list of messages", error);
    return std::nullopt;
  }
  return static_cast<std::size_t>(count);
}

om::Date LocalDateOfFiletime(std::uint64_t filetime) { return DateOf(filetime, true); }

std::optional<Message> ReadMessage(const FolderHandle& folder, std::size_t index, std::string* failure) {
  libpff_item_t* raw = nullptr;
  libpff_error_t* error = nullptr;
  if (libpff_folder_get_sub_message(folder->item, static_cast<int>(index), &raw, ErrorFor(failure, error)) != 1) {
    Explain(failure, "cannot open the message", error);
    return std::nullopt;
  }
  Item item(raw);
  std::optional<Message> message = ReadMessageItem(item.get());
  if (!message && failure) *failure = "its properties cannot be read";
  return message;
}

}  // namespace pst
