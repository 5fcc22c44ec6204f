// Running a program with pipes: what goes in comes out whole, and a program
// that writes too much, never ends or does not exist cannot hold the caller.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
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

}  // namespace
}  // namespace ferry
