// Messages with hostile content, carried through a whole run: the envelope the
// sink sees, the text arriving byte for byte, and the message deleted only
// once accepted.
#include "tests/transfer/hostile_fixture.h"

namespace ferry::test {
namespace {

struct MessageCase {
  const char* name;
  std::string text;
  std::string mailFrom;  // as the sink saw it after "MAIL FROM:"
  std::string rcptTo;    // as the sink saw it after "RCPT TO:"
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const MessageCase& c, std::ostream* os) { *os << c.name; }

class HostileMessageTest : public HostileRunTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(HostileMessageTest, DeliversWithASaneEnvelope) {
  const MessageCase& c = GetParam();
  std::vector<std::string> box{c.text};
  Pop3Peer pop(box);
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);

  EXPECT_EQ(Run(), kRunDone);

  ASSERT_EQ(smtp.Mails().size(), 1U) << Log();
  EXPECT_EQ(smtp.Mails()[0].data, AsDelivered(c.text));
  EXPECT_EQ(smtp.Mails()[0].mailFrom, c.mailFrom);
  EXPECT_EQ(smtp.Mails()[0].rcptTo, std::vector<std::string>{c.rcptTo});
  EXPECT_EQ(pop.Deleted(), std::set<int>{1});
  // Exactly one command per envelope line: nothing from a header became a command.
  std::string wire = smtp.Transcript();
  std::string commands = wire.substr(0, wire.find("DATA\r\n"));
  EXPECT_EQ(commands, Helo() + "MAIL FROM:" + c.mailFrom + "\r\nRCPT TO:" + c.rcptTo + "\r\n");
  ExpectNothingLost(box, pop, smtp);
}

std::string ManyAddresses() {
  std::string to = "To: ";
  for (int i = 0; i < 5000; ++i) to += "Person " + std::to_string(i) + " <p" + std::to_string(i) + "@many.example>, ";
  return to + "last@many.example";
}

// A literal with its NUL bytes.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

std::string Nested(int depth) { return std::string(depth, '(') + "comment" + std::string(depth, ')'); }

const std::string kOwnFrom = "<gateway@office.example>";
const std::string kOwnTo = "<postmaster@office.example>";

INSTANTIATE_TEST_SUITE_P(
    Messages, HostileMessageTest,
    ::testing::Values(
        MessageCase{"WithoutHeaderBlock", "nur Text, kein Kopf\r\nzweite Zeile\r\n", kOwnFrom, kOwnTo},
        MessageCase{"HeaderOver2048Bytes",
                    Message("X-Long: " + std::string(3000, 'a') + "\r\nFrom: <far@sender.example>\r\n" +
                            "X-Fold: b\r\n " + std::string(2100, 'b') + "\r\nTo: <last@mailbox.example>"),
                    "<far@sender.example>", "<last@mailbox.example>"},
        MessageCase{"NulBytes",
                    Message(Bytes("From: <nul@sender.example>\r\nX-Nul: a\0b\r\nTo: <nul@mailbox.example>"),
                            Bytes("vor\0nach\r\n\0\r\n")),
                    "<nul@sender.example>", "<nul@mailbox.example>"},
        MessageCase{"NulInAddress", Message(Bytes("From: <x@y.example>\r\nTo: <a\0b@mailbox.example>")),
                    "<x@y.example>", kOwnTo},
        MessageCase{"VeryManyAddresses", Message("From: <many@sender.example>\r\n" + ManyAddresses()),
                    "<many@sender.example>", "<p0@many.example>"},
        MessageCase{"AddressHeaderBeginsWithAngle",
                    Message("From: >stray@sender.example\r\nTo: >evil@x.example, <anna@mailbox.example>"),
                    "<>", "<anna@mailbox.example>"},
        MessageCase{"AddressHeaderBeginsWithComma", Message("From: ,<c@sender.example>\r\nTo: ,<c@mailbox.example>"),
                    "<c@sender.example>", "<c@mailbox.example>"},
        MessageCase{"CarriageReturnInAddress",
                    Message("From: <a@sender.example>\rRCPT TO:<evil@x.example>\r\nTo: <b@mailbox.example>"),
                    kOwnFrom, "<b@mailbox.example>"},
        MessageCase{"LineFeedInAddress",
                    Message("From: <a@sender.example>\r\nTo: <b@mailbox.example>\nRCPT TO:<evil@x.example>"),
                    "<a@sender.example>", kOwnTo},
        MessageCase{"ControlCharacterInAddress", Message("From: <a\x1b[2J@sender.example>\r\nTo: <c\x7f@mailbox.example>"),
                    kOwnFrom, kOwnTo},
        MessageCase{"DeeplyNestedComments",
                    Message("From: " + Nested(10000) + " <deep@sender.example> " + Nested(500) +
                            "\r\nTo: " + Nested(3000) + "<deep@mailbox.example>"),
                    "<deep@sender.example>", "<deep@mailbox.example>"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace ferry::test
