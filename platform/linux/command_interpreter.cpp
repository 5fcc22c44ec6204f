#include "platform/command_interpreter.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <mutex>
#include <set>
#include <thread>

extern char** environ;

namespace ferry {
namespace {

constexpr std::chrono::milliseconds kPollSlice{20};

std::mutex gGroupsMutex;
std::set<pid_t> gGroups;  // the process groups of the commands running
bool gEnded = false;

// Ends the group; the leader is reaped by its waiter.
void EndGroup(pid_t group) { ::kill(-group, SIGKILL); }

}  // namespace

int RunCommandInterpreter(const std::string& command, std::chrono::milliseconds timeout) {
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_init(&actions);
  // A group of its own (so the time-out ends the shell's children too), and no
  // descriptor of the service beyond standard input, output and error.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t child = 0;
  int spawned = 0;
  {
    // Registered under the lock, so a stop cannot pass between start and record.
    std::lock_guard lock(gGroupsMutex);
    spawned = gEnded ? -1
                     : posix_spawn(&child, "/bin/sh", &actions, &attributes, const_cast<char* const*>(argv), environ);
    if (spawned == 0) gGroups.insert(child);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) return -1;

  const auto deadline = std::chrono::steady_clock::now() + timeout;
  bool ended = false;
  int status = 0;
  for (;;) {
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) {
      status = -1;
      break;
    }
    bool stop = false;
    {
      std::lock_guard lock(gGroupsMutex);
      stop = gEnded;
    }
    if (!ended && (stop || std::chrono::steady_clock::now() >= deadline)) {
      EndGroup(child);
      ended = true;
    }
    std::this_thread::sleep_for(kPollSlice);
  }
  {
    std::lock_guard lock(gGroupsMutex);
    gGroups.erase(child);
    // A stop may have ended the group before this waiter looked.
    if (gEnded && status >= 0 && WIFSIGNALED(status)) ended = true;
  }
  if (ended) return kCommandEnded;
  return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void EndRunningCommands() {
  std::lock_guard lock(gGroupsMutex);
  gEnded = true;
  for (pid_t group : gGroups) EndGroup(group);
}

void AllowCommands() {
  std::lock_guard lock(gGroupsMutex);
  gEnded = false;
}

}  // namespace ferry
