// A POP3 mailbox that misbehaves in every way on the list: the run ends or goes
// on, and a message is deleted only after the SMTP sink accepted it.
#include "tests/transfer/hostile_fixture.h"

namespace ferry::test {
namespace {

struct Pop3Case {
  const char* name;
  std::vector<Misbehaviour> rules;
  std::set<int> delivered;
  std::set<int> deleted;
  const char* logLine = nullptr;
  std::size_t pieceSize = 0;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const Pop3Case& c, std::ostream* os) { *os << c.name; }

class HostilePop3Test : public HostileRunTest, public ::testing::WithParamInterface<Pop3Case> {};

TEST_P(HostilePop3Test, DeletesOnlyWhatWasDelivered) {
  const Pop3Case& c = GetParam();
  std::vector<std::string> box = PlainMailbox();
  Pop3Peer pop(box, {.user = "anna", .password = "geheim", .pieceSize = c.pieceSize, .override = Misbehave(c.rules)});
  SmtpPeer smtp;
  WaitBrieflyIfSilent(c.rules);
  Use(pop);
  Use(smtp);

  EXPECT_EQ(Run(), kRunDone);

  EXPECT_EQ(Delivered(box, smtp), c.delivered);
  EXPECT_EQ(smtp.Mails().size(), c.delivered.size()) << "a mail arrived that is not a mailbox text";
  EXPECT_EQ(pop.Deleted(), c.deleted);
  ExpectNothingLost(box, pop, smtp);
  if (c.logLine) {
    EXPECT_NE(Log().find(c.logLine), std::string::npos) << Log();
  }
}

const std::string kBig(64 * 1024, 'x');
const std::string kEndless(1024 * 1024, 'y');
const std::set<int> kAll{1, 2, 3};
const std::set<int> kNone;

// The RETR answer of the first message, cut inside its stuffed line (between
// the two dots) and inside its end marker.
PeerReply SplitAnswer() {
  std::string answer = Pop3Peer::RetrAnswer(PlainMailbox()[0]);
  std::size_t stuffed = answer.find("\r\n..Punktzeile") + 3;
  std::size_t marker = answer.size() - 2;
  return PeerReply{{answer.substr(0, stuffed), answer.substr(stuffed, marker - stuffed), answer.substr(marker)},
                   PeerReply::Then::Continue, 40};
}

INSTANTIATE_TEST_SUITE_P(
    Mailboxes, HostilePop3Test,
    ::testing::Values(
        Pop3Case{"ClosedEarly", {{"", PeerReply{{}, PeerReply::Then::Close}}}, kNone, kNone, "POP3 Error:5"},
        Pop3Case{"ClosedMidReply", {{"LIST", PeerReply{{"+OK\r\n1 12"}, PeerReply::Then::Close}}}, kNone, kNone,
                 "POP3 Error:5"},
        // Message 1 went out; no DELE goes on the broken connection, a fresh session deletes it.
        Pop3Case{"ClosedMidMessage", {{"RETR 2", PeerReply{{"+OK\r\nFrom: a@b\r\n"}, PeerReply::Then::Close}}}, {1},
                 {1}, "Message 2 incomplete"},
        Pop3Case{"Silent", {{"", Silence()}}, kNone, kNone, "POP3 Error:5"},
        Pop3Case{"OneByteAtATime", {}, kAll, kAll, nullptr, 1},
        Pop3Case{"BadGreeting", {{"", SayAndClose("-ERR [SYS/TEMP] too many connections\r\n")}}, kNone, kNone},
        // The greeting is not tested: a server that goes on normally is served.
        Pop3Case{"GarbageGreeting", {{"", Say("\x16\x03\x01 not a mailbox\r\n")}}, kAll, kAll},
        Pop3Case{"OverLongLine", {{"STAT", Say("+OK " + kBig + "\r\n")}}, kNone, kNone, "reply too long"},
        Pop3Case{"EndlessReplyWithoutLineEnd", {{"USER", PeerReply{{"+OK " + kEndless}, PeerReply::Then::Hang}}}, kNone,
                 kNone, "reply too long"},
        Pop3Case{"ReplyWithoutLineEndNeverEnds", {{"PASS", PeerReply{{"+OK logged"}, PeerReply::Then::Hang}}}, kNone,
                 kNone, "POP3 Error:5"},
        Pop3Case{"OkWithGarbage", {{"STAT", Say("+OK\x01\xfe\xff garbage\r\n")}}, kNone, kNone, "0 Nachrichten"},
        Pop3Case{"StatCount4294967295", {{"STAT", Say("+OK 4294967295 0\r\n")}}, kAll, kAll, "2147483647 Nachrichten"},
        // Once the count is reached a number of 0 ends the listing.
        Pop3Case{"ListNumberZero",
                 {{"STAT", Say("+OK 1 10\r\n")}, {"LIST", Say("+OK\r\n1 10\r\n0 5\r\n2 7\r\n.\r\n")}}, {1}, {1}},
        // Below the last number taken while the count is not reached: out of step, taken as the next;
        // the listing was cut short, so a second round takes the third message.
        Pop3Case{"ListNumberNegative", {{"LIST", Say("+OK\r\n1 10\r\n-2 5\r\n.\r\n")}}, kAll, kAll,
                 "Read error on Msg 2"},
        // A message the server will not hand out is skipped; the next one is taken.
        Pop3Case{"ListNumberAboveCount", {{"LIST", Say("+OK\r\n1 10\r\n7 10\r\n2 10\r\n.\r\n")}}, {1, 2}, {1, 2},
                 "Message 7 skipped: -ERR no such message"},
        Pop3Case{"ListSizeThatLies", {{"LIST", Say("+OK\r\n1 1\r\n2 2000000000\r\n3 -5\r\n.\r\n")}}, kAll, kAll},
        Pop3Case{"RetrWithoutEndMarker", {{"RETR 2", PeerReply{{"+OK\r\nFrom: a@b\r\n\r\nno end"}, PeerReply::Then::Hang}}},
                 {1}, {1}, "Message 2 incomplete"},
        Pop3Case{"DotStuffedLineSplitAcrossSegments", {{"RETR 1", SplitAnswer()}}, kAll, kAll},
        // The stale line answers PASS, PASS's answer STAT: no count, no message taken.
        Pop3Case{"ExtraBytesAfterReply", {{"USER", Say("+OK\r\n+OK extra\r\n")}}, kNone, kNone}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace ferry::test
