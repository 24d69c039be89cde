#include "store/pst/pst_open.h"

namespace pst {

bool OpenLibpffFile(libpff_file_t* file, const std::string& path, libpff_error_t** error) {
  return libpff_file_open(file, path.c_str(), LIBPFF_OPEN_READ, error) == 1;
}

}  // namespace pst
