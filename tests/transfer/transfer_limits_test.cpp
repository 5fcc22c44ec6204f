// The limits of a transfer against scripted peers that misbehave slowly: the
// deadlines of replies and sends, the size limits ("Max Size", the SMTP
// server's SIZE), and big messages that go through the spool.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/store_location.h"
#include "service/transfer/pop3_retrieval.h"
#include "service/transfer/size_limits.h"
#include "service/transfer/smtp_delivery.h"
#include "tests/transfer/hostile_fixture.h"

namespace ferry::test {
namespace {

using std::chrono::milliseconds;

// `text` written one byte at a time, `gapMs` apart.
PeerReply Trickle(const std::string& text, int gapMs) {
  PeerReply reply;
  for (char c : text) reply.segments.emplace_back(1, c);
  reply.gapMs = gapMs;
  return reply;
}

// Every deadline short, the one under test as given.
TransferDeadlines ShortDeadlinesWith(milliseconds TransferDeadlines::*deadline, milliseconds value) {
  TransferDeadlines d = UniformDeadlines(milliseconds(300));
  d.*deadline = value;
  return d;
}

// The spool folder goes beside the fixture's store file.
class TransferLimitsTest : public HostileRunTest {
 protected:
  bool SpoolEmpty() const {
    std::filesystem::path spool = Folder() / "spool";
    return !std::filesystem::exists(spool) || std::filesystem::is_empty(spool);
  }
};

const std::string kToAnna = Message("From: <s@sender.example>\r\nTo: <anna@office.example>\r\nSubject: eins");
const std::string kToBert = Message("From: <s@sender.example>\r\nTo: <bert@office.example>\r\nSubject: zwei");

TEST_F(TransferLimitsTest, TricklingGreetingEndsAtItsDeadline) {
  // At 1 byte per 20 ms the greeting would take about 0.9 s; its deadline is 300 ms.
  SmtpPeer peer({.override = Misbehave({{"", Trickle("220 peer.test ESMTP slowly, slowly, slowly\r\n", 20)}})});
  Use(peer);
  deadlines = ShortDeadlinesWith(&TransferDeadlines::smtpReply, milliseconds(300));
  auto context = WithMessages({kToAnna});
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), std::vector<bool>{false});
  EXPECT_EQ(peer.Transcript(), "");
  EXPECT_NE(Log().find("Protocol failure at greeting: no reply"), std::string::npos) << Log();
}

TEST_F(TransferLimitsTest, TricklingMessageEndsBelowTheLowestRate) {
  // Bytes keep coming (no silence), but far below 1 KB/s over the window.
  std::vector<std::string> box = PlainMailbox();
  PeerReply slow = Trickle(Pop3Peer::RetrAnswer(box[0]), 10);
  Pop3Peer pop(box, {.override = Misbehave({{"RETR 1", slow}})});
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  deadlines = ShortDeadlinesWith(&TransferDeadlines::receiveIdle, milliseconds(5000));
  Run();
  EXPECT_TRUE(smtp.Mails().empty());
  EXPECT_TRUE(pop.Deleted().empty());
  EXPECT_NE(Log().find("Message 1 incomplete: no end of data"), std::string::npos) << Log();
}

TEST_F(TransferLimitsTest, PeerThatStopsReadingEndsTheSend) {
  // More text than the socket buffers of both sides hold.
  std::string big = Message("To: <anna@office.example>", std::string(24 * 1024 * 1024, 'x') + "\r\n");
  SmtpPeer peer({.override = Misbehave({{"DATA", SayAndStopReading("354 go ahead\r\n")}})});
  Use(peer);
  deadlines = UniformDeadlines(milliseconds(300));
  auto context = WithMessages({big});
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), std::vector<bool>{false});
  EXPECT_NE(Log().find("Protocol failure at text: not sent whole"), std::string::npos) << Log();
}

struct EndCase {
  const char* name;
  milliseconds dataEnd;
  std::vector<bool> delivered;
};
void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }
class SlowEndOfDataTest : public TransferLimitsTest, public ::testing::WithParamInterface<EndCase> {};

