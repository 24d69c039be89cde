#include <windows.h>

#include "app/create_object.h"
#include "om/com_object_model_win32.h"
#include "store/standalone_store.h"

namespace app {
namespace {

// CONTACT_EXPORT_PROFILE names a stand-alone profile: for machines without
// Outlook, and to compare the output of this build with the others.
bool StandaloneProfileRequested() {
  wchar_t first[2];
  return GetEnvironmentVariableW(L"CONTACT_EXPORT_PROFILE", first, 2) > 0;
}

}  // namespace

om::Handle CreatePlatformObject(std::u16string_view progId) {
  if (StandaloneProfileRequested()) return om::CreateStandaloneApplication();
  // Otherwise the user's running (or startable) Outlook through COM.
  return om::CreateComObject(progId);
}

}  // namespace app
