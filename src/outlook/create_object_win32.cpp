#include "outlook/com_object_model_win32.h"
#include "outlook/object_model.h"

namespace om {

// Windows serves the object model through COM: "Outlook.Application" is the
// user's running (or startable) Outlook.
ObjectFactory PlatformObjectFactory() { return CreateComObject; }

}  // namespace om
