// The run sequence: take the output path, refuse a second instance, attach to
// the contact store, export, detach, end with the result as exit code.
#pragma once

#include <string>

#include "om/object_model.h"

namespace app {

// The whole program; does not return.
[[noreturn]] void Main();

// Main without ending the process: the result that becomes the exit code.
int RunSequence(const std::u16string& commandLine);

// 0 when both the application object and the "MAPI" namespace are held, 1 otherwise.
int ConnectOutlook();
void DisconnectOutlook();

// The pause between releasing the namespace and the application, and the
// single-instance test. Tests that run the sequence inside their own process
// replace them, to count pauses instead of waiting and so that test processes
// running side by side do not take each other for a second instance. nullptr
// restores the process service.
using SleepFunction = void (*)(unsigned milliseconds);
void SetSleepFunction(SleepFunction sleep);
using InstanceCheck = bool (*)();
void SetInstanceCheck(InstanceCheck check);
inline constexpr unsigned kDisconnectPauseMs = 500;

}  // namespace app
