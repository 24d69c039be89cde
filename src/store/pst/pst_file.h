// Reading Outlook data files (.pst, .ost): folders, messages and the contact
// record's 55 values. Built on libpff where the build finds it; elsewhere
// (pst_file_unavailable.cpp) every file is a failing file.
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
// before the cut).
FileHandle OpenFile(const std::string& path);

// The store's top-level folder: the IPM subtree ("Top of Outlook data file").
// Found through the message store's IPM subtree entry ID, else the PST's
// fixed NID 0x8022, else an Exchange "Root - Mailbox/IPM_SUBTREE", else the
// root folder itself. Never nothing for an open file.
FolderHandle TopFolder(const FileHandle& file);

// The default contacts folder: the folder the root folder's
// PR_IPM_CONTACT_ENTRYID names when it is a folder of the IPM subtree, else
// the first folder of the IPM subtree (depth-first, file order) whose
// container class is "IPF.Contact". Nothing when there is none.
FolderHandle DefaultContactsFolder(const FileHandle& file);

// The folder's display name ("" when it has none).
std::u16string FolderName(const FolderHandle& folder);
// The folder's node identifier (NID), unique within its file.
std::uint32_t FolderId(const FolderHandle& folder);

// Subfolders and messages in the file's order. A count that cannot be read is
// 0; a subfolder that cannot be opened is nothing.
std::size_t SubfolderCount(const FolderHandle& folder);
FolderHandle Subfolder(const FolderHandle& folder, std::size_t index);
std::size_t MessageCount(const FolderHandle& folder);

// What one message delivers.
struct Message {
  // The kind of item its message class is.
  om::ItemKind kind;
  // The contact record's values; filled for contacts and distribution lists,
  // empty values (texts "", dates kNoDate) for every other kind of item.
  om::ContactValues values;
};

// Reads message `index` of `folder`. Nothing when libpff cannot read it (a
// corrupt item).
std::optional<Message> ReadMessage(const FolderHandle& folder, std::size_t index);

// The calendar date on which a UTC FILETIME falls in the machine's local time
// zone (what Outlook shows for PR_BIRTHDAY when the contact carries no local
// date); no date (kNoDate) from the year 4500 on, Outlook's "none" included.
// Part of the libpff reader only: the unavailable twin never converts dates.
om::Date LocalDateOfFiletime(std::uint64_t filetime);

}  // namespace pst
