// The SMTP delivery against a scripted server: the bytes on the wire, rejected
// messages, the VRFY rule, and the failures that end a connection.
#include <gtest/gtest.h>

#include <ostream>

#include "service/transfer/smtp_delivery.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {
namespace {

class SmtpDeliveryTest : public TransferTest {
 protected:
  // A context with the given messages in its list (server numbers 1, 2, ...).
  std::unique_ptr<RunContext> WithMessages(const std::vector<std::string>& texts) {
    auto context = Context();
    context->runStage = 1;
    int32_t number = 1;
    for (const std::string& text : texts) {
      context->mailList.emplace_back();
      context->mailList.back().SetText(text, number++);
    }
    return context;
  }
  static std::vector<bool> Delivered(const RunContext& context) {
    std::vector<bool> out;
    for (const MailRecord& r : context.mailList) out.push_back(r.delivered);
    return out;
  }
};

const std::string kToAnna = Message("From: Bob <bob@sender.example>\r\nTo: Anna <anna@mailbox.example>");
const std::string kToBert = Message("From: bob@sender.example\r\nTo: bert@mailbox.example");

TEST_F(SmtpDeliveryTest, SendsEveryByteOfTwoMessages) {
  SmtpPeer peer;
  Use(peer);
  settings.addressmode = 2;
  settings.addressmodeFrom = 3;
  auto context = WithMessages({kToAnna, kToBert});

  DeliverMessages(*context);

  std::string first = std::string(kXInfoLine) + kToAnna + "\r\n.\r\n";
  std::string second = std::string(kXInfoLine) + kToBert + "\r\n.\r\n";
  EXPECT_EQ(peer.Transcript(), Helo() +
                                   "MAIL FROM:<bob@sender.example>\r\nRCPT TO:<anna@office.example>\r\nDATA\r\n" +
                                   first +
                                   "MAIL FROM:<bob@sender.example>\r\nRCPT TO:<bert@office.example>\r\nDATA\r\n" +
                                   second + "QUIT\r\n");
  EXPECT_EQ(Delivered(*context), (std::vector<bool>{true, true}));
  ASSERT_EQ(peer.Mails().size(), 2U);
  EXPECT_EQ(peer.Mails()[0].data, first);
  // The log shows the computed texts, the wire the paths.
  EXPECT_NE(Log().find("----------- SMTP Closed  ----------"), std::string::npos);
}

TEST_F(SmtpDeliveryTest, NullSenderAndDisplayNameBecomePaths) {
  SmtpPeer peer;
  Use(peer);
  settings.addressmode = 1;
  settings.addressmodeFrom = 2;
  auto context = WithMessages({kToAnna});
  DeliverMessages(*context);
  ASSERT_EQ(peer.Mails().size(), 1U);
  EXPECT_EQ(peer.Mails()[0].mailFrom, "<>");
  EXPECT_EQ(peer.Mails()[0].rcptTo, (std::vector<std::string>{"<anna@mailbox.example>"}));
}

TEST_F(SmtpDeliveryTest, RejectedSecondRecipientOfThreeHoldsBackOnlyItself) {
  SmtpPeer peer({.override = [](std::string_view command) -> std::optional<PeerReply> {
    if (command == "RCPT TO:<b@mailbox.example>\r\n") return Say("550 5.1.1 <b@mailbox.example>: unknown user\r\n");
    return std::nullopt;
  }});
  Use(peer);
  settings.addressmode = 1;
  auto context = WithMessages({Message("To: <a@mailbox.example>"), Message("To: <b@mailbox.example>"),
                               Message("To: <c@mailbox.example>")});

  DeliverMessages(*context);

  EXPECT_EQ(Delivered(*context), (std::vector<bool>{true, false, true}));
  ASSERT_EQ(peer.Mails().size(), 2U);
  EXPECT_EQ(peer.Mails()[1].rcptTo.front(), "<c@mailbox.example>");
  std::string wire = peer.Transcript();
  EXPECT_NE(wire.find("RCPT TO:<b@mailbox.example>\r\nRSET\r\nMAIL FROM:<gateway@office.example>\r\n"),
            std::string::npos);
  std::string log = Log();
  EXPECT_NE(log.find("ERROR: Protokol returned:550 !"), std::string::npos);
  EXPECT_NE(log.find("Message 2 not accepted: 550 5.1.1"), std::string::npos);
  EXPECT_EQ(log.find("Protokol SMTP fail!"), std::string::npos);
}

TEST_F(SmtpDeliveryTest, RejectedDataEndLeavesMessageUndelivered) {
  int ends = 0;
  SmtpPeer peer({.override = [&ends](std::string_view command) -> std::optional<PeerReply> {
    if (command == "<end of data>" && ++ends == 1) return Say("554 5.7.1 message refused\r\n");
    return std::nullopt;
  }});
  Use(peer);
  auto context = WithMessages({kToAnna, kToBert});
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), (std::vector<bool>{false, true}));
}

struct VrfyCase {
  const char* name;
  uint32_t addressmode;
  const char* vrfyReply;  // nullptr: no VRFY expected
  const char* rcpt;
};
void PrintTo(const VrfyCase& c, std::ostream* os) { *os << c.name; }

class VrfyTest : public SmtpDeliveryTest, public ::testing::WithParamInterface<VrfyCase> {};