// The reply to the end of the text comes 700 ms late: within its own deadline
// it is waited for, once, and the session goes on with the next message.
TEST_P(SlowEndOfDataTest, IsWaitedForWithinItsDeadline) {
  const EndCase& c = GetParam();
  PeerReply late{{"250", " 2.0.0 Ok: queued\r\n"}, PeerReply::Then::Continue, 700};
  SmtpPeer peer({.override = Misbehave({{"<end of data>", late}})});
  Use(peer);
  deadlines = ShortDeadlinesWith(&TransferDeadlines::smtpDataEnd, c.dataEnd);
  auto context = WithMessages({kToAnna, kToBert});
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), c.delivered);
  EXPECT_EQ(Occurrences(peer.Transcript(), "DATA\r\n"), c.delivered[1] ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Deadlines, SlowEndOfDataTest,
                         ::testing::Values(EndCase{"Within", milliseconds(3000), {true, true}},
                                           EndCase{"Past", milliseconds(300), {false, false}}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(TransferLimitsTest, MessageOverTheServersSizeIsNotUploaded) {
  SmtpPeer peer({.override = Misbehave({{"EHLO", Say("250-peer.test\r\n250-SIZE 1000\r\n250 8BITMIME\r\n")}})});
  Use(peer);
  std::string big = Message("To: <bert@office.example>", std::string(2000, 'y') + "\r\n");
  auto context = WithMessages({kToAnna, big, big});
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), (std::vector<bool>{true, false, false}));
  EXPECT_TRUE(context->mailList.back().tooLargeForServer);
  EXPECT_EQ(Occurrences(peer.Transcript(), "MAIL FROM"), 1);
  EXPECT_EQ(EventsStartingWith("0x80000029\t2\tPostfach\t2\t").size(), 1U);
}

TEST_F(TransferLimitsTest, ServerWithoutEhloIsGreetedWithHelo) {
  SmtpPeer peer({.override = Misbehave({{"EHLO", Say("502 5.5.2 command not recognised\r\n")}})});
  Use(peer);
  auto context = WithMessages({kToAnna});
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), std::vector<bool>{true});
  std::string name = EhloNameFor("");
  EXPECT_TRUE(peer.Transcript().starts_with("EHLO " + name + "\r\nHELO " + name + "\r\nMAIL FROM:"))
      << peer.Transcript();
}

// A 70 MB message and two small ones behind it, through the spool.
std::string BigText() {
  std::string line = std::string(76, 'z') + "\r\n";
  std::string body;
  body.reserve(70 * 1024 * 1024 + 1024);
  for (int i = 0; body.size() < 70u * 1024 * 1024; ++i) body += (i % 1000 == 0 ? "." : "") + line;
  return Message("From: <big@sender.example>\r\nTo: <user1@mailbox.example>\r\nSubject: gross", body);
}

struct SizeCase {
  const char* name;
  uint32_t maxSize;
  std::set<int> delivered;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }
