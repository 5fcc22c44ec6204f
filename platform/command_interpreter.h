// Runs a command line through the system's command interpreter and waits for
// it, at most for a time-out; the command gets none of the service's open
// descriptors or handles, and the service's stop ends every command running.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace ferry {

// The status answered for a command ended after its time-out or by a stop.
inline constexpr int kCommandEnded = -2;

// What RunCommandInterpreter(command) uses: the time-out and who is told that
// a command was ended after it (the service reports an event).
struct CommandPolicy {
  std::chrono::milliseconds timeout{std::chrono::seconds(300)};
  std::function<void(const std::string& command, std::chrono::milliseconds timeout)> timedOut;
};
void SetCommandPolicy(CommandPolicy policy);
CommandPolicy CurrentCommandPolicy();

// Runs `command` (/bin/sh -c in a process group of its own on Linux, the
// Windows command interpreter in a job object on Windows) and returns its exit
// status, -1 when it could not be started, or kCommandEnded when it was still
// running after `timeout` (or at a stop): then the whole process group (job)
// has been ended. It leaves the caller's signal handling alone, so a stop
// request reaches the service while the command runs.
int RunCommandInterpreter(const std::string& command, std::chrono::milliseconds timeout);
// The same with the current policy's time-out, telling the policy when it ends the command.
int RunCommandInterpreter(const std::string& command);

// Ends every command running now and every one started later (the service's stop).
void EndRunningCommands();
// Lets commands run again after EndRunningCommands (tests, a new loop).
void AllowCommands();

}  // namespace ferry
