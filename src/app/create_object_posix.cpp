#include "om/error_numbers.h"
#include "om/object_model.h"
#include "store/standalone_store.h"

namespace om {
namespace {

bool IsOutlookApplication(std::u16string_view progId) {
  constexpr std::u16string_view kProgId = u"outlook.application";
  if (progId.size() != kProgId.size()) return false;
  for (std::size_t i = 0; i < progId.size(); ++i) {
    char16_t c = progId[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    if (c != kProgId[i]) return false;
  }
  return true;
}

// Without Outlook, "Outlook.Application" is the stand-alone store over the
// user's profile of vCard folders; nothing else is registered.
Handle CreateOnPosix(std::u16string_view progId) {
  if (!IsOutlookApplication(progId)) throw ObjectModelError(kClassNotRegistered);
  return CreateStandaloneApplication();
}

}  // namespace

ObjectFactory PlatformObjectFactory() { return CreateOnPosix; }

}  // namespace om
