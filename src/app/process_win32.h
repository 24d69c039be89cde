// The pure parts of the Windows process services, apart so that tests can
// check them without starting processes.
#pragma once

#include <string>
#include <string_view>

namespace app {

// The output path in a Windows command line: what follows the program's own
// name (quoted, or up to the first blank) and the blanks after it, with every
// double quote removed. A Windows path cannot contain a double quote, so
// removing them turns a quoted path with spaces into that path.
std::u16string ArgumentText(std::u16string_view commandLine);

// The name of the mutex that marks a running instance: "Local\" (this
// session) and the executable's file name from `modulePath`, in lower case
// because Windows file names ignore case.
std::u16string InstanceMutexName(std::u16string_view modulePath);

}  // namespace app
