// Running the built program as a process from tests. Each test process runs
// its own copy of the program file: the single-instance lock belongs to the
// executable's path, so tests running in parallel never see each other as a
// second instance.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testprogram {

struct Outcome {
  int exitCode = -1;  // 128 + signal number when killed by a signal
  double seconds = 0;
  std::string standardOutput;  // only from RunProgramIn
};

// The path of this test process's copy of the program.
const std::string& ProgramPath();

// Runs the program with `args`; `environment` entries are set (an empty
// value unsets the variable). CONTACT_EXPORT_PROFILE is unset unless given.
Outcome RunProgram(const std::vector<std::string>& args,
            const std::map<std::string, std::string>& environment = {});

// RunProgram with `directory` as the working directory, keeping what the
// program writes to standard output.
Outcome RunProgramIn(const std::string& directory, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& environment = {});

// Runs contact-export-check (the built one: it takes no lock) with no
// argument, keeping its standard output.
Outcome RunCheck(const std::map<std::string, std::string>& environment);

}  // namespace testprogram
