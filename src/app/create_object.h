// What "Outlook.Application" is on this platform: the stand-alone store, or
// Outlook through COM on Windows (create_object_posix.cpp / _win32.cpp).
#pragma once

#include <string_view>

#include "om/object_model.h"

namespace app {

// The platform's object factory (an om::ObjectFactory). Throws
// ObjectModelError for a program identifier that is not registered.
om::Handle CreatePlatformObject(std::u16string_view progId);

}  // namespace app
