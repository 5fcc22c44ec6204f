// Running another program with pipes: its standard input is given, its
// standard output and error are read back, both bounded, under a deadline.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ferry {

struct ChildRun {
  bool started = false;   // false: the program could not be started (`error` says why)
  bool timedOut = false;  // ended by force at the deadline
  bool cut = false;       // wrote more than the bound; ended by force
  int exitCode = -1;      // its exit status; -1 when it did not exit by itself
  std::string out;        // standard output, at most the bound
  std::string err;        // standard error, at most the bound
  std::string error;
};

// Runs `argv` (argv[0] looked up on PATH) with `input` on its standard input,
// then end of input. Waits until it exits; at `deadline`, or when either
// output passes `maxOutput` bytes, it is killed. The child's environment is
// the caller's.
ChildRun RunChild(const std::vector<std::string>& argv, std::string_view input, std::size_t maxOutput,
                  std::chrono::milliseconds deadline);

// A program whose standard output and standard error (one stream) are taken
// as it writes them, by polling from the caller's thread, so that a window can
// show them line by line; its standard input is empty. Destroying a child that
// still runs ends it by force.
class WatchedChild {
 public:
  WatchedChild();
  ~WatchedChild();
  WatchedChild(const WatchedChild&) = delete;
  WatchedChild& operator=(const WatchedChild&) = delete;

  // Starts `argv` (argv[0] looked up on PATH); false when it cannot be started,
  // with the reason in Error(). One program per object.
  bool Start(const std::vector<std::string>& argv);
  // Appends what it wrote since the last call, at most `most` bytes, without
  // waiting. False once it has ended and everything it wrote is taken.
  bool Poll(std::string& out, std::size_t most);
  // Ends it by force; Poll then reports the end.
  void Stop();
  // Its exit status once Poll returned false; -1 when it was ended by force.
  int ExitCode() const;
  const std::string& Error() const;

 private:
  struct Process;
  std::unique_ptr<Process> process_;
};

// Whether another computer's store is reached by running a program there over
// SSH (true on Linux); false where the system's own remote registry is used.
bool RemoteStoreOverSsh();

}  // namespace ferry
