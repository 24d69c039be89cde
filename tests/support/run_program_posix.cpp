#include "support/run_program.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace testprogram {

const std::string& ProgramPath() {
  static const std::string path = [] {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("contact-export-bin-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto copy = dir / "contact-export";
    std::filesystem::copy_file(CONTACT_EXPORT_BINARY, copy,
                               std::filesystem::copy_options::overwrite_existing);
    // Removed when the test process ends.
    static const std::string keep = dir.string();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(keep, ignored);
    });
    return copy.string();
  }();
  return path;
}

Outcome RunProgram(const std::vector<std::string>& args,
            const std::map<std::string, std::string>& environment) {
  const std::string& program = ProgramPath();
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    unsetenv("CONTACT_EXPORT_PROFILE");
    for (const auto& [name, value] : environment) {
      if (value.empty()) {
        unsetenv(name.c_str());
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome outcome;
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

}  // namespace testprogram
