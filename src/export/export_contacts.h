// The export as a whole: open the output file, choose the folder to export,
// walk it, close the file.
#pragma once

namespace exporter {

// 0, 52 (file not opened), 55 (no folder), 56 (the walk failed) or 54 (the
// file could not be closed).
int ExportContacts();

}  // namespace exporter
