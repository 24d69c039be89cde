// The export as a whole: open the output file, choose the folder to export,
// walk it, close the file.
#pragma once

#include <string>

#include "om/object_model.h"

namespace exporter {

// 0, 52 (file not opened), 55 (no folder), 56 (the walk failed) or 54 (the
// file could not be closed).
int ExportContacts();

// The run's state that the export reads: the output path taken from the
// command line and the "MAPI" namespace. The run sequence owns and sets both
// before it calls ExportContacts (defined in app/run_sequence.cpp).
const std::u16string& OutputPath();
const om::Handle& Namespace();

}  // namespace exporter
