#include "export/export_contacts.h"

#include <cstdint>
#include <new>
#include <string>

#include "om/result_codes.h"
#include "csv/csv_file.h"
#include "csv/output_guard.h"
#include "export/contact_record.h"
#include "export/folder_walk.h"
#include "export/walk_listener.h"
#include "om/error_numbers.h"
#include "om/resume_next.h"

namespace exporter {
namespace {

// The store whose top-level folder the search prefers. Nothing configures it,
// so with stores whose identifiers can be read the search settles on the
// profile's last top-level folder.
const std::u16string gStoreId;

constexpr std::int64_t kOlFolderContacts = 10;

om::Handle TopLevelFolders(const om::Handle& nameSpace) {
  return om::AsObject(om::Get(nameSpace, "Folders"));
}

// Looks for a top-level folder to export when the default contacts folder
// could not be opened because a provider of the profile failed. The 1-based
// index of the folder it leaves in `folder` (0: none).
std::int64_t SearchStores(const om::Handle& nameSpace, om::Handle& folder) {
  om::ErrClear();
  std::int64_t taken = 0;
  if (om::ResumeNextIf([&] { return om::AsCount(om::Get(TopLevelFolders(nameSpace), "Count")) == 0; })) {
    return taken;
  }
  std::int64_t count = 0;
  om::ResumeNext([&] { count = om::AsCount(om::Get(TopLevelFolders(nameSpace), "Count")); });
  for (std::int64_t i = 1; i <= count; ++i) {
    // A failed fetch keeps the folder of the previous pass.
    if (om::ResumeNext([&] { folder = om::AsObject(om::Get(TopLevelFolders(nameSpace), "Item", i)); })) taken = i;
    if (om::ResumeNextIf([&] { return ValueText(om::Get(folder, "StoreId")) == gStoreId; })) {
      if (om::ErrNumber() != om::kMapiFailOneProvider) return folder ? taken : 0;
      om::ErrClear();
      folder.reset();
    }
  }
  return folder ? taken : 0;
}

// The export once its output is open.
int ExportToOpenOutput(const om::Handle& nameSpace) {
  om::Handle folder;
  om::ResumeNext([&] {
    folder = om::AsObject(om::Get(nameSpace, "GetDefaultFolder", kOlFolderContacts));
  });
  WalkListener* const listener = CurrentWalkListener();
  if (listener && !folder) listener->DefaultFolderFailed(om::ErrNumber(), om::ErrReason());
  if (om::ErrNumber() == om::kMapiFailOneProvider) {
    const std::int64_t taken = SearchStores(nameSpace, folder);
    if (listener) listener->SearchEnded(taken, om::ErrReason());
  }
  // A store left unopened because the run was told to end (its server's
  // answer abandoned) is no missing folder: the export was cut short.
  if (!folder) return csv::StopRequested() ? om::RC_EXPORT_FAILED : om::RC_FOLDER_FAILED;

  int result = om::RC_OK;
  // A failure inside the walk abandons all of it; the contacts after that
  // point are missing, so the export has failed even though every line that
  // was written is whole.
  // Running out of memory (a card too large for the memory the process may
  // use) fails the walk the same way: what was written stays whole.
  try {
    if (!om::ResumeNext([&] { result = ExportFolderTree(folder); })) {
      result = om::RC_EXPORT_FAILED;
      if (listener) listener->WalkFailed(om::ErrNumber(), om::ErrReason());
    }
  } catch (const std::bad_alloc&) {
    result = om::RC_EXPORT_FAILED;
    if (listener) listener->WalkFailed(0, "out of memory");
  }
  // A stop request (a signal to end) leaves the export incomplete even when no
  // write was refused after it.
  if (result != om::RC_OK || csv::StopRequested()) return om::RC_EXPORT_FAILED;  // the file stays open
  const int closed = csv::CsvClose();
  return closed != om::RC_OK && csv::StopRequested() ? om::RC_EXPORT_FAILED : closed;
}

}  // namespace

int ExportContacts(const std::u16string& outputPath, const om::Handle& nameSpace) {
  om::ErrClear();
  if (csv::CsvOpen(outputPath) != om::RC_OK) return om::RC_FILE_OPEN_FAILED;
  return ExportToOpenOutput(nameSpace);
}

int ExportContactsNowhere(const om::Handle& nameSpace) {
  om::ErrClear();
  csv::CsvOpenNowhere();
  return ExportToOpenOutput(nameSpace);
}

}  // namespace exporter
