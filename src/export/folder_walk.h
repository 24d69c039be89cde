// Walking a folder and all of its subfolders, depth-first, pre-order.
#pragma once

#include <cstddef>

#include "om/object_model.h"

namespace exporter {

// Deeper than any real store nests its folders; a deeper walk is taken for a
// folder graph that loops or is broken and fails instead of exhausting the stack.
inline constexpr std::size_t kMaxFolderDepth = 1024;

// Exports the folder's contacts, then each subfolder's tree in index order.
// 0, or 55 when a folder's items failed, the tree loops or is too deep. Traps
// nothing: a failed object-model call abandons the whole walk (it throws).
int ExportFolderTree(const om::Handle& folder);

}  // namespace exporter
