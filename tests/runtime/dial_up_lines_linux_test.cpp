// Dial-up lines over the network interfaces of a network namespace the test
// makes itself (on a thread of its own, so the machine's interfaces are never
// touched): veth pairs coming up and going down, loopback never a line, more
// than 20 lines a failed enumeration, and the scheduler reacting to them.
#include "platform/dial_up_lines.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include "service/runtime/dial_up_binding.h"
#include "service/runtime/scheduler.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

// Runs `body` on a thread that has left for a new, empty network namespace;
// programs it starts (ip) work in that namespace too. Answers why it could not.
std::string InNewNetworkNamespace(const std::function<void()>& body) {
  std::string refused;
  std::thread worker([&] {
    if (geteuid() != 0) {
      refused = "needs root to make a network namespace";
      return;
    }
    if (unshare(CLONE_NEWNET) != 0) {
      refused = "the machine refuses a new network namespace (unshare CLONE_NEWNET)";
      return;
    }
    if (std::system("ip link add ferryprobe0 type veth peer name ferryprobe1 2>/dev/null") != 0) {
      refused = "veth interfaces cannot be made here (ip link add ... type veth)";
      return;
    }
    std::system("ip link del ferryprobe0 2>/dev/null");
    body();
  });
  worker.join();
  return refused;
}

void Ip(const std::string& arguments) { ASSERT_EQ(std::system(("ip " + arguments).c_str()), 0) << arguments; }

struct Listing {
  int result = 0;
  int count = 0;
  std::vector<std::string> names;
  std::vector<uint64_t> handles;
};

Listing List() {
  Listing l;
  std::vector<DialUpLine> lines;
  l.result = EnumerateDialUpLines(&lines, &l.count);
  for (const DialUpLine& line : lines) {
    l.names.push_back(line.entryName);
    l.handles.push_back(line.handle);
  }
  return l;
}

using Names = std::vector<std::string>;

TEST(DialUpLinesTest, InterfacesThatAreUpAreTheLinesAndLoopbackIsNone) {
  Listing afterCycle;
  Listing beforeCycle;
  std::string refused = InNewNetworkNamespace([&] {
    Ip("link set lo up");
    EXPECT_EQ(List().names, Names{}) << "loopback is no line";
    Ip("link add va type veth peer name vb");
    EXPECT_EQ(List().names, Names{}) << "both ends down";
    Ip("link set va up");
    Listing one = List();
    EXPECT_EQ(one.result, 0);
    EXPECT_EQ(one.count, 1);
    EXPECT_EQ(one.names, Names{"va"});
    EXPECT_EQ(one.handles, std::vector<uint64_t>{if_nametoindex("va")});
    Ip("link set vb up");
    Names byIndex = if_nametoindex("va") < if_nametoindex("vb") ? Names{"va", "vb"} : Names{"vb", "va"};
    EXPECT_EQ(List().names, byIndex) << "in the order of the interface index";
    Ip("link set va down");
    EXPECT_EQ(List().names, Names{"vb"});
    beforeCycle = List();
    Ip("link del vb");
    Ip("link add va type veth peer name vb");
    Ip("link set vb up");
    afterCycle = List();
  });
  if (!refused.empty()) GTEST_SKIP() << refused;
  ASSERT_EQ(afterCycle.names, Names{"vb"});
  EXPECT_NE(afterCycle.handles, beforeCycle.handles) << "a line that comes up again has a new handle";
}

TEST(DialUpLinesTest, MoreThanTwentyLinesIsAFailedEnumeration) {
  Listing twenty;
  Listing twentyTwo;
  std::string refused = InNewNetworkNamespace([&] {
    for (int i = 0; i < 10; ++i) {
      std::string a = "a" + std::to_string(i), b = "b" + std::to_string(i);
      Ip("link add " + a + " type veth peer name " + b);
      Ip("link set " + a + " up");
      Ip("link set " + b + " up");
    }
    Ip("link set lo up");
    twenty = List();
    Ip("link add a10 type veth peer name b10");
    Ip("link set a10 up");
    Ip("link set b10 up");
    twentyTwo = List();
  });
  if (!refused.empty()) GTEST_SKIP() << refused;
  EXPECT_EQ(twenty.result, 0);
  EXPECT_EQ(twenty.count, 20);
  EXPECT_EQ(twenty.names.size(), 20u);
  EXPECT_NE(twentyTwo.result, 0);
  EXPECT_EQ(twentyTwo.count, 22);
  EXPECT_TRUE(twentyTwo.names.empty());
}

class DialUpSchedulerTest : public TempHiveTest {};

TEST_F(DialUpSchedulerTest, InterfaceComingUpRunsItsConnectionAndAgainAfterGoingDownAndUp) {
  PutAccount("va", "Postfach", 1);
  std::vector<std::string> runs;
  std::string refused = InNewNetworkNamespace([&] {
    LoadRasBinding();
    int tick = 0;
    SchedulerHooks hooks;
    hooks.waitStopOrTrigger = [&](std::chrono::milliseconds) { return Wake::Timeout; };
    hooks.waitStop = [](std::chrono::milliseconds) { return false; };
    hooks.takeTrigger = [] { return std::string(); };
    hooks.enumerateLines = [](std::vector<DialUpLine>* lines, int* count) { return EnumerateActiveLines(lines, count); };
    hooks.startWorker = [&](const std::string& c, const std::string& a) {
      runs.push_back(std::to_string(tick) + ":" + c + "\\" + a);
    };
    Scheduler scheduler(hooks);
    scheduler.Start();
    auto pass = [&] {
      ++tick;
      scheduler.Pass();
    };
    Ip("link add va type veth peer name vb");
    pass();
    Ip("link set va up");
    pass();
    pass();
    Ip("link set va down");
    pass();
    Ip("link set va up");  // the same interface index, but the tick before saw no line
    pass();
    Ip("link del va");
    Ip("link add va type veth peer name vb");
    Ip("link set va up");
    pass();
    FreeRasBinding();
  });
  if (!refused.empty()) GTEST_SKIP() << refused;
  EXPECT_EQ(runs, (std::vector<std::string>{"2:va\\Postfach", "5:va\\Postfach", "6:va\\Postfach"}));
}

}  // namespace
}  // namespace ferry::test
