#include "store/pst/pst_open.h"

namespace pst {

bool OpenLibpffFile(libpff_file_t* file, const std::string& path) {
  return libpff_file_open(file, path.c_str(), LIBPFF_OPEN_READ, nullptr) == 1;
}

}  // namespace pst
