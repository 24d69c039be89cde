#include "csv/csv_file.h"

#include <algorithm>
#include <cstdint>

#include "app/result_codes.h"
#include "csv/codepage932.h"
#include "csv/field_encoding.h"
#include "csv/output_file.h"

namespace csv {
namespace {

// Whole lines are collected in gPending and written in blocks of about this size,
// so a large export costs a few system calls, not one per line.
constexpr std::size_t kWriteBlock = 64 * 1024;

OutputFile* gFile = nullptr;
// The line being built, already in code page 932: its first gLineSize bytes.
// The rest is room that fields are written into directly, so adding a field
// allocates nothing once the buffer has grown to the longest line.
std::string gLine;
std::size_t gLineSize = 0;
std::string gPending;            // converted lines not yet written
std::uint64_t gCommitted = 0;    // bytes of whole lines known to be in the file

// Writes gPending. On failure the file is cut back to the last whole line
// written before, so it never ends in part of a record.
bool WritePending() {
  if (gPending.empty()) return true;
  if (!gFile) return false;
  const bool written = OutputWrite(gFile, gPending);
  if (written) {
    gCommitted += gPending.size();
  } else {
    OutputTruncate(gFile, gCommitted);
  }
  gPending.clear();
  return written;
}

// Room for `bytes` more bytes after the line; where they go.
char* LineRoom(std::size_t bytes) {
  if (gLine.size() - gLineSize < bytes) gLine.resize(std::max(2 * gLine.size(), gLineSize + bytes));
  return gLine.data() + gLineSize;
}

}  // namespace

int CsvOpen(const std::u16string& path) {
  // A file that an earlier failed export left open is let go first.
  if (gFile) OutputClose(gFile);
  gPending.clear();
  gCommitted = 0;
  gFile = OutputOpen(path);
  return gFile ? app::RC_OK : app::RC_FILE_OPEN_FAILED;
}

void CsvClearLine() { gLineSize = 0; }

void CsvAddField(std::u16string_view value) {
  char* const start = LineRoom(EncodedFieldRoom(value.size()) + 1);
  char* out = start;
  if (gLineSize != 0) *out++ = ',';
  if (value.empty()) {
    // About half of a record's fields are empty: two quotes, no conversion.
    out[0] = '"';
    out[1] = '"';
    out += 2;
  } else {
    out = EncodeFieldTo(value, out);
  }
  gLineSize += static_cast<std::size_t>(out - start);
}

int CsvWriteLine() {
  if (!gFile) return app::RC_FILE_WRITE_FAILED;
  gPending.append(gLine.data(), gLineSize);
  gPending += "\r\n";
  if (gPending.size() >= kWriteBlock && !WritePending()) return app::RC_FILE_WRITE_FAILED;
  return app::RC_OK;
}

int CsvClose() {
  if (!gFile) return app::RC_FILE_CLOSE_FAILED;
  const bool written = WritePending();
  const bool closed = OutputClose(gFile);
  gFile = nullptr;
  return written && closed ? app::RC_OK : app::RC_FILE_CLOSE_FAILED;
}

void CsvFlush() {
  if (gFile) WritePending();
}

std::string_view CsvLineBytes() { return std::string_view(gLine.data(), gLineSize); }

std::u16string CsvLine() { return cp932::Decode(CsvLineBytes()); }

}  // namespace csv
