// SIGINT and SIGTERM through a self-pipe: the signal handler only writes the
// signal number into a pipe (async-signal-safe); a watcher thread reads it and
// calls the installed handler in ordinary thread context. Signal masks stay as
// they are, so programs started by the service get the usual dispositions.
#include "platform/console_control.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <thread>

namespace ferry {
namespace {

int gPipe[2] = {-1, -1};
std::once_flag gStarted;
bool gReady = false;
std::mutex gMutex;
ControlRequestHandler gHandler;

void OnSignal(int signal) {
  int saved = errno;
  unsigned char number = static_cast<unsigned char>(signal);
  ssize_t written = write(gPipe[1], &number, 1);
  (void)written;
  errno = saved;
}

void Watch() {
  for (;;) {
    unsigned char number = 0;
    ssize_t n = read(gPipe[0], &number, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n != 1) return;
    ControlRequest request = number == SIGTERM ? ControlRequest::Terminate : ControlRequest::Interrupt;
    ControlRequestHandler handler;
    {
      std::lock_guard lock(gMutex);
      handler = gHandler;
    }
    if (handler && handler(request)) continue;
    // Not handled: the default action, as for a process without a handler.
    std::signal(number, SIG_DFL);
    std::raise(number);
  }
}

bool Start() {
  if (pipe2(gPipe, O_CLOEXEC) != 0) return false;
  std::thread(Watch).detach();
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace

bool SetControlRequestHandler(ControlRequestHandler handler) {
  {
    std::lock_guard lock(gMutex);
    gHandler = std::move(handler);
  }
  std::call_once(gStarted, [] { gReady = Start(); });
  return gReady;
}

}  // namespace ferry
