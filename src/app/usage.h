// What the program says about itself: `contact-export --help` and
// `contact-export --version`, each word alone as the whole command line.
#pragma once

#include <string>
#include <string_view>

namespace app {

// The text shown for a command line that asks for the usage or the version,
// lines ending in "\n"; empty for every other command line, which is an
// output path. Only the whole command line, exactly, asks: "./--help",
// "--help x" and " --help" are paths like any other.
std::string InformationText(std::u16string_view commandLine, std::string_view version);

// When the process's command line asks for the usage or the version: shows it
// (ProcessShowText) and ends the process with 0, before anything is locked,
// read or written. Returns otherwise.
void AnswerInformationRequest(std::string_view version);

// contact-export-check takes no argument: its usage for "--help" and for any
// other command line that is not empty, its version for "--version"; empty
// for the empty command line.
std::string CheckInformationText(std::u16string_view commandLine, std::string_view version);
// Answers a command line that is not empty (ending the process: 0 for
// "--help" and "--version", kCheckUsageError for anything else); returns
// for the empty one.
void AnswerCheckArguments(std::string_view version);
inline constexpr int kCheckUsageError = 2;

}  // namespace app