class BigMessageTest : public TransferLimitsTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(BigMessageTest, SmallOnesBehindItArrive) {
  const SizeCase& c = GetParam();
  std::vector<std::string> box = PlainMailbox();
  box[0] = BigText();
  // The POP3 session waits while the big text goes to SMTP, however slow the machine.
  Pop3PeerOptions patient;
  patient.idleMs = 600000;
  Pop3Peer pop(box, patient);
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  settings.maxSize = c.maxSize;
  auto context = Context();
  RunAccount(*context);
  ASSERT_TRUE(pop.WaitSessionsEnded());
  EXPECT_EQ(Delivered(box, smtp), c.delivered);
  EXPECT_EQ(pop.Deleted(), c.delivered);
  ExpectNothingLost(box, pop, smtp);
  EXPECT_EQ(context->skippedForSize, c.delivered.count(1) ? std::vector<int32_t>{} : std::vector<int32_t>{1});
  EXPECT_EQ(EventsStartingWith("0x80000028\t2\tPostfach\t1\t").size(), c.delivered.count(1) ? 0U : 1U);
  EXPECT_TRUE(SpoolEmpty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, BigMessageTest,
                         ::testing::Values(SizeCase{"NoLimit", 0, {1, 2, 3}},
                                           SizeCase{"MaxSize10MB", 10 * 1024 * 1024, {2, 3}}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ReceiveWatchTest, LimitsRunOutAsTheyShould) {
  const TransferClock::time_point t0{};
  auto at = [&](int ms) { return t0 + milliseconds(ms); };

  ReceiveWatch whole(ReceiveLimit{milliseconds(500), {}, {}, 0}, t0);
  whole.Note(100, at(400));
  EXPECT_EQ(whole.Allowed(at(499)), milliseconds(1));
  EXPECT_EQ(whole.Allowed(at(500)), milliseconds(0));

  ReceiveWatch idle(ReceiveLimit{{}, milliseconds(300), {}, 0}, t0);
  idle.Note(1, at(200));
  EXPECT_EQ(idle.Allowed(at(400)), milliseconds(100));
  EXPECT_EQ(idle.Allowed(at(500)), milliseconds(0));

  // 1 KB/s over 1 s windows: 1000 bytes in the first is too few; 2000 carry
  // the transfer into the next window, which then needs its own.
  ReceiveWatch slow(ReceiveLimit{{}, {}, milliseconds(1000), 1024}, t0);
  slow.Note(1000, at(900));
  EXPECT_EQ(slow.Allowed(at(1000)), milliseconds(0));
  ReceiveWatch fast(ReceiveLimit{{}, {}, milliseconds(1000), 1024}, t0);
  fast.Note(2000, at(900));
  EXPECT_EQ(fast.Allowed(at(1000)), milliseconds(1000));
  EXPECT_EQ(fast.Allowed(at(2000)), milliseconds(0));
}

struct EhloCase {
  const char* name;
  const char* reply;
  EhloCapabilities caps;
};
void PrintTo(const EhloCase& c, std::ostream* os) { *os << c.name; }
class EhloReplyTest : public ::testing::TestWithParam<EhloCase> {};

TEST_P(EhloReplyTest, AnnouncedCapabilitiesAreRead) { EXPECT_EQ(ParseEhloReply(GetParam().reply), GetParam().caps); }

INSTANTIATE_TEST_SUITE_P(
    Replies, EhloReplyTest,
    ::testing::Values(
        EhloCase{"Postfix", "250-mail.example\r\n250-PIPELINING\r\n250-SIZE 10240000\r\n250 8BITMIME\r\n",
                 {true, 10240000, true, true}},
        EhloCase{"NoLimit", "250-mail.example\r\n250 SIZE\r\n", {true, 0}},
        EhloCase{"LowerCaseLast", "250-mail.example\r\n250-8bitmime\r\n250 size 12\r\n", {true, 12, false, true}},
        EhloCase{"PipeliningOnly", "250-mail.example\r\n250 Pipelining\r\n", {false, 0, true, false}},
        EhloCase{"KeywordPrefixesDoNotCount", "250-mail.example\r\n250-PIPELININGX\r\n250 8BITMIMES\r\n",
                 {false, 0, false, false}},
        EhloCase{"NotANumber", "250-mail.example\r\n250 SIZE 12k\r\n", {true, 0}},
        EhloCase{"NameLineIsNoKeyword", "250 SIZE 5\r\n", {false, 0}},
        EhloCase{"OtherKeywordOnly", "250-mail.example\r\n250 SIZES 5\r\n", {false, 0}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(SkipForSizeTest, OnlyListedSizesAboveALimit) {
  EXPECT_FALSE(SkipForSize(ListingEntry{1, 5000, false}, 0));
  EXPECT_FALSE(SkipForSize(ListingEntry{1, 5000, false}, 5000));
  EXPECT_TRUE(SkipForSize(ListingEntry{1, 5001, false}, 5000));
  EXPECT_FALSE(SkipForSize(ListingEntry{1, 0, false}, 5000));  // no size listed
}

}  // namespace
}  // namespace ferry::test
