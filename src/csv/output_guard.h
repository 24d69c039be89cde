// What the output file must never do: be, or lie inside, a file or folder the
// export reads from; or go on writing once the process has been asked to end.
// The stand-alone profile names what it reads; the output file's open asks
// before it creates or truncates anything, and its writes ask between blocks.
#pragma once

#include <cstdint>

namespace csv {

// A file or folder however it is reached (links, junctions, bind mounts): the
// device (volume) and the file number on it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Replaces the set of protected files and folders with nothing.
void ClearProtected();
// Adds one: the output may not be it nor lie anywhere below it.
void Protect(FileIdentity identity);
bool IsProtected(FileIdentity identity);
bool AnyProtected();

// Asks the writes to stop: safe to call from a signal handler. The record
// being written is finished (or cut off a file that can be cut), and nothing
// more is written for the rest of the process.
void RequestStop();
bool StopRequested();

}  // namespace csv
