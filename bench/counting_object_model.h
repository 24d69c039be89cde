// An object-model wrapper that counts calls: every object it hands out
// forwards Get and TypeName to the object it wraps and counts the call, and
// every object a call returns comes back wrapped too, so the counts cover the
// whole run from the application object down to the items.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "om/object_model.h"

namespace bench {

struct CallCounts {
  std::uint64_t total = 0;  // Get and TypeName calls, failed ones included
  std::uint64_t failed = 0;
  // Calls per member, by lower-case member name ("typename" for TypeName).
  std::map<std::string, std::uint64_t> byMember;
};

// `inner` behind a counting wrapper; nothing stays nothing.
om::Handle WrapCounting(om::Handle inner);

// Installs an object factory that creates objects with the platform's own
// factory and wraps them.
void InstallCountingFactory();

const CallCounts& Counts();
void ResetCounts();

}  // namespace bench
