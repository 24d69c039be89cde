// The header of an Outlook data file, read without libpff: where the file
// says it ends. libpff opens a file cut short and reads the folders and items
// that still lie before the cut, so a copy cut short (an interrupted download
// or sync) would pass for a smaller store unless its length is compared with
// what its header records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pst {

// The end of file that `header` (the first bytes of a data file) records;
// nothing when the header is not one of the known layouts.
std::optional<std::uint64_t> RecordedEndOfFile(std::string_view header);

// False when the file at `path` cannot be read or is shorter than its header
// records, `failure`, when given, then saying so ("file is 100000 bytes, its
// header records 271360"); true for a header of no known layout (libpff
// decides on those).
bool IsWholeDataFile(const std::string& path, std::string* failure = nullptr);

}  // namespace pst
