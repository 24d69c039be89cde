// The output file at the level of the platform: create-or-truncate, write
// bytes, give back bytes after a failed write, close.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace csv {

struct OutputFile;  // opaque, one per platform

// Opens `path` for writing, creating it or truncating it to zero length.
// Returns nullptr on any failure.
OutputFile* OutputOpen(const std::u16string& path);

// Writes all of `bytes` at the end of what was written so far; false on any
// failure (some of the bytes may have been written).
bool OutputWrite(OutputFile* file, std::string_view bytes);

// Cuts the file back to `size` bytes (used to drop a partly written line).
bool OutputTruncate(OutputFile* file, std::uint64_t size);

// Closes the file; false when closing failed. The handle is gone either way.
bool OutputClose(OutputFile* file);

}  // namespace csv
