#include "om/resume_next.h"

namespace om {
namespace {
std::uint32_t gErrNumber = 0;
}  // namespace

std::uint32_t ErrNumber() { return gErrNumber; }
void ErrClear() { gErrNumber = 0; }
void ErrSet(std::uint32_t number) { gErrNumber = number; }

}  // namespace om
