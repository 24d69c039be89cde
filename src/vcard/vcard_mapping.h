// Which vCard property fills which contact property.
#pragma once

#include <span>

#include "vcard/vcard_fields.h"
#include "vcard/vcard_reader.h"

namespace vcard {

// Maps the fields of one card, in file order, onto the 55 contact
// properties of `card` and tells groups from contacts. `v21` selects the
// escapes of vCard 2.1. Labels of item groups are folded into the fields'
// types. The card is filled in place: its 55 values are not moved again.
void MapFields(std::span<Field> fields, bool v21, Card& card);

}  // namespace vcard
