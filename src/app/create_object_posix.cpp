#include "om/error_numbers.h"
#include "om/object_model.h"
#include "store/standalone_store.h"
#include "text/ascii_case.h"

namespace om {
namespace {

// Without Outlook, "Outlook.Application" is the stand-alone store over the
// user's profile of vCard folders; nothing else is registered.
Handle CreateOnPosix(std::u16string_view progId) {
  if (!text::EqualsNoCase(progId, u"outlook.application")) throw ObjectModelError(kClassNotRegistered);
  return CreateStandaloneApplication();
}

}  // namespace

ObjectFactory PlatformObjectFactory() { return CreateOnPosix; }

}  // namespace om
