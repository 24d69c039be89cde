// Where the stand-alone store's profile is, and which stores it holds.
#pragma once

#include <optional>
#include <string>

#include "store/store_sources.h"

namespace store {

// Reads an environment variable; nothing when it is unset or empty.
using EnvironmentLookup = std::optional<std::string> (*)(const char* name);

// The profile's path: $CONTACT_EXPORT_PROFILE, else
// $XDG_DATA_HOME/contact-export/profile, else
// $HOME/.local/share/contact-export/profile. A relative XDG_DATA_HOME is
// ignored, as the XDG base directory rules ask. Nothing when neither the
// profile variable nor a home is set.
std::optional<std::string> ProfileLocation(EnvironmentLookup lookup);

// The stores of the profile at `path`, the default store first. Throws
// ObjectModelError(MAPI_E_NOT_FOUND) when the profile does not exist or
// cannot be read. Only reads: nothing under the profile is touched.
StoreList OpenProfile(const std::string& path);

// Records the profile at `path`, where each store and card file it holds
// directly leads, and where each store held in its folders of vCard files
// (at any depth) leads, as places the output file may not be or lie inside
// (in place of what was recorded before): an export never overwrites what it
// reads.
void ProtectProfileFromOutput(const std::string& path);

}  // namespace store
