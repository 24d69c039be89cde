// Process services of the platform: the command line, the single-instance
// lock, text for whoever started the program, the pause and the immediate end
// of the process.
#pragma once

#include <string>
#include <string_view>

namespace app {

// Prepares the process for the run. On POSIX: closed standard descriptors are
// held on /dev/null; a write past the file size limit or to a pipe without a
// reader fails instead of killing the process; SIGTERM, SIGINT and SIGHUP ask
// the output to stop (csv::RequestStop) instead of killing it.
void ProcessStart();

// The program's argument text: on POSIX the arguments joined with single
// spaces (bytes that are not UTF-8 are kept as lone surrogates so that the
// path comes back byte for byte); on Windows the command line after the
// program's own name.
std::u16string ProcessCommandLine();

// Takes the lock that marks this program as running for this user. Returns
// false when another instance holds it. The lock is held until the process
// ends, however it ends.
bool ProcessAcquireSingleInstance();

// Shows `text` (lines ending in "\n") to whoever started the program: its
// standard output. On Windows, where the program has no console of its own,
// a standard output the caller gave is used, else the console of the parent
// process when it has one, else the text is shown nowhere. `text` is UTF-8;
// on Windows a console gets it as UTF-16 characters, a file or a pipe as
// UTF-8 bytes with CR LF line ends. A failed write is not reported.
void ProcessShowText(std::string_view text);

void ProcessSleep(unsigned milliseconds);

// Ends the process at once with `exitCode`; no destructors or static teardown run.
[[noreturn]] void ProcessEnd(int exitCode);

}  // namespace app
