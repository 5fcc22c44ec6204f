// The notices' exact bytes, received on loopback (the destination is moved off
// the limited broadcast address for every test).
#include "service/runtime/udp_notice.h"

#include <gtest/gtest.h>

#include "platform/system_info.h"
#include "platform/udp_socket.h"
#include "service/transfer/notice_text.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

class UdpNoticeTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    SetEnvironment(kNoticeAddressEnvironmentVariable, "127.0.0.1");
    ASSERT_TRUE(receiver_.Bind(kLoopback, 0));
  }
  void TearDown() override {
    SetEnvironment(kNoticeAddressEnvironmentVariable, "");
    TempFolderTest::TearDown();
  }

  std::string ReceiveOne() {
    char buffer[256];
    UdpSocket::Received got = receiver_.Receive(buffer, sizeof buffer, std::chrono::seconds(10));
    if (got.outcome != UdpSocket::Outcome::Datagram) return "<nothing>";
    return std::string(buffer, got.length);
  }

  UdpSocket receiver_;
};

TEST_F(UdpNoticeTest, NoticesArriveAsOneDatagramWithTheirExactBytes) {
  struct Case {
    const char* name;
    std::string text;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"RunNoticeOfAnEmptyMailbox", FormatRunNotice(0, "Postfach"), "0 Postfach"},
      {"EightBitUnconverted", FormatSenderNotice("Postfach", "J\xFCrgen <j@x.de>"), "#Postfach#J\xFCrgen <j@x.de>"},
      {"EndsAtANul", std::string("12 Box\0hidden", 13), "12 Box"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BroadcastNotice(c.text, receiver_.LocalPort()), -1) << c.name;
    EXPECT_EQ(ReceiveOne(), c.bytes) << c.name;
  }
  EXPECT_TRUE(Events().empty());
}

TEST_F(UdpNoticeTest, OnlyTheLowSixteenBitsOfThePortCount) {
  BroadcastNotice("3 Postfach", 0x10000u | receiver_.LocalPort());
  EXPECT_EQ(ReceiveOne(), "3 Postfach");
}

TEST_F(UdpNoticeTest, NoticeThatCannotBeSentIsReported) {
  SetEnvironment(kNoticeAddressEnvironmentVariable, "not-an-address");
  BroadcastNotice("3 Postfach", receiver_.LocalPort());
  EXPECT_EQ(Events(), (std::vector<std::string>{"0xC0000000\t1\tBROADCAST fail"}));
}

}  // namespace
}  // namespace ferry::test
