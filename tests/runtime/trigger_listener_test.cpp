// The trigger listener over real loopback sockets: which datagrams it accepts,
// what reaches the scheduler, and its one-datagram-per-pause rhythm. The pause
// is in the test's hand, so nothing depends on how fast the machine is.
#include "service/runtime/trigger_listener.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/system_info.h"
#include "platform/udp_socket.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

TEST(TriggerNameOfTest, AcceptsTwoToThirtyBytesAndEndsAtNul) {
  struct Case {
    const char* name;
    std::string datagram;
    bool accepted;
    std::string result;
  };
  const std::vector<Case> cases = {
      {"Empty", "", false, ""},
      {"OneByte", "N", false, ""},
      {"TwoBytes", "NO", true, "NO"},
      {"Noras", "NORAS", true, "NORAS"},
      {"LineEndKept", "NORAS\r\n", true, "NORAS\r\n"},
      {"ThirtyBytes", std::string(30, 'x'), true, std::string(30, 'x')},
      {"ThirtyOneBytes", std::string(31, 'x'), false, ""},
      {"NulEndsTheName", std::string("NORAS\0junk", 10), true, "NORAS"},
      {"LeadingNul", std::string("\0NORAS", 6), true, ""},
      {"EightBitKept", "Stra\xDF" "e", true, "Stra\xDF" "e"},
  };
  for (const Case& c : cases) {
    std::string name = "unchanged";
    EXPECT_EQ(TriggerNameOf(c.datagram, &name), c.accepted) << c.name;
    if (c.accepted) {
      EXPECT_EQ(name, c.result) << c.name;
    }
  }
}

// Runs the listener on a thread with a pause that the test releases.
class TriggerListenerTest : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    SetEnvironment(kTriggerAddressEnvironmentVariable, "127.0.0.1");
    UdpSocket probe;
    ASSERT_TRUE(probe.Bind(kLoopback, 0));
    port_ = probe.LocalPort();  // free a moment ago; the listener binds it next
  }

  void TearDown() override {
    events_.SetStop();
    Release(1000);
    if (listener_.joinable()) listener_.join();
    SetEnvironment(kTriggerAddressEnvironmentVariable, "");
    TempHiveTest::TearDown();
  }

  void StartListener() {
    TriggerListenerOptions options;
    options.readPort = [this] { return port_; };
    options.pause = [this](LoopEvents& events) {
      std::unique_lock lock(mutex_);
      ++pauses_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return released_ > 0 || events.StopSet(); });
      if (released_ > 0) --released_;
      return events.StopSet();
    };
    options.listening = [this](uint16_t) {
      std::lock_guard lock(mutex_);
      listening_ = true;
      changed_.notify_all();
    };
    options.receiveSlice = std::chrono::milliseconds(20);
    listener_ = std::thread([this, options] { TriggerListener(events_, options); });
  }

  bool WaitUntilListening() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return listening_; });
  }

  void Send(const std::string& datagram) {
    UdpSocket sender;
    ASSERT_TRUE(sender.SendTo(kLoopback, port_, datagram));
  }

  // Waits until the listener has paused `count` times in all.
  bool WaitForPauses(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return pauses_ >= count; });
  }

  void Release(int n = 1) {
    {
      std::lock_guard lock(mutex_);
      released_ += n;
    }
    changed_.notify_all();
  }

  std::vector<std::string> TriggerEvents() const {
    std::vector<std::string> out;
    for (const std::string& line : Events()) {
      if (line.rfind("10\t", 0) == 0) out.push_back(line);
    }
    return out;
  }

  LoopEvents events_;
  uint16_t port_ = 0;
  std::thread listener_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int pauses_ = 0;
  int released_ = 0;
  bool listening_ = false;
};

TEST_F(TriggerListenerTest, AcceptedDatagramSetsTheTriggerWithItsNameAndReportsEvent10) {
  StartListener();
  ASSERT_TRUE(WaitUntilListening());
  Send("NORAS");
  ASSERT_TRUE(WaitForPauses(1));
  EXPECT_EQ(events_.WaitStopOrTrigger(std::chrono::milliseconds(0)), Wake::Trigger);
  EXPECT_EQ(events_.TakeTrigger(), "NORAS");
  EXPECT_EQ(TriggerEvents(), (std::vector<std::string>{"10\t10\tNORAS"}));
}

TEST_F(TriggerListenerTest, DatagramsOfOneByteAndOfThirtyOneBytesAreIgnored) {
  StartListener();
  ASSERT_TRUE(WaitUntilListening());
  Send("N");
  ASSERT_TRUE(WaitForPauses(1));
  Release();
  Send(std::string(31, 'x'));
  ASSERT_TRUE(WaitForPauses(2));
  Release();
  Send(std::string(500, 'y'));
  ASSERT_TRUE(WaitForPauses(3));
  EXPECT_EQ(events_.WaitStopOrTrigger(std::chrono::milliseconds(0)), Wake::Timeout);
  EXPECT_TRUE(TriggerEvents().empty());
}

TEST_F(TriggerListenerTest, TakesOneDatagramPerPauseAndKeepsTheOthersQueued) {
  StartListener();
  ASSERT_TRUE(WaitUntilListening());
  Send("first");
  Send("second");
  ASSERT_TRUE(WaitForPauses(1));
  // The listener is held in its pause: the second datagram waits in the queue.
  EXPECT_EQ(events_.TakeTrigger(), "first");
  EXPECT_EQ(TriggerEvents().size(), 1u);
  EXPECT_EQ(events_.WaitStopOrTrigger(std::chrono::milliseconds(0)), Wake::Timeout);
  Release();
  ASSERT_TRUE(WaitForPauses(2));
  EXPECT_EQ(events_.TakeTrigger(), "second");
  EXPECT_EQ(TriggerEvents().size(), 2u);
}

TEST_F(TriggerListenerTest, PortInUseIsTriedAgainAfterThePause) {
  auto blocker = std::make_unique<UdpSocket>();
  ASSERT_TRUE(blocker->Bind(kLoopback, port_));
  StartListener();
  ASSERT_TRUE(WaitForPauses(1));  // the bind failed
  {
    std::lock_guard lock(mutex_);
    EXPECT_FALSE(listening_);
  }
  blocker.reset();
  Release();
  ASSERT_TRUE(WaitUntilListening());
  Send("NORAS");
  ASSERT_TRUE(WaitForPauses(2));
  EXPECT_EQ(events_.TakeTrigger(), "NORAS");
}

TEST_F(TriggerListenerTest, StopEndsTheListenerWhileItWaitsForADatagram) {
  StartListener();
  events_.SetStop();
  listener_.join();  // returns: the receive looks at StopEvent between slices
  UdpSocket again;
  EXPECT_TRUE(again.Bind(kLoopback, port_)) << "the listener's socket is closed at its end";
}

}  // namespace
}  // namespace ferry::test
