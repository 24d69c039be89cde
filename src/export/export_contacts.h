// The export as a whole: open the output file, choose the folder to export,
// walk it, close the file.
#pragma once

#include <string>

#include "om/object_model.h"

namespace exporter {

// Exports the contacts of the "MAPI" namespace `nameSpace` into the file at
// `outputPath`: 0, 52 (file not opened), 55 (no folder), 56 (the walk failed)
// or 54 (the file could not be closed).
int ExportContacts(const std::u16string& outputPath, const om::Handle& nameSpace);

// The same export with its records going nowhere (csv::CsvOpenNowhere): the
// same folder chosen, the same walk, the same records made and items passed
// over, and the result ExportContacts would give (never 52 or 54). What the
// check runs, with its WalkListener.
int ExportContactsNowhere(const om::Handle& nameSpace);

}  // namespace exporter
