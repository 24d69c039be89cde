#include "om/resume_next.h"

namespace om {
namespace {
// The last trapped failure as it was thrown: its reason is shared, so keeping
// it costs no copy of the text.
ObjectModelError gLastError{0};
}  // namespace

std::uint32_t ErrNumber() { return gLastError.number(); }
std::string_view ErrReason() { return gLastError.reason(); }
void ErrClear() { gLastError = ObjectModelError(0); }
void ErrSet(std::uint32_t number) { gLastError = ObjectModelError(number); }
void ErrSet(const ObjectModelError& failure) { gLastError = failure; }

}  // namespace om
