// The SMTP delivery against a scripted server: the bytes on the wire, rejected
// messages, the VRFY rule, and the failures that end a connection.
#include <gtest/gtest.h>

#include <ostream>

#include "service/transfer/smtp_delivery.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {
namespace {

class SmtpDeliveryTest : public TransferTest {};

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

TEST_F(SmtpDeliveryTest, UnknownRecipientGetsItsMessageToSmtpTo) {
  SmtpPeer peer({.override = [](std::string_view command) -> std::optional<PeerReply> {
    if (command == "RCPT TO:<b@mailbox.example>\r\n") return Say("550 5.1.1 <b@mailbox.example>: unknown user\r\n");
    return std::nullopt;
  }});
  Use(peer);
  settings.addressmode = 1;
  auto context = WithMessages({Message("To: <a@mailbox.example>"), Message("To: <b@mailbox.example>"),
                               Message("To: <c@mailbox.example>")});

  DeliverMessages(*context);

  EXPECT_EQ(Delivered(*context), (std::vector<bool>{true, true, true}));
  ASSERT_EQ(peer.Mails().size(), 3U);
  EXPECT_EQ(peer.Mails()[1].rcptTo, (std::vector<std::string>{"<postmaster@office.example>"}));
  EXPECT_EQ(peer.Mails()[2].rcptTo.front(), "<c@mailbox.example>");
  EXPECT_NE(peer.Transcript().find("RCPT TO:<b@mailbox.example>\r\nRSET\r\nMAIL FROM:<gateway@office.example>\r\n"
                                   "RCPT TO:<postmaster@office.example>\r\nDATA\r\n"),
            std::string::npos);
  std::string log = Log();
  EXPECT_NE(log.find("Recipient b@mailbox.example of message 2 refused: 550 5.1.1"), std::string::npos);
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

// A shared mailbox: who gets each message, by "Local Domains", the recipient
// mode and "Envelope Header".
struct MultidropCase {
  const char* name;
  uint32_t addressmode;
  const char* localDomains;
  const char* envelopeHeader;
  std::vector<std::vector<std::string>> rcptTo;  // per message of kSharedMailbox
};
void PrintTo(const MultidropCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kSharedMailbox{
    Message("From: Partner <p@partner.example>\r\nTo: Anna <anna@firma.de>, bert@firma.de\r\n"
            "Cc: Partner Info <info@partner.example>"),
    Message("From: p@partner.example\r\nTo: anna@firma.de,\r\n \"Carla\" <carla@firma.com>\r\n"
            "Cc: bert@FIRMA.de, anna@firma.de (again), undisclosed-recipients:;"),
    Message("From: p@partner.example\r\nTo: info@partner.example\r\nCc: Anna <anna@elsewhere.example>"),
    Message("Delivered-To: carla@firma.de\r\nFrom: p@partner.example\r\nTo: anna@firma.de")};

class MultidropTest : public SmtpDeliveryTest, public ::testing::WithParamInterface<MultidropCase> {};

TEST_P(MultidropTest, EveryLocalAddressGetsItsOwnRecipientAndNoOtherDoes) {
  const MultidropCase& c = GetParam();
  SmtpPeer peer;
  Use(peer);
  settings.addressmode = c.addressmode;
  settings.localDomains = c.localDomains;
  settings.envelopeHeader = c.envelopeHeader;
  auto context = WithMessages(kSharedMailbox);
  DeliverMessages(*context);
  EXPECT_EQ(Delivered(*context), std::vector<bool>(kSharedMailbox.size(), true));
  std::vector<std::vector<std::string>> got;
  for (const ReceivedMail& mail : peer.Mails()) got.push_back(mail.rcptTo);
  EXPECT_EQ(got, c.rcptTo);
}

const std::string kOwn = "<postmaster@office.example>";
INSTANTIATE_TEST_SUITE_P(
    SharedMailbox, MultidropTest,
    ::testing::Values(
        MultidropCase{"WithoutLocalDomainsTheFirstToOnly", 1, "", "",
                      {{"<anna@firma.de>"}, {"<anna@firma.de>"}, {"<info@partner.example>"}, {"<anna@firma.de>"}}},
        MultidropCase{"AsFound",
                      1,
                      "firma.de, @firma.com",
                      "",
                      {{"<anna@firma.de>", "<bert@firma.de>"},
                       {"<anna@firma.de>", "<carla@firma.com>", "<bert@FIRMA.de>"},
                       {kOwn},
                       {"<anna@firma.de>"}}},
        MultidropCase{"LocalPartAtOurDomain",
                      2,
                      "firma.de firma.com",
                      "",
                      {{"<anna@office.example>", "<bert@office.example>"},
                       {"<anna@office.example>", "<carla@office.example>", "<bert@office.example>"},
                       {kOwn},
                       {"<anna@office.example>"}}},
        MultidropCase{"EnvelopeHeaderWhenPresent",
                      1,
                      "firma.de firma.com",
                      "Delivered-To",
                      {{"<anna@firma.de>", "<bert@firma.de>"},
                       {"<anna@firma.de>", "<carla@firma.com>", "<bert@FIRMA.de>"},
                       {kOwn},
                       {"<carla@firma.de>"}}},
        MultidropCase{"FixedModeIgnoresTheList", 0, "firma.de", "", {{kOwn}, {kOwn}, {kOwn}, {kOwn}}}),
    [](const auto& param) { return std::string(param.param.name); });

// Each recipient's reply counts for itself: one refused for good is dropped,
// one refused for now holds the message back, the rest get it.
TEST_F(SmtpDeliveryTest, RecipientsAreRefusedOneByOne) {
  SmtpPeer peer({.override = [](std::string_view command) -> std::optional<PeerReply> {
    if (command.starts_with("RCPT TO:<bert@")) return Say("550 5.1.1 unknown user\r\n");
    if (command == "RCPT TO:<carla@firma.com>\r\n") return Say("452 4.2.2 over quota\r\n");
    return std::nullopt;
  }});
  Use(peer);
  settings.addressmode = 1;
  settings.localDomains = "firma.de firma.com";
  auto context = WithMessages({kSharedMailbox[1], kSharedMailbox[0]});
  DeliverMessages(*context);
  // Message 1 waits for carla; message 2 is done (bert refused for good).
  EXPECT_EQ(Delivered(*context), (std::vector<bool>{false, true}));
  ASSERT_EQ(peer.Mails().size(), 2U);
  EXPECT_EQ(peer.Mails()[0].rcptTo, (std::vector<std::string>{"<anna@firma.de>"}));
  EXPECT_NE(peer.Transcript().find("RCPT TO:<bert@FIRMA.de>"), std::string::npos);
  EXPECT_EQ(peer.Mails()[1].rcptTo, (std::vector<std::string>{"<anna@firma.de>"}));
  EXPECT_EQ(peer.Transcript().find("RCPT TO:<postmaster"), std::string::npos);
  EXPECT_EQ(context->forwardedCount, 2);
}

struct ExtensionCase {
  const char* name;
  std::vector<std::string> keywords;
  std::string text;
  std::string expected;  // the client's bytes after EHLO
};
void PrintTo(const ExtensionCase& c, std::ostream* os) { *os << c.name; }

class ExtensionTest : public SmtpDeliveryTest, public ::testing::WithParamInterface<ExtensionCase> {};

// Pipelined, DATA follows the recipients even when every one is refused (the
// server answers it with an error, then RSET); 8BITMIME only for 8-bit text.
TEST_P(ExtensionTest, MailCommandsFollowTheAnnouncedExtensions) {
  const ExtensionCase& c = GetParam();
  SmtpPeer peer({.keywords = c.keywords, .override = [](std::string_view command) -> std::optional<PeerReply> {
                   if (command.starts_with("RCPT TO:<refused@")) return Say("550 5.1.1 unknown\r\n");
                   return std::nullopt;
                 }});
  Use(peer);
  settings.addressmode = 1;
  settings.smtpTo = "refused@office.example";
  settings.addressmodeFrom = 1;
  auto context = WithMessages({c.text});
  DeliverMessages(*context);
  std::string wire = peer.Transcript();
  ASSERT_TRUE(wire.starts_with(Helo()));
  wire = wire.substr(Helo().size());
  EXPECT_EQ(wire.substr(0, wire.find("\r\n\r\n")), c.expected);
}

const std::string kUmlaut = Message("From: <a@b.example>\r\nTo: <x@y.example>", "Gr\xC3\xBC\xC3\x9F" "e\r\n");
const std::string kPlain = Message("From: <a@b.example>\r\nTo: <x@y.example>");
INSTANTIATE_TEST_SUITE_P(
    Extensions, ExtensionTest,
    ::testing::Values(
        ExtensionCase{"EightBitWhereOffered", {"8BITMIME"}, kUmlaut,
                      "MAIL FROM:<a@b.example> BODY=8BITMIME\r\nRCPT TO:<x@y.example>\r\nDATA\r\nx-info: "
                      "Forwarded from POP3 <-> SMTP Gateway\r\nFrom: <a@b.example>\r\nTo: <x@y.example>"},
        ExtensionCase{"SevenBitTextNoBody", {"8BITMIME"}, kPlain,
                      "MAIL FROM:<a@b.example>\r\nRCPT TO:<x@y.example>\r\nDATA\r\nx-info: "
                      "Forwarded from POP3 <-> SMTP Gateway\r\nFrom: <a@b.example>\r\nTo: <x@y.example>"},
        ExtensionCase{"EightBitNotOffered", {}, kUmlaut,
                      "MAIL FROM:<a@b.example>\r\nRCPT TO:<x@y.example>\r\nDATA\r\nx-info: "
                      "Forwarded from POP3 <-> SMTP Gateway\r\nFrom: <a@b.example>\r\nTo: <x@y.example>"},
        ExtensionCase{"PipelinedRefusal", {"PIPELINING"},
                      Message("From: <a@b.example>\r\nTo: <refused@y.example>"),
                      "MAIL FROM:<a@b.example>\r\nRCPT TO:<refused@y.example>\r\nDATA\r\nRSET\r\n"
                      "MAIL FROM:<a@b.example>\r\nRCPT TO:<refused@office.example>\r\nDATA\r\nRSET\r\nQUIT\r\n"},
        ExtensionCase{"UnpipelinedEveryRecipientRefused", {},
                      Message("From: <a@b.example>\r\nTo: <refused@office.example>"),
                      "MAIL FROM:<a@b.example>\r\nRCPT TO:<refused@office.example>\r\nRSET\r\nQUIT\r\n"}),
    [](const auto& param) { return std::string(param.param.name); });

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

TEST_F(SmtpDeliveryTest, EmptyListOpensNoConnection) {
  SmtpPeer peer;
  Use(peer);
  auto context = Context();
  DeliverMessages(*context);
  EXPECT_EQ(peer.Connections(), 0);
  EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace ferry::test
