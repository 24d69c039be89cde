// Reading Outlook data files (.pst, .ost): folders, messages and the contact
// record's 55 values, with libpff. Built only where the build finds libpff;
// elsewhere the data-file store itself is replaced (pst_store_unavailable.cpp).
//
// Files are opened read-only, one libpff handle per file, without recovery of
// deleted items. Folder handles stay open while someone holds them; messages
// are opened on demand and released before the read returns, so memory does
// not grow with the number of messages in a folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "om/contact_properties.h"
#include "om/item_kinds.h"

namespace pst {

struct File;
struct Folder;

// An open data file; shared by every folder handle taken from it.
using FileHandle = std::shared_ptr<File>;
// An open folder; keeps its file open.
using FolderHandle = std::shared_ptr<Folder>;

// Opens `path` read-only. Nothing when the file cannot be used: libpff cannot
// open it, it has no root folder, or it is shorter than the end of file its
// header records (a copy cut short: libpff would still read what lies
// before the cut); `failure`, when given, then says which.
FileHandle OpenFile(const std::string& path, std::string* failure = nullptr);

// The store's top-level folder: the IPM subtree ("Top of Outlook data file").
// Found through the message store's IPM subtree entry ID, else the PST's
// fixed NID 0x8022, else an Exchange "Root - Mailbox/IPM_SUBTREE", else the
// root folder itself. Nothing only when the search for the Exchange subtree
// meets a folder list that cannot be read (the subtree may be in it).
FolderHandle TopFolder(const FileHandle& file);

// What a search for a folder found.
struct FolderSearch {
  // Nothing when there is no such folder, or when the search could not be
  // finished.
  FolderHandle folder;
  // Before finding it, the search met what it cannot read: a folder whose
  // subfolders or class cannot be read, a subfolder that cannot be opened.
  // The folder sought may be the one hidden there, so which one it is, or
  // whether there is one, is not known.
  bool unreadable = false;
};

// The default contacts folder: the folder the root folder's
// PR_IPM_CONTACT_ENTRYID names when it is a folder of the IPM subtree, else
// the first folder of the IPM subtree (depth-first, file order) whose
// container class is "IPF.Contact".
FolderSearch DefaultContactsFolder(const FileHandle& file);

// The folder's display name ("" when it has none).
std::u16string FolderName(const FolderHandle& folder);
// The folder's node identifier (NID), unique within its file.
std::uint32_t FolderId(const FolderHandle& folder);

// Subfolders and messages in the file's order. A count is nothing when libpff
// cannot read the folder's hierarchy table (its subfolders) or contents table
// (its messages): a damaged table, never to be taken for an empty folder. A
// subfolder that cannot be opened is nothing. `failure`, when given, then
// says why ("cannot read its list of messages: libpff: ...").
std::optional<std::size_t> SubfolderCount(const FolderHandle& folder, std::string* failure = nullptr);
FolderHandle Subfolder(const FolderHandle& folder, std::size_t index, std::string* failure = nullptr);
std::optional<std::size_t> MessageCount(const FolderHandle& folder, std::string* failure = nullptr);

// What one message delivers.
struct Message {
  // The kind of item its message class is.
  om::ItemKind kind;
  // The contact record's values; filled for contacts and distribution lists,
  // empty values (texts "", dates kNoDate) for every other kind of item.
  om::ContactValues values;
};

// Reads message `index` of `folder`. Nothing when libpff cannot read it (a
// corrupt item), `failure`, when given, then saying why.
std::optional<Message> ReadMessage(const FolderHandle& folder, std::size_t index, std::string* failure = nullptr);

// The calendar date on which a UTC FILETIME falls in the machine's local time
// zone (what Outlook shows for PR_BIRTHDAY when the contact carries no local
// date); no date (kNoDate) from the year 4500 on, Outlook's "none" included.
om::Date LocalDateOfFiletime(std::uint64_t filetime);

}  // namespace pst
