// Servers the CardDAV tests talk to, each a process of its own on 127.0.0.1:
// Radicale (a real CardDAV server) with its own storage, configuration and
// user file, and the tests' own stub (dav_stub.py). A server is stopped by
// its process ID when its object goes, however the test ends.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace davtest {

// The Python that has Debian's Radicale package.
inline constexpr const char* kSystemPython = "/usr/bin/python3";

// A TCP port on 127.0.0.1 that nothing listened on a moment ago.
int FreePort();

// True when `python -c "import radicale"` succeeds.
bool RadicaleInstalled();

class ServerProcess {
 public:
  // Starts `argv` and waits (at most 15 s) until 127.0.0.1:`port` accepts a
  // connection; ready() says whether it did.
  ServerProcess(const std::vector<std::string>& argv, int port);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool ready() const { return ready_; }
  // SIGTERM, then SIGKILL after 5 s; waits for the process.
  void Stop();

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

// The argument vector that runs Radicale on `port` with the configuration
// written under `dir` (storage and the user `user` with `password`, kept in
// a plain htpasswd file).
std::vector<std::string> RadicaleCommand(const std::filesystem::path& dir, int port, const std::string& user,
                                         const std::string& password);

}  // namespace davtest

// Skips a test when Radicale is not installed (under CI, where .ci/run
// installs it, that is a failure).
#define REQUIRE_RADICALE()                                                               \
  if (!::davtest::RadicaleInstalled()) {                                                 \
    if (std::getenv("CI")) FAIL() << "python3-radicale is not installed";                \
    GTEST_SKIP() << "python3-radicale is not installed (apt-get install python3-radicale)"; \
  }
