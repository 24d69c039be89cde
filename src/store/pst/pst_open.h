// libpff opening a data file by the store's path (the platform's bytes on
// POSIX, UTF-8 on Windows). One half per platform (pst_open_posix.cpp,
// pst_open_win32.cpp): on Windows libpff's narrow call would read the path in
// the ANSI code page, so a name outside it would not open.
#pragma once

#include <libpff.h>

#include <string>

namespace pst {

bool OpenLibpffFile(libpff_file_t* file, const std::string& path, libpff_error_t** error);

}  // namespace pst
