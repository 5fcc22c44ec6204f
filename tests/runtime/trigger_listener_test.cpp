// The trigger listener over real loopback sockets: which datagrams it accepts,
// which senders count, what reaches the scheduler's queue, and that a flood
// delays nobody. Each test ends its datagrams with a sentinel name and waits
// for that, so nothing depends on how fast the machine is.
#include "service/runtime/trigger_listener.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/system_info.h"
#include "platform/udp_socket.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

TEST(TriggerNameOfTest, AcceptsTwoToSixtyBytesAndEndsAtNul) {
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
      {"ThirtyOneBytes", std::string(31, 'x'), true, std::string(31, 'x')},
      {"SixtyBytes", std::string(60, 'x'), true, std::string(60, 'x')},
      {"SixtyOneBytes", std::string(61, 'x'), false, ""},
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

TEST(TriggerHostsTest, AddressesAndNetworksSeparatedByBlanksOrCommas) {
  struct Case {
    const char* name;
    const char* hosts;
    uint32_t sender;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {"EmptyIsAny", "", 0x0A000001, true},
      {"BlanksAreAny", " , ", 0x0A000001, true},
      {"Address", "192.168.1.7", 0xC0A80107, true},
      {"OtherAddress", "192.168.1.7", 0xC0A80108, false},
      {"Network", "192.168.1.0/24", 0xC0A801FE, true},
      {"OutsideTheNetwork", "192.168.1.0/24", 0xC0A80201, false},
      {"HostBitsIgnored", "192.168.1.77/24", 0xC0A80101, true},
      {"SecondEntryAfterComma", "10.0.0.1,192.168.1.0/24", 0xC0A80105, true},
      {"SecondEntryAfterBlanks", "10.0.0.1 \t 172.16.0.0/12", 0xAC1F0001, true},
      {"AllByPrefixZero", "0.0.0.0/0", 0x01020304, true},
      {"HostNameIsNoSender", "localhost", 0x7F000001, false},
      {"BadPrefix", "127.0.0.0/33", 0x7F000001, false},
      {"BadEntryLeftOut", "nonsense 127.0.0.1", 0x7F000001, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SenderAllowed(c.hosts, ParseTriggerHosts(c.hosts), c.sender), c.allowed) << c.name;
  }
  std::vector<std::string> rejected;
  ParseTriggerHosts("1.2.3.4, foo 10.0.0.0/x", &rejected);
  EXPECT_EQ(rejected, (std::vector<std::string>{"foo", "10.0.0.0/x"}));
}

// Runs the listener on a thread; a failed bind pauses until the test releases it.
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
    options.readHosts = [this] { return hosts_; };
    options.receiveSlice = std::chrono::milliseconds(20);
    listener_ = std::thread([this, options] { TriggerListener(events_, options); });
  }

  bool WaitUntilListening() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return listening_; });
  }

  void Send(const std::string& datagram, uint32_t from = kLoopback) {
    UdpSocket sender;
    ASSERT_TRUE(sender.Bind(from, 0));
    ASSERT_TRUE(sender.SendTo(kLoopback, port_, datagram));
  }

  // Waits until `count` trigger events have been written.
  bool WaitForTriggerEvents(std::size_t count) {
    for (int i = 0; i < 1000; ++i) {
      if (TriggerEvents().size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::vector<std::string> Queued() {
    std::vector<std::string> names;
    for (std::string name = events_.TakeTrigger(); !name.empty(); name = events_.TakeTrigger()) names.push_back(name);
    return names;
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
  std::string hosts_;
};

// Every accepted name is queued once and reported as event 10; what is too
// short or too long, a name already waiting and a name accepted within 3 s are not.
TEST_F(TriggerListenerTest, AcceptedNamesAreQueuedOnceEachAndReportedAsEvent10) {
  StartListener();
  ASSERT_TRUE(WaitUntilListening());
  Send("N");
  Send(std::string(61, 'x'));
  Send(std::string(500, 'y'));
  Send("NORAS");
  Send("noras");  // waiting already
  Send(std::string(60, 'L'));
  Send("third");
  ASSERT_TRUE(WaitForTriggerEvents(3));
  EXPECT_EQ(events_.WaitStopOrTrigger(std::chrono::milliseconds(0)), Wake::Trigger);
  EXPECT_EQ(Queued(), (std::vector<std::string>{"NORAS", std::string(60, 'L'), "third"}));
  Send("NORAS");  // taken by the scheduler, but accepted less than 3 s ago
  Send("fourth");
  ASSERT_TRUE(WaitForTriggerEvents(4));
  EXPECT_EQ(Queued(), (std::vector<std::string>{"fourth"}));
  EXPECT_EQ(TriggerEvents(), (std::vector<std::string>{"10\t10\tNORAS", "10\t10\t" + std::string(60, 'L'),
                                                       "10\t10\tthird", "10\t10\tfourth"}));
}

TEST_F(TriggerListenerTest, DatagramsFromSendersOutsideTriggerHostsAreDropped) {
  hosts_ = "10.0.0.0/8, 127.0.0.2";
  StartListener();
  ASSERT_TRUE(WaitUntilListening());
  Send("fromOne", 0x7F000001);
  Send("fromTwo", 0x7F000002);
  ASSERT_TRUE(WaitForTriggerEvents(1));
  EXPECT_EQ(Queued(), (std::vector<std::string>{"fromTwo"}));
}

// A flood of one name from an allowed sender: the genuine trigger behind it is
// queued as soon as the listener has read the flood, and the flood counts once.
// A datagram that meets a full socket buffer is lost in the kernel, so the
// genuine sender repeats its datagram every 100 ms, as a sender of UDP must.
TEST_F(TriggerListenerTest, FloodOfDatagramsDoesNotHoldBackAnotherName) {
  StartListener();
  ASSERT_TRUE(WaitUntilListening());
  UdpSocket sender;
  ASSERT_TRUE(sender.Bind(kLoopback, 0));
  constexpr int kFlood = 100000;
  int sent = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kFlood; ++i) sent += sender.SendTo(kLoopback, port_, "flood") ? 1 : 0;
  const auto floodEnd = std::chrono::steady_clock::now();
  int genuineSent = 0;
  for (; genuineSent < 100 && TriggerEvents().size() < 2; ++genuineSent) {
    ASSERT_TRUE(sender.SendTo(kLoopback, port_, "genuine"));
    for (int i = 0; i < 10 && TriggerEvents().size() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(WaitForTriggerEvents(2));
  const auto queued = std::chrono::steady_clock::now();
  EXPECT_EQ(Queued(), (std::vector<std::string>{"flood", "genuine"}));
  const auto ms = [](auto d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
  RecordProperty("datagrams_sent", sent);
  RecordProperty("flood_ms", static_cast<int>(ms(floodEnd - start)));
  RecordProperty("genuine_delay_ms", static_cast<int>(ms(queued - floodEnd)));
  RecordProperty("genuine_datagrams", genuineSent);
  std::printf("trigger flood: %d datagrams sent in %lld ms; genuine trigger queued %lld ms after the flood (%d sent)\n",
              sent, static_cast<long long>(ms(floodEnd - start)), static_cast<long long>(ms(queued - floodEnd)),
              genuineSent);
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
  ASSERT_TRUE(WaitForTriggerEvents(1));
  EXPECT_EQ(events_.TakeTrigger(), "NORAS");
}

TEST_F(TriggerListenerTest, StopEndsTheListenerWhileItWaitsForADatagram) {
  StartListener();
  events_.SetStop();
  listener_.join();  // returns: the receive looks at StopEvent between slices
  UdpSocket again;
  EXPECT_TRUE(again.Bind(kLoopback, port_)) << "the listener's socket is closed at its end";
}

TEST_F(TriggerListenerTest, AListenAddressThatIsNoDottedIpv4AddressIsRefused) {
  SetEnvironment(kTriggerAddressEnvironmentVariable, "localhost");
  EXPECT_FALSE(TriggerListenAddress().has_value());
  TriggerListenerOptions options;
  options.readPort = [this] { return port_; };
  options.pause = [](LoopEvents&) { return true; };
  EXPECT_FALSE(TriggerListener(events_, options));
  ASSERT_EQ(Events().size(), 1u);
  EXPECT_NE(Events()[0].find("MAILFERRY_TRIGGER_ADDRESS is not a dotted IPv4 address: localhost"), std::string::npos)
      << Events()[0];
  UdpSocket probe;
  EXPECT_TRUE(probe.Bind(kAnyAddress, port_)) << "nothing was bound";
  SetEnvironment(kTriggerAddressEnvironmentVariable, "");
  EXPECT_EQ(TriggerListenAddress(), kAnyAddress);
}

}  // namespace
}  // namespace ferry::test
