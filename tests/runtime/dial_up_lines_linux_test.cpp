// Dial-up lines over the network interfaces of a network namespace the test
// makes itself (on a thread of its own, so the machine's interfaces are never
// touched): tun devices (point-to-point) coming up and going down are lines,
// veth pairs (Ethernet) and loopback never are, more than 20 lines is a failed
// enumeration, and the scheduler reacts to them.
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
    if (std::system("ip link add ferryprobe0 type veth peer name ferryprobe1 2>/dev/null") != 0 ||
        std::system("ip tuntap add dev ferryprobe2 mode tun 2>/dev/null") != 0) {
      refused = "veth or tun interfaces cannot be made here";
      return;
    }
    std::system("ip link del ferryprobe0 2>/dev/null; ip link del ferryprobe2 2>/dev/null");
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

void Tun(const std::string& name) { Ip("tuntap add dev " + name + " mode tun"); }

TEST(DialUpLinesTest, PointToPointInterfacesThatAreUpAreTheLinesEthernetAndLoopbackNever) {
  Listing afterCycle;
  Listing beforeCycle;
  std::string refused = InNewNetworkNamespace([&] {
    Ip("link set lo up");
    Ip("link add eth0 type veth peer name eth1");
    Ip("link set eth0 up");
    Ip("link set eth1 up");
    EXPECT_EQ(List().names, Names{}) << "Ethernet and loopback are no lines";
    Tun("ppp0");
    EXPECT_EQ(List().names, Names{}) << "a line that is down";
    Ip("link set ppp0 up");
    Listing one = List();
    EXPECT_EQ(one.result, 0);
    EXPECT_EQ(one.count, 1);
    EXPECT_EQ(one.names, Names{"ppp0"});
    EXPECT_EQ(one.handles, std::vector<uint64_t>{if_nametoindex("ppp0")});
    Tun("wwan0");
    Ip("link set wwan0 up");
    Names byIndex = if_nametoindex("ppp0") < if_nametoindex("wwan0") ? Names{"ppp0", "wwan0"} : Names{"wwan0", "ppp0"};
    EXPECT_EQ(List().names, byIndex) << "in the order of the interface index";
    Ip("link set ppp0 down");
    EXPECT_EQ(List().names, Names{"wwan0"});
    beforeCycle = List();
    Ip("link del wwan0");
    Tun("wwan0");
    Ip("link set wwan0 up");
    afterCycle = List();
  });
  if (!refused.empty()) GTEST_SKIP() << refused;
  ASSERT_EQ(afterCycle.names, Names{"wwan0"});
  EXPECT_NE(afterCycle.handles, beforeCycle.handles) << "a line that comes up again has a new handle";
}

TEST(DialUpLinesTest, MoreThanTwentyLinesIsAFailedEnumeration) {
  Listing twenty;
  Listing twentyOne;
  std::string refused = InNewNetworkNamespace([&] {
    for (int i = 0; i < 20; ++i) {
      Tun("tun" + std::to_string(i));
      Ip("link set tun" + std::to_string(i) + " up");
    }
    Ip("link set lo up");
    Ip("link add va type veth peer name vb");
    Ip("link set va up");
    twenty = List();
    Tun("tun20");
    Ip("link set tun20 up");
    twentyOne = List();
  });
  if (!refused.empty()) GTEST_SKIP() << refused;
  EXPECT_EQ(twenty.result, 0);
  EXPECT_EQ(twenty.count, 20);
  EXPECT_EQ(twenty.names.size(), 20u);
  EXPECT_NE(twentyOne.result, 0);
  EXPECT_EQ(twentyOne.count, 21);
  EXPECT_TRUE(twentyOne.names.empty());
}

class DialUpSchedulerTest : public TempHiveTest {};

TEST_F(DialUpSchedulerTest, InterfaceComingUpRunsItsConnectionAndAgainAfterGoingDownAndUp) {
  PutAccount("ppp0", "Postfach", 1);
  PutAccount("eth0", "Postfach", 1);
  std::vector<std::string> runs;
  std::string refused = InNewNetworkNamespace([&] {
    LoadRasBinding();
    int tick = 0;
    SchedulerHooks hooks;
    hooks.waitStopOrTrigger = [&](std::chrono::milliseconds) { return Wake::Timeout; };
    hooks.waitStop = [](std::chrono::milliseconds) { return false; };
    hooks.takeTrigger = [] { return std::string(); };
    hooks.enumerateLines = [](std::vector<DialUpLine>* lines, int* count) { return EnumerateActiveLines(lines, count); };
    hooks.now = [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(5 * tick)); };
    hooks.startRuns = [&](const std::string& c, const std::vector<std::string>& accounts, int) {
      for (const std::string& a : accounts) runs.push_back(std::to_string(tick) + ":" + c + "\\" + a);
    };
    Scheduler scheduler(hooks);
    scheduler.Start();
    auto pass = [&] {
      ++tick;
      scheduler.Pass();
    };
    Ip("link add eth0 type veth peer name eth1");
    Ip("link set eth0 up");
    Tun("ppp0");
    pass();
    Ip("link set ppp0 up");
    pass();
    pass();
    Ip("link set ppp0 down");
    pass();
    Ip("link set ppp0 up");  // the same interface index, but the tick before saw no line
    pass();
    Ip("link del ppp0");
    Tun("ppp0");
    Ip("link set ppp0 up");
    pass();
    FreeRasBinding();
  });
  if (!refused.empty()) GTEST_SKIP() << refused;
  EXPECT_EQ(runs, (std::vector<std::string>{"2:ppp0\\Postfach", "5:ppp0\\Postfach", "6:ppp0\\Postfach"}));
}

}  // namespace
}  // namespace ferry::test
