#include "app/create_object.h"

#include "om/error_numbers.h"
#include "store/standalone_store.h"
#include "text/ascii_case.h"

namespace app {

// Without Outlook, "Outlook.Application" is the stand-alone store over the
// user's profile of vCard folders; nothing else is registered.
om::Handle CreatePlatformObject(std::u16string_view progId) {
  if (!text::EqualsNoCase(progId, u"outlook.application")) {
    throw om::ObjectModelError(om::kClassNotRegistered);
  }
  return om::CreateStandaloneApplication();
}

}  // namespace app
