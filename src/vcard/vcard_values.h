// Reading the text of vCard values: escapes, structured components,
// parameter lists and dates.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "om/object_model.h"

namespace vcard {

// The text of a single value with its escapes resolved. 3.0 and 4.0: \n and
// \N become CR LF; a backslash before ASCII punctuation (\, \; \\ \: \")
// gives the character. 2.1 (`v21`): only \; gives ';', as Evolution and
// Android write it in every value; every other backslash stays (\\ is two).
std::u16string UnescapeText(std::u16string_view text, bool v21);

// The first out.size() components of a structured value (N, ADR, ORG),
// split at ';' not preceded by a backslash, escapes resolved (2.1: only
// \; \\ \:). Components the value does not have are left empty.
void Components(std::u16string_view text, bool v21, std::span<std::u16string> out);

// Part `index` of a SORT-AS parameter: parts are separated by ';' when the
// value holds one (as Android writes it), else by ',' (RFC 6350).
std::u16string SortAsPart(std::u16string_view text, std::size_t index);

// A date written yyyymmdd or yyyy-mm-dd, optionally followed by a time
// ("T..."), taken as written. Nothing for dates without a year (--mmdd,
// or the placeholder year 1604 when `omit_year`), impossible dates and
// anything else.
std::optional<om::Date> ParseDate(std::u16string_view text, bool omit_year);

}  // namespace vcard
