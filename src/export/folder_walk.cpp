#include "export/folder_walk.h"

#include <algorithm>
#include <string>
#include <vector>

#include "om/result_codes.h"
#include "export/contact_record.h"

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

int Walk(const om::Handle& folder, std::vector<std::u16string>& ancestors) {
  if (ancestors.size() >= kMaxFolderDepth) return om::RC_FOLDER_FAILED;
  std::u16string id = EntryIdOf(folder);
  if (!id.empty() && std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) {
    return om::RC_FOLDER_FAILED;
  }
  if (CountOf(folder, "Items") != 0 && ExportFolderItems(folder) != om::RC_OK) {
    return om::RC_FOLDER_FAILED;
  }
  if (CountOf(folder, "Folders") == 0) return om::RC_OK;

  const om::Handle subfolders = om::AsObject(om::Get(folder, "Folders"));
  const std::int64_t count = om::AsCount(om::Get(subfolders, "Count"));
  ancestors.push_back(std::move(id));
  for (std::int64_t i = 1; i <= count; ++i) {
    const om::Handle subfolder = om::AsObject(om::Get(subfolders, "Item", i));
    const int result = Walk(subfolder, ancestors);
    if (result != om::RC_OK) return result;
  }
  ancestors.pop_back();
  return om::RC_OK;
}

}  // namespace

int ExportFolderTree(const om::Handle& folder) {
  std::vector<std::u16string> ancestors;
  return Walk(folder, ancestors);
}

}  // namespace exporter