TEST_P(VrfyTest, RecipientFollowsTheVerification) {
  const VrfyCase& c = GetParam();
  std::string reply = c.vrfyReply ? c.vrfyReply : "";
  SmtpPeer peer({.override = [reply](std::string_view command) -> std::optional<PeerReply> {
    if (command.starts_with("VRFY")) return Say(reply);
    return std::nullopt;
  }});
  Use(peer);
  settings.addressmode = c.addressmode;
  auto context = WithMessages({kToAnna});
  DeliverMessages(*context);
  std::string wire = peer.Transcript();
  EXPECT_EQ(wire.find("VRFY <anna@office.example>\r\n") != std::string::npos, c.vrfyReply != nullptr);
  ASSERT_EQ(peer.Mails().size(), 1U);
  EXPECT_EQ(peer.Mails()[0].rcptTo.front(), c.rcpt);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, VrfyTest,
    ::testing::Values(VrfyCase{"Accepted", 3, "250 <anna@office.example>\r\n", "<anna@office.example>"},
                      VrfyCase{"CannotVerify", 3, "252 2.0.0 anna\r\n", "<postmaster@office.example>"},
                      VrfyCase{"Unknown", 3, "550 5.1.1 unknown\r\n", "<postmaster@office.example>"},
                      VrfyCase{"MultiLine", 3, "250-first\r\n250 <anna@office.example>\r\n", "<anna@office.example>"},
                      VrfyCase{"ModeSevenSendsNoVrfy", 7, nullptr, "<anna@office.example>"}),
    [](const auto& param) { return std::string(param.param.name); });

struct FailureCase {
  const char* name;
  const char* trigger;  // how the answered command begins ("" for the greeting)
  PeerReply reply;
  std::vector<bool> delivered;
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class SmtpFailureTest : public SmtpDeliveryTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SmtpFailureTest, EndsTheConnectionAndKeepsTheRestUndelivered) {
  const FailureCase& c = GetParam();
  std::string trigger = c.trigger;
  PeerReply reply = c.reply;
  SmtpPeer peer({.override = [trigger, reply](std::string_view command) -> std::optional<PeerReply> {
    if (trigger.empty() ? command.empty() : command.starts_with(trigger)) return reply;
    return std::nullopt;
  }});
  Use(peer);
  auto context = WithMessages({Message("To: <a@x.example>"), Message("To: <b@x.example>")});
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), c.delivered);
  std::string log = Log();
  EXPECT_NE(log.find("Protokol SMTP fail!"), std::string::npos);
  EXPECT_NE(log.find("----------- SMTP Closed  ----------"), std::string::npos);
  EXPECT_EQ(peer.Transcript().find("QUIT"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SmtpFailureTest,
    ::testing::Values(
        FailureCase{"ClosingService", "MAIL FROM:<gateway@office.example>\r\n", Say("421 4.3.2 shutting down\r\n"),
                    {false, false}},
        FailureCase{"CloseMidReply", "DATA\r\n", SayAndClose("354 go"), {false, false}},
        FailureCase{"CloseMidMultiLineHelo", "", SayAndClose("220-one\r\n220-two\r\n"), {false, false}},
        FailureCase{"HugeLine", "RCPT TO:<postmaster@office.example>\r\n",
                    PeerReply{{std::string(200 * 1024, 'x')}, PeerReply::Then::Hang}, {false, false}},
        FailureCase{"EhloRefusedForNow", "EHLO ", Say("454 4.7.0 try again later\r\n"), {false, false}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SmtpDeliveryTest, SilentServerTimesOutAfterTheFirstMessage) {
  int ends = 0;
  SmtpPeer peer({.override = [&ends](std::string_view command) -> std::optional<PeerReply> {
    if (command == "<end of data>" && ++ends == 2) return Silence();
    return std::nullopt;
  }});
  Use(peer);
  receiveTimeout = kShortReceiveTimeout;
  auto context = WithMessages({kToAnna, kToBert});
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), (std::vector<bool>{true, false}));
  EXPECT_NE(Log().find("Protokol SMTP fail!"), std::string::npos);
}

TEST_F(SmtpDeliveryTest, RecordsWithoutTextOrAlreadyDeliveredAreNotSent) {
  SmtpPeer peer;
  Use(peer);
  auto context = WithMessages({kToAnna});
  context->mailList.front().delivered = true;
  context->mailList.emplace_back();  // a record that never got a text
  DeliverMessages(*context);
  EXPECT_EQ(peer.Transcript(), Helo() + "QUIT\r\n");
  EXPECT_FALSE(context->mailList.back().delivered);
}

TEST_F(SmtpDeliveryTest, EmptyListOpensNoConnectionAndRefusedConnectionIsLogged) {
  SmtpPeer peer;
  Use(peer);
  auto context = Context();
  DeliverMessages(*context);
  EXPECT_EQ(peer.Connections(), 0);
  EXPECT_EQ(Log(), "");

  settings.smtpHost = UnusedLoopbackAddress();
  auto refused = WithMessages({kToAnna});
  DeliverMessages(*refused);
  EXPECT_FALSE(refused->mailList.front().delivered);
  EXPECT_NE(Log().find("Protokol SMTP fail!"), std::string::npos);
}

}  // namespace
}  // namespace ferry::test
