// One contact item as one output record of 55 fields, and the item loop of a
// folder that writes them.
#pragma once

#include <string>

#include "om/object_model.h"

namespace exporter {

// Writes one record for each contact of the folder that has a name; skips
// other items. 0, or 53 when a line could not be written (the loop stops there).
int ExportFolderItems(const om::Handle& folder);

// "yyyy-mm-dd"; "" for Outlook's no-date value 4501-01-01 and for a date that
// cannot be written that way (year outside 1..9999, impossible month or day).
// Years below 1000 keep four digits: 0999-12-31.
std::u16string FormatDate(const om::Date& date);

// A value as the text of a text column: texts as they are, numbers in
// decimal, dates as FormatDate; empty values and objects give "".
std::u16string ValueText(const om::Value& value);

}  // namespace exporter
