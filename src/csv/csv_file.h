// The output file and the line being built. Calling order: CsvOpen once; then
// any number of CsvClearLine, CsvAddField..., CsvWriteLine; then CsvClose
// once. Each file procedure traps its own failures and returns a result code.
#pragma once

#include <string>
#include <string_view>

namespace csv {

// Creates or truncates `path`: 0, or 52 when it cannot be opened.
int CsvOpen(const std::u16string& path);

// Opens no file: lines are built and accepted as CsvWriteLine would accept
// them, then dropped, and closing succeeds. For the check, which runs the
// export's own record code without writing anything. 0.
int CsvOpenNowhere();

void CsvClearLine();

// Appends one field: a comma before all but the first, then the value with
// its line breaks flattened, quoted, converted to code page 932 as it is added.
void CsvAddField(std::u16string_view value);

// Writes the line and CR LF: 0, or 53 when writing failed. The line stays as
// it is. A failed write leaves the file holding whole lines only.
int CsvWriteLine();

// Writes out what is buffered and closes the file: 0, or 54.
int CsvClose();

// Writes out what is buffered without closing: every line CsvWriteLine
// accepted is in the file afterwards, unless the disk refuses it. Called before
// the process ends on the paths that leave the file open.
void CsvFlush();

// The line being built: its code page 932 bytes, and those read back as text
// (for tests).
std::string_view CsvLineBytes();
std::u16string CsvLine();

}  // namespace csv
