// An SMTP server that misbehaves in every way on the list, behind a well-behaved
// mailbox: nothing is deleted on the POP3 server that the SMTP server did not
// accept, and a dialogue that slid out of step never counts as an acceptance.
#include "tests/transfer/hostile_fixture.h"

namespace ferry::test {
namespace {

struct SmtpCase {
  const char* name;
  std::vector<Misbehaviour> rules;
  std::set<int> delivered;  // also what must be deleted
  const char* logLine = nullptr;
  std::size_t pieceSize = 0;
  bool refused = false;  // nothing listens at the SMTP address
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const SmtpCase& c, std::ostream* os) { *os << c.name; }

class HostileSmtpTest : public HostileRunTest, public ::testing::WithParamInterface<SmtpCase> {};

TEST_P(HostileSmtpTest, DeletesOnlyWhatWasAccepted) {
  const SmtpCase& c = GetParam();
  std::vector<std::string> box = PlainMailbox();
  Pop3Peer pop(box);
  SmtpPeer smtp({.multiLine = true, .pieceSize = c.pieceSize, .override = Misbehave(c.rules)});
  Use(pop);
  Use(smtp);
  if (c.refused) settings.smtpHost = UnusedLoopbackAddress();
  WaitBrieflyIfSilent(c.rules);

  EXPECT_EQ(Run(), kRunDone);

  EXPECT_EQ(Delivered(box, smtp), c.delivered);
  EXPECT_EQ(pop.Deleted(), c.delivered);
  // The mailbox dialogue itself is complete: every message read, QUIT last.
  EXPECT_TRUE(pop.Transcript().ends_with("QUIT\r\n")) << pop.Transcript();
  ExpectNothingLost(box, pop, smtp);
  if (c.logLine) {
    EXPECT_NE(Log().find(c.logLine), std::string::npos) << Log();
  }
}

const std::set<int> kAll{1, 2, 3};
const std::set<int> kNone;
const Misbehaviour kRejectEveryText{"<end of data>", Say("554 5.7.1 rejected after all\r\n"), 0};

INSTANTIATE_TEST_SUITE_P(
    Servers, HostileSmtpTest,
    ::testing::Values(
        SmtpCase{"Refused", {}, kNone, "Protokol SMTP fail!", 0, true},
        SmtpCase{"ClosedEarly", {{"", PeerReply{{}, PeerReply::Then::Close}}}, kNone, "Protokol SMTP fail!"},
        // A connection lost mid-batch is opened again for the next message.
        SmtpCase{"ClosedMidReply", {{"RCPT", PeerReply{{"250 2.1"}, PeerReply::Then::Close}}}, {2, 3},
                 "SMTP connection lost: reconnect 1"},
        SmtpCase{"SilentAfterTheText", {{"<end of data>", Silence()}}, {2, 3}, "SMTP connection lost: reconnect 1"},
        SmtpCase{"ClosingEveryTime", {{"MAIL", Say("421 4.7.0 too many errors\r\n"), 0}}, kNone,
                 "SMTP connection lost: reconnect 1"},
        SmtpCase{"OneByteAtATime", {}, kAll, nullptr, 1},
        // The greeting is not tested; the EHLO reply is.
        SmtpCase{"BadGreeting",
                 {{"", Say("554 5.3.2 no service here\r\n")}, {"EHLO", Say("421 4.3.2 go away\r\n")}},
                 kNone, "Protokol SMTP fail!"},
        SmtpCase{"OverLongLine", {{"EHLO", Say(std::string(100 * 1024, '5') + "\r\n")}}, kNone, "reply too long"},
        SmtpCase{"EndlessReplyWithoutLineEnd",
                 {{"MAIL", PeerReply{{"250 " + std::string(1024 * 1024, 'z')}, PeerReply::Then::Hang}}}, {2, 3},
                 "reply too long"},
        // "25" ends the EHLO reply early; the rest of it must not be taken as the
        // answer to a later command (the end-of-data rejection would go unseen).
        SmtpCase{"MultiLineReplyWithShortNextLine",
                 {{"EHLO", Say("250-peer.test\r\n25\r\n250 HELP\r\n")}, kRejectEveryText}, kNone,
                 "reply out of step"},
        SmtpCase{"ExtraBytesAfterReply",
                 {{"DATA", Say("354 go ahead\r\n250 2.0.0 Ok: queued before the text\r\n"), 0}, kRejectEveryText},
                 kNone, "Protocol failure at text: reply out of step"},
        // The second message's text went out, the connection dropped before the
        // reply: it stays on the server, the one behind it goes on a new connection.
        SmtpCase{"DropAfterTheDotBeforeTheReply", {{"<end of data>", PeerReply{{}, PeerReply::Then::Close}, 2}},
                 {1, 3}, "SMTP connection lost: reconnect 1"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace ferry::test
