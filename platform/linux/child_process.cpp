// posix_spawnp with three pipes, and one poll loop that feeds the input and
// drains both outputs so that neither side can block the other.
#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace ferry {
namespace {

class Pipe {
 public:
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  bool Open() { return pipe2(fd_, O_CLOEXEC) == 0; }
  int read() const { return fd_[0]; }
  int write() const { return fd_[1]; }
  void CloseRead() { Close(fd_[0]); }
  void CloseWrite() { Close(fd_[1]); }

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  int fd_[2] = {-1, -1};
};

// Blocks SIGPIPE for this thread while the child runs: a child that ends
// before reading all its input must not end the caller. A SIGPIPE raised
// meanwhile is taken before the old mask comes back.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~SigpipeBlock() {
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE) == 1) {
      sigset_t set;
      sigemptyset(&set);
      sigaddset(&set, SIGPIPE);
      timespec zero{0, 0};
      sigtimedwait(&set, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  sigset_t old_;
};

}  // namespace

ChildRun RunChild(const std::vector<std::string>& argv, std::string_view input, std::size_t maxOutput,
                  std::chrono::milliseconds deadline) {
  ChildRun run;
  if (argv.empty()) {
    run.error = "no program given";
    return run;
  }
  Pipe in, out, err;
  if (!in.Open() || !out.Open() || !err.Open()) {
    run.error = std::string("pipe: ") + std::strerror(errno);
    return run;
  }
  SigpipeBlock block;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in.read(), 0);
  posix_spawn_file_actions_adddup2(&actions, out.write(), 1);
  posix_spawn_file_actions_adddup2(&actions, err.write(), 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    run.error = argv[0] + ": " + std::strerror(rc);
    return run;
  }
  run.started = true;
  in.CloseRead();
  out.CloseWrite();
  err.CloseWrite();
  fcntl(in.write(), F_SETFL, O_NONBLOCK);

  const auto end = std::chrono::steady_clock::now() + deadline;
  std::size_t written = 0;
  if (input.empty()) in.CloseWrite();
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run.timedOut = true;
      break;
    }
    pollfd fds[3];
    nfds_t count = 0;
    int outAt = -1, errAt = -1, inAt = -1;
    if (outOpen) fds[outAt = static_cast<int>(count++)] = {out.read(), POLLIN, 0};
    if (errOpen) fds[errAt = static_cast<int>(count++)] = {err.read(), POLLIN, 0};
    if (in.write() >= 0) fds[inAt = static_cast<int>(count++)] = {in.write(), POLLOUT, 0};
    int ready = poll(fds, count, static_cast<int>(std::min<long long>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) {
      run.error = std::string("poll: ") + std::strerror(errno);
      break;
    }
    if (ready <= 0) continue;
    auto drain = [&](int at, int fd, std::string& into, bool& open) {
      if (at < 0 || fds[at].revents == 0) return;
      char buffer[65536];
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) {
        into.append(buffer, static_cast<std::size_t>(n));
        if (into.size() > maxOutput) {
          into.resize(maxOutput);
          run.cut = true;
        }
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        open = false;
      }
    };
    drain(outAt, out.read(), run.out, outOpen);
    drain(errAt, err.read(), run.err, errOpen);
    if (run.cut) break;
    if (inAt >= 0 && fds[inAt].revents != 0) {
      ssize_t n = ::write(in.write(), input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      // The child stopped reading (EPIPE): the rest of the input is not wanted.
      if (written == input.size() || (n < 0 && errno != EAGAIN && errno != EINTR)) in.CloseWrite();
    }
  }
  in.CloseWrite();
  if (run.timedOut || run.cut || !run.error.empty()) kill(pid, SIGKILL);
  int status = 0;
  // Its outputs are closed; it still has until the deadline to exit.
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) break;
    if (done == 0 && std::chrono::steady_clock::now() >= end) {
      run.timedOut = true;
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      break;
    }
    if (done == 0) usleep(10000);
  }
  if (!run.timedOut && !run.cut && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

struct WatchedChild::Process {
  pid_t pid = -1;
  int output = -1;  // the read end of the pipe both outputs write into
  bool reaped = false;
  bool stopped = false;
  bool ended = false;
  int exitCode = -1;
  std::string error;

  // Whether it has exited (and is reaped), without waiting.
  bool Exited() {
    if (pid < 0 || reaped) return true;
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR)) return false;
    reaped = true;
    if (done == pid && WIFEXITED(status)) exitCode = WEXITSTATUS(status);
    return true;
  }
  void CloseOutput() {
    if (output >= 0) ::close(output);
    output = -1;
  }
};

WatchedChild::WatchedChild() : process_(std::make_unique<Process>()) {}

WatchedChild::~WatchedChild() {
  if (process_->pid >= 0 && !process_->Exited()) {
    kill(process_->pid, SIGKILL);
    int status = 0;
    while (waitpid(process_->pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  process_->CloseOutput();
}

bool WatchedChild::Start(const std::vector<std::string>& argv) {
  Process& p = *process_;
  if (p.pid >= 0 || argv.empty()) {
    p.error = argv.empty() ? "no program given" : "already started";
    return false;
  }
  Pipe out;
  if (!out.Open()) {
    p.error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.write(), 1);
  posix_spawn_file_actions_adddup2(&actions, out.write(), 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int rc = posix_spawnp(&p.pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    p.pid = -1;
    p.error = argv[0] + ": " + std::strerror(rc);
    return false;
  }
  out.CloseWrite();
  p.output = dup(out.read());
  fcntl(p.output, F_SETFL, O_NONBLOCK);
  fcntl(p.output, F_SETFD, FD_CLOEXEC);
  return true;
}

bool WatchedChild::Poll(std::string& out, std::size_t most) {
  Process& p = *process_;
  if (p.pid < 0 || p.ended) return false;
  // Whatever it wrote before it exited is in the pipe by now.
  const bool exited = p.Exited();
  std::size_t taken = 0;
  bool more = false;
  char buffer[4096];
  while (p.output >= 0) {
    if (taken == most) {
      more = true;
      break;
    }
    ssize_t n = ::read(p.output, buffer, std::min(sizeof buffer, most - taken));
    if (n > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
      taken += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n == 0 || errno != EAGAIN) p.CloseOutput();
      break;
    }
  }
  p.ended = exited && !more;
  return !p.ended;
}

void WatchedChild::Stop() {
  Process& p = *process_;
  if (p.pid < 0 || p.Exited()) return;
  p.stopped = true;
  kill(p.pid, SIGKILL);
}

int WatchedChild::ExitCode() const { return process_->stopped ? -1 : process_->exitCode; }

const std::string& WatchedChild::Error() const { return process_->error; }

bool RemoteStoreOverSsh() { return true; }

}  // namespace ferry
