// POSIX details of the single-instance lock, shared with the tests that hold
// the lock of the built program themselves.
#pragma once

#include <string>

namespace app {

// Binds the lock for `executablePath` and this user: an abstract-namespace
// Unix socket, so nothing is created in the file system (no planted files or
// links in world-writable folders) and the kernel frees it when the process
// dies, however it dies. Returns the socket, or -1 when another process holds
// the lock; the socket must stay open for as long as the lock is wanted.
int BindInstanceLock(const std::string& executablePath);

}  // namespace app
