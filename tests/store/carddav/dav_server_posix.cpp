#include "store/carddav/dav_server_posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/test_files.h"

extern char** environ;

namespace davtest {
namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool Accepts(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const sockaddr_in address = Loopback(port);
  const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

pid_t Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
  pointers.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0) return -1;
  return pid;
}

}  // namespace

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool RadicaleInstalled() {
  static const bool installed = [] {
    const pid_t pid = Spawn({kSystemPython, "-c", "import radicale"});
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }();
  return installed;
}

ServerProcess::ServerProcess(const std::vector<std::string>& argv, int port) : pid_(Spawn(argv)) {
  for (int attempt = 0; pid_ > 0 && attempt < 300 && !ready_; ++attempt) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {  // it ended before listening
      pid_ = -1;
      break;
    }
    ready_ = Accepts(port);
    if (!ready_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

ServerProcess::~ServerProcess() { Stop(); }

void ServerProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::vector<std::string> RadicaleCommand(const std::filesystem::path& dir, int port, const std::string& user,
                                         const std::string& password) {
  testfiles::WriteBytes(dir / "users", user + ":" + password + "\n");
  testfiles::WriteBytes(dir / "config", "[server]\nhosts = 127.0.0.1:" + std::to_string(port) +
                                            "\n[auth]\ntype = htpasswd\nhtpasswd_filename = " +
                                            (dir / "users").string() +
                                            "\nhtpasswd_encryption = plain\n[storage]\nfilesystem_folder = " +
                                            (dir / "collections").string() + "\n[logging]\nlevel = warning\n");
  return {kSystemPython, "-m", "radicale", "--config", (dir / "config").string()};
}

}  // namespace davtest
