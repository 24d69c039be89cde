// The object model served through COM automation (Windows only): late-bound
// IDispatch objects wrapped as om::Object. Private to src/om/ and src/app/ and to the
// tests of this layer; the rest of the program sees only object_model.h.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <string_view>

#include "om/object_model.h"

namespace om {

// Creates the COM object registered under `progId` in this thread's
// apartment (initialised as single-threaded on first use).
// Throws ObjectModelError with the failing HRESULT, its reason naming
// `progId` ("cannot create Outlook.Application: error 0x800401F3: ...").
Handle CreateComObject(std::u16string_view progId);

// Wraps `dispatch` as an object handle; the handle takes a reference of its
// own (AddRef) and releases it when the last copy of the handle goes away.
// Nothing for a null pointer.
Handle WrapDispatch(IDispatch* dispatch);

// The calendar date of an OLE automation date (days since 1899-12-30, the
// time of day as fraction). Only the day part counts, taken toward zero as OLE
// does for dates before 1899-12-30: -1.5 is 1899-12-29 at noon. Throws
// ObjectModelError for values outside the OLE range (years 100 to 9999).
Date DateFromOle(double oleDate);

// Member ids are cached per type name and member name for the life of the
// process; tests that reuse a type name with other member ids start afresh.
void ClearMemberIdCache();

}  // namespace om
