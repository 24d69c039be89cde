// Built for the Windows GUI subsystem and never creating a window, so that a
// script or scheduled task starts it without a console appearing.
#include <windows.h>

#include "app/run_sequence.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { app::Main(); }
