#include "app/process.h"
#include "app/process_posix.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "text/native_path.h"
#include "csv/output_guard.h"

namespace app {
namespace {

bool gHoldsLock = false;
pthread_t gMainThread;

// Only async-signal-safe calls. The output is written by the main thread: a
// signal that lands on the card decoder's thread is passed on to it, so that
// a write waiting there is interrupted too.
void OnStopSignal(int number) {
  const int savedErrno = errno;
  csv::RequestStop();
  if (!pthread_equal(pthread_self(), gMainThread)) pthread_kill(gMainThread, number);
  errno = savedErrno;
}

std::string ExecutablePath() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string("contact-export");
}

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
  return hash;
}

}  // namespace

int BindInstanceLock(const std::string& executablePath) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -2;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // sun_path[0] == 0 selects the abstract namespace; the name carries the user
  // and a hash of the executable's path so that each program file of each
  // user has its own lock.
  char name[96];
  std::snprintf(name, sizeof name, "contact-export/%u/%016llx", static_cast<unsigned>(getuid()),
                static_cast<unsigned long long>(Fnv1a(executablePath)));
  const std::size_t length = std::strlen(name);
  std::memcpy(address.sun_path + 1, name, length);
  const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
    const int error = errno;
    close(fd);
    return error == EADDRINUSE ? -1 : -2;
  }
  return fd;
}

std::u16string ProcessCommandLine() {
  // The arguments as the kernel holds them, NUL-separated; the first is the
  // program's own name.
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string joined;
  std::size_t start = all.find('\0');
  bool first = true;
  while (start != std::string::npos && start + 1 < all.size()) {
    const std::size_t end = all.find('\0', start + 1);
    if (!first) joined += ' ';
    joined.append(all, start + 1, (end == std::string::npos ? all.size() : end) - start - 1);
    first = false;
    start = end;
  }
  return text::PathTextFromBytes(joined);
}

bool ProcessAcquireSingleInstance() {
  if (gHoldsLock) return true;
  const int fd = BindInstanceLock(ExecutablePath());
  if (fd == -1) return false;
  // fd == -2: no Unix socket could be made at all, so there is no way to tell;
  // the program runs rather than refusing forever.
  gHoldsLock = true;  // the socket stays open until the process ends
  return true;
}

void ProcessStart() {
  // A program started with standard descriptors closed would get the output
  // file as one of them, and whatever the runtime writes to stderr as its
  // last words would land in the CSV. /dev/null takes any that are missing.
  for (int fd = 0; fd <= 2; ++fd) {
    // The lower ones are open by now, so the open takes the lowest free one: fd.
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);
  }
  // Past the file size limit a write must fail (and the export report it),
  // not kill the process before it can say so; so must a write to a pipe
  // whose reader has gone.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  // A time limit, Ctrl-C or a closed terminal ends the export after the
  // record being written, through the normal end of the run (56). Without
  // SA_RESTART, so that a write waiting on a slow reader is interrupted.
  gMainThread = pthread_self();
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    // A signal ignored by whoever started the program (nohup) stays ignored.
    struct sigaction inherited {};
    if (sigaction(number, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
    sigaction(number, &action, nullptr);
  }
}

void ProcessShowText(std::string_view text) {
  // A reader that has gone (`contact-export --help | head -1`) ends the
  // writing, not the process.
  std::signal(SIGPIPE, SIG_IGN);
  while (!text.empty()) {
    const ssize_t n = write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

void ProcessSleep(unsigned milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void ProcessEnd(int exitCode) { _exit(exitCode); }

}  // namespace app
