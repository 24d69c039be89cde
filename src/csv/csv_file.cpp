#include "csv/csv_file.h"

#include <cstdint>

#include "app/result_codes.h"
#include "csv/codepage932.h"
#include "csv/field_encoding.h"
#include "csv/output_file.h"

namespace csv {
namespace {

// Lines are converted into gPending and written in blocks of about this size,
// so a large export costs a few system calls, not one per line.
constexpr std::size_t kWriteBlock = 64 * 1024;

OutputFile* gFile = nullptr;
std::u16string gLine;
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

}  // namespace

int CsvOpen(const std::u16string& path) {
  // A file that an earlier failed export left open is let go first.
  if (gFile) OutputClose(gFile);
  gPending.clear();
  gCommitted = 0;
  gFile = OutputOpen(path);
  return gFile ? app::RC_OK : app::RC_FILE_OPEN_FAILED;
}

void CsvClearLine() { gLine.clear(); }

void CsvAddField(std::u16string_view value) {
  if (!gLine.empty()) gLine += u',';
  AppendEncodedField(value, gLine);
}

int CsvWriteLine() {
  if (!gFile) return app::RC_FILE_WRITE_FAILED;
  cp932::Encode(gLine, gPending);
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

const std::u16string& CsvLine() { return gLine; }

}  // namespace csv
