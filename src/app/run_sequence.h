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

// contact-export-check: the export's own run with its records going nowhere,
// and the report of it (check_report.h) shown to the caller; ends the
// process with the result the export would have ended with.
[[noreturn]] void CheckMain();

// CheckMain without showing or ending: the report into `report`, the result
// returned.
int CheckSequence(std::string& report);

// 0 when both the application object and the "MAPI" namespace are held, 1 otherwise.
int ConnectOutlook();
void DisconnectOutlook();

// The pause between releasing the namespace and the application, the
// single-instance test and what "Outlook.Application" is. Tests that run the
// sequence inside their own process replace them, to count pauses instead of
// waiting, so that test processes running side by side do not take each other
// for a second instance, and to export an object model of their own. nullptr
// restores the process service (the platform's object factory).
using SleepFunction = void (*)(unsigned milliseconds);
void SetSleepFunction(SleepFunction sleep);
using InstanceCheck = bool (*)();
void SetInstanceCheck(InstanceCheck check);
void SetObjectFactory(om::ObjectFactory factory);
inline constexpr unsigned kDisconnectPauseMs = 500;

}  // namespace app
