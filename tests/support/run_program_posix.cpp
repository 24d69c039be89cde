#include "support/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

namespace {

// `directory` empty: the test's own; `output` null: standard output is the test's.
Outcome Run(const std::string& program, const std::string& directory, const std::vector<std::string>& args,
            const std::map<std::string, std::string>& environment, std::string* output) {
  int pipeEnds[2] = {-1, -1};
  if (output != nullptr && pipe2(pipeEnds, O_CLOEXEC) != 0) return {};
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (output != nullptr) {
      dup2(pipeEnds[1], STDOUT_FILENO);
      close(pipeEnds[0]);
      close(pipeEnds[1]);
    }
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(127);
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
  if (output != nullptr) {
    close(pipeEnds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
      if (n > 0) output->append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeEnds[0]);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome outcome;
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

}  // namespace

Outcome RunProgram(const std::vector<std::string>& args,
            const std::map<std::string, std::string>& environment) {
  return Run(ProgramPath(), {}, args, environment, nullptr);
}

Outcome RunProgramIn(const std::string& directory, const std::vector<std::string>& args,
                     const std::map<std::string, std::string>& environment) {
  std::string output;
  Outcome outcome = Run(ProgramPath(), directory, args, environment, &output);
  outcome.standardOutput = std::move(output);
  return outcome;
}

Outcome RunCheck(const std::map<std::string, std::string>& environment) {
  std::string output;
  Outcome outcome = Run(CONTACT_EXPORT_CHECK_BINARY, {}, {}, environment, &output);
  outcome.standardOutput = std::move(output);
  return outcome;
}

}  // namespace testprogram
