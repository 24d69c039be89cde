#include "csv/csv_file.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "om/result_codes.h"
#include "text/codepage932.h"
#include "csv/field_encoding.h"
#include "csv/output_file.h"
#include "csv/output_guard.h"

namespace csv {
namespace {

// Whole lines are collected in gPending and written in blocks of about this size,
// so a large export costs a few system calls, not one per line.
constexpr std::size_t kWriteBlock = 64 * 1024;

OutputFile* gFile = nullptr;
bool gNowhere = false;  // opened with CsvOpenNowhere: lines go nowhere
// The line being built, already in code page 932: its first gLineSize bytes.
// The rest is room that fields are written into directly, so adding a field
// allocates nothing once the buffer has grown to the longest line.
std::string gLine;
std::size_t gLineSize = 0;
std::string gPending;            // converted lines not yet written
std::uint64_t gCommitted = 0;    // bytes of whole lines known to be in the file

// After a stop request the record that was going out when it came is made
// whole: a file is cut back to the end of the last whole line in it, and
// where nothing can be cut back (a pipe) the rest of that one line is
// written. `written` bytes of gPending went out.
void EndWithWholeRecord(std::size_t written) {
  // Values never hold CR or LF and code page 932 uses neither as a second
  // byte, so CR LF is only ever a line end.
  const std::size_t lastEnd = written < 2 ? std::string::npos : gPending.rfind("\r\n", written - 2);
  const std::size_t whole = lastEnd == std::string::npos ? 0 : lastEnd + 2;
  if (whole == written) {
    gCommitted += written;
  } else if (OutputTruncate(gFile, gCommitted + whole)) {
    gCommitted += whole;
  } else {
    const std::size_t lineEnd = gPending.find("\r\n", written - 1) + 2;
    std::size_t rest = 0;
    OutputWrite(gFile, std::string_view(gPending).substr(written, lineEnd - written), rest, false);
    gCommitted += written + rest;
  }
}

// Writes gPending. On failure the file is cut back to the last whole line
// written before, so it never ends in part of a record. Once a stop has been
// requested nothing more is written.
bool WritePending() {
  if (gPending.empty()) return true;
  if (!gFile || StopRequested()) {
    gPending.clear();
    return false;
  }
  std::size_t written = 0;
  const WriteEnd end = OutputWrite(gFile, gPending, written, true);
  if (end == WriteEnd::kDone) {
    gCommitted += gPending.size();
  } else if (end == WriteEnd::kStopped) {
    EndWithWholeRecord(written);
  } else {
    OutputTruncate(gFile, gCommitted);
  }
  gPending.clear();
  return end == WriteEnd::kDone;
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
  gNowhere = false;
  gFile = OutputOpen(path);
  return gFile ? om::RC_OK : om::RC_FILE_OPEN_FAILED;
}

int CsvOpenNowhere() {
  if (gFile) OutputClose(gFile);
  gFile = nullptr;
  gPending.clear();
  gCommitted = 0;
  gNowhere = true;
  return om::RC_OK;
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
  if (gNowhere && !StopRequested()) return om::RC_OK;
  if (!gFile || StopRequested()) {
    gPending.clear();
    return om::RC_FILE_WRITE_FAILED;
  }
  gPending.append(gLine.data(), gLineSize);
  gPending += "\r\n";
  if (gPending.size() >= kWriteBlock && !WritePending()) return om::RC_FILE_WRITE_FAILED;
  return om::RC_OK;
}

int CsvClose() {
  if (std::exchange(gNowhere, false)) return om::RC_OK;
  if (!gFile) return om::RC_FILE_CLOSE_FAILED;
  const bool written = WritePending();
  const bool closed = OutputClose(gFile);
  gFile = nullptr;
  return written && closed ? om::RC_OK : om::RC_FILE_CLOSE_FAILED;
}

void CsvFlush() {
  if (gFile) WritePending();
}

std::string_view CsvLineBytes() { return std::string_view(gLine.data(), gLineSize); }

std::u16string CsvLine() { return cp932::Decode(CsvLineBytes()); }

}  // namespace csv
