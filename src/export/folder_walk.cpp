#include "export/folder_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "om/result_codes.h"
#include "export/contact_record.h"
#include "export/walk_listener.h"

namespace exporter {
namespace {

// The folder's identifier, when it has one that can be read; used only to
// notice a folder that contains itself, so a store without identifiers simply
// goes without the check and relies on the depth limit.
std::u16string EntryIdOf(const om::Handle& folder) {
  try {
    return ValueText(om::Get(folder, "EntryID"));
  } catch (const om::ObjectModelError&) {
    return std::u16string();
  }
}

std::int64_t CountOf(const om::Handle& folder, std::string_view collection) {
  return om::AsCount(om::Get(om::AsObject(om::Get(folder, collection)), "Count"));
}

// The walk's own failure: the folder is not walked.
int Fail(std::string_view reason) {
  if (WalkListener* listener = CurrentWalkListener()) listener->WalkFailed(0, reason);
  return om::RC_FOLDER_FAILED;
}

int Walk(const om::Handle& folder, std::vector<std::u16string>& ancestors) {
  WalkListener* const listener = CurrentWalkListener();
  if (listener) listener->FolderEntered(folder, ancestors.size());
  if (ancestors.size() >= kMaxFolderDepth) return Fail("folders nested too deep: the folder graph loops or is broken");
  std::u16string id = EntryIdOf(folder);
  if (!id.empty() && std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
    return Fail("the folder holds itself (a loop of folders)");
  }
  if (CountOf(folder, "Items") != 0 && ExportFolderItems(folder) != om::RC_OK) {
    return Fail("the export was told to end, or a record could not be written");
  }
  if (CountOf(folder, "Folders") == 0) {
    if (listener) listener->FolderLeft();
    return om::RC_OK;
  }

  const om::Handle subfolders = om::AsObject(om::Get(folder, "Folders"));
  const std::int64_t count = om::AsCount(om::Get(subfolders, "Count"));
  ancestors.push_back(std::move(id));
  for (std::int64_t i = 1; i <= count; ++i) {
    const om::Handle subfolder = om::AsObject(om::Get(subfolders, "Item", i));
    const int result = Walk(subfolder, ancestors);
    if (result != om::RC_OK) return result;
  }
  ancestors.pop_back();
  if (listener) listener->FolderLeft();
  return om::RC_OK;
}

}  // namespace

int ExportFolderTree(const om::Handle& folder) {
  std::vector<std::u16string> ancestors;
  return Walk(folder, ancestors);
}

}  // namespace exporter
