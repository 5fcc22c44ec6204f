// Running a program with pipes: what goes in comes out whole, and a program
// that writes too much, never ends or does not exist cannot hold the caller.
// A watched program's output is taken as it is written, before it ends.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"

namespace ferry {
namespace {

using std::chrono::milliseconds;

struct ChildCase {
  const char* name;
  std::vector<std::string> argv;
  std::string input;
  std::size_t maxOutput;
  milliseconds deadline;
  // Expected:
  bool started;
  int exitCode;
  bool timedOut;
  bool cut;
  std::size_t outSize;
  std::string err;
};

// Larger than any pipe buffer in both directions: a caller that wrote all
// input before reading would block for ever.
const std::string kBig = [] {
  std::string text;
  for (int i = 0; text.size() < 3 * 1024 * 1024; ++i) text += std::to_string(i) + "\n";
  return text;
}();

TEST(ChildProcessTest, FeedsReadsAndBoundsTheChild) {
  const std::vector<ChildCase> cases = {
      {"big input echoed while it is written", {"cat"}, kBig, 8 * 1024 * 1024, milliseconds(60000), true, 0, false,
       false, kBig.size(), ""},
      {"exit status and standard error apart from output",
       {"sh", "-c", "printf out; printf 'went wrong' >&2; exit 3"}, "", 1024, milliseconds(60000), true, 3, false,
       false, 3, "went wrong"},
      {"child that stops reading its input early", {"head", "-c", "10"}, kBig, 1024, milliseconds(60000), true, 0,
       false, false, 10, ""},
      {"too much output is cut and the child ended", {"yes"}, "", 100000, milliseconds(60000), true, -1, false, true,
       100000, ""},
      {"a child that never ends is ended at the deadline", {"sleep", "600"}, "", 1024, milliseconds(300), true, -1,
       true, false, 0, ""},
      {"a child that closes its outputs but stays is ended at the deadline",
       {"sh", "-c", "exec >&- 2>&-; sleep 600"}, "", 1024, milliseconds(300), true, -1, true, false, 0, ""},
      {"a missing program is not started", {"/nonexistent/program"}, "", 1024, milliseconds(1000), false, -1, false,
       false, 0, ""},
  };
  for (const ChildCase& c : cases) {
    SCOPED_TRACE(c.name);
    ChildRun run = RunChild(c.argv, c.input, c.maxOutput, c.deadline);
    EXPECT_EQ(run.started, c.started) << run.error;
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.timedOut, c.timedOut);
    EXPECT_EQ(run.cut, c.cut);
    EXPECT_EQ(run.out.size(), c.outSize);
    EXPECT_EQ(run.err, c.err);
    if (c.started && c.outSize == c.input.size() && !c.input.empty()) {
      EXPECT_TRUE(run.out == c.input);
    }
    if (!c.started) {
      EXPECT_FALSE(run.error.empty());
    }
  }
}

// Polls until the child has ended (at most a minute), each poll taking at most
// `most` bytes; the largest poll's share is kept in `largest`.
std::string TakeAll(WatchedChild& child, std::size_t most, std::size_t* largest = nullptr) {
  std::string all;
  for (int i = 0; i < 12000; ++i) {
    std::string part;
    const bool alive = child.Poll(part, most);
    if (largest != nullptr) *largest = std::max(*largest, part.size());
    all += part;
    if (!alive) return all;
    if (part.empty()) std::this_thread::sleep_for(milliseconds(5));
  }
  ADD_FAILURE() << "the child did not end";
  return all;
}

TEST(WatchedChildTest, OutputComesWhileTheProgramRunsAndStopEndsIt) {
  WatchedChild child;
  ASSERT_TRUE(child.Start({"sh", "-c", "echo 'Code: WDJB-MJHT'; exec sleep 600"})) << child.Error();
  std::string seen;
  for (int i = 0; i < 12000 && seen.find('\n') == std::string::npos; ++i) {
    ASSERT_TRUE(child.Poll(seen, 1024)) << "ended early";
    std::this_thread::sleep_for(milliseconds(5));
  }
  EXPECT_EQ(seen, "Code: WDJB-MJHT\n");
  child.Stop();
  EXPECT_EQ(TakeAll(child, 1024), "");
  EXPECT_EQ(child.ExitCode(), -1);
}

TEST(WatchedChildTest, BothOutputsAllBytesAndTheExitStatus) {
  {
    WatchedChild child;
    ASSERT_TRUE(child.Start({"sh", "-c", "echo out; echo err >&2; cat; exit 3"}));
    // Standard input is empty, so "cat" ends at once.
    EXPECT_EQ(TakeAll(child, 1024), "out\nerr\n");
    EXPECT_EQ(child.ExitCode(), 3);
    std::string after;
    EXPECT_FALSE(child.Poll(after, 1024));
  }
  {
    // More than a pipe holds, taken in bounded parts; the end is reported
    // only once every byte is taken.
    WatchedChild child;
    ASSERT_TRUE(child.Start({"head", "-c", "300000", "/dev/zero"}));
    std::size_t largest = 0;
    EXPECT_EQ(TakeAll(child, 1000, &largest).size(), 300000u);
    EXPECT_EQ(largest, 1000u);
    EXPECT_EQ(child.ExitCode(), 0);
  }
  {
    WatchedChild child;
    EXPECT_FALSE(child.Start({"/nonexistent/program"}));
    EXPECT_FALSE(child.Error().empty());
    std::string none;
    EXPECT_FALSE(child.Poll(none, 1024));
  }
}

}  // namespace
}  // namespace ferry
