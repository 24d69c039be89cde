// The stand-alone contact store: an object model in Outlook's shape over a
// profile of vCard folders, for systems where Outlook is not at hand (and on
// Windows when CONTACT_EXPORT_PROFILE is set).
#pragma once

#include "om/object_model.h"

namespace om {

// The application object ("Outlook.Application") over the profile named by
// CONTACT_EXPORT_PROFILE, else $XDG_DATA_HOME/contact-export/profile, else
// ~/.local/share/contact-export/profile. Throws ObjectModelError when the
// profile does not exist or cannot be opened.
Handle CreateStandaloneApplication();

}  // namespace om
