#include "outlook/error_numbers.h"
#include "outlook/object_model.h"

namespace om {
namespace {

// No contact store is reachable on this platform yet.
Handle CreateUnavailable(std::u16string_view) { throw ObjectModelError(kClassNotRegistered); }

}  // namespace

ObjectFactory PlatformObjectFactory() { return CreateUnavailable; }

}  // namespace om
