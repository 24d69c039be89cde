// The output file at the level of the platform: create-or-truncate, write
// bytes, give back bytes after a failed write, close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace csv {

struct OutputFile;  // opaque, one per platform

// Opens `path` for writing, creating it or truncating it to zero length.
// Returns nullptr on any failure, and then nothing was created or truncated.
// Refused: a path that is, or lies inside, a protected file or folder
// (output_guard.h), with links followed to where the file would be written;
// a FIFO that nobody reads (the open never waits for a reader).
OutputFile* OutputOpen(const std::u16string& path);

enum class WriteEnd {
  kDone,     // all of the bytes were written
  kFailed,   // the system refused a write
  kStopped,  // a stop was requested (RequestStop) while the write waited
};

// Writes `bytes` at the end of what was written so far; `written` is set to
// how many of them went out, whatever the end. With `stoppable` false a stop
// request does not end the write (used to finish a record).
WriteEnd OutputWrite(OutputFile* file, std::string_view bytes, std::size_t& written, bool stoppable);

// Cuts the file back to `size` bytes (used to drop a partly written line).
// False where nothing can be cut back (a pipe, a device).
bool OutputTruncate(OutputFile* file, std::uint64_t size);

// Closes the file; false when closing failed. The handle is gone either way.
bool OutputClose(OutputFile* file);

}  // namespace csv
