// Built for the Windows GUI subsystem and never creating a window, so that a
// script or scheduled task starts it without a console appearing.
#include <windows.h>

#include "app/run_sequence.h"
#include "app/usage.h"

// CONTACT_EXPORT_VERSION is the project's version, given to this file alone
// by the build.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  app::AnswerInformationRequest(CONTACT_EXPORT_VERSION);
  app::Main();
}
