#include <windows.h>

#include "om/com_object_model_win32.h"
#include "om/object_model.h"
#include "store/standalone_store.h"

namespace om {
namespace {

// CONTACT_EXPORT_PROFILE names a stand-alone profile: for machines without
// Outlook, and to compare the output of this build with the others.
bool StandaloneProfileRequested() {
  wchar_t first[2];
  return GetEnvironmentVariableW(L"CONTACT_EXPORT_PROFILE", first, 2) > 0;
}

Handle CreateApplication(std::u16string_view progId) {
  if (StandaloneProfileRequested()) return CreateStandaloneApplication();
  // Otherwise the user's running (or startable) Outlook through COM.
  return CreateComObject(progId);
}

}  // namespace

ObjectFactory PlatformObjectFactory() { return CreateApplication; }

}  // namespace om
