// The envelope address rules as a table: header blocks against each sender and
// recipient mode, the failures that make the caller fall back, and the paths.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>

#include "service/transfer/address_rules.h"
#include "service/transfer/transfer_error.h"

namespace ferry {
namespace {

enum class Rule { Sender, Recipient };

struct AddressCase {
  const char* name;
  Rule rule;
  uint32_t mode;
  std::string block;
  std::optional<std::string> expected;  // nullopt: the rule fails with `code`
  int code = kErrorMalformedHeader;
  int32_t runStage = 1;
  std::string smtpTo = "postmaster@office.example";
};
void PrintTo(const AddressCase& c, std::ostream* os) { *os << c.name; }

class AddressRuleTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressRuleTest, YieldsTheAddressOrFails) {
  const AddressCase& c = GetParam();
  AddressSettings s;
  s.smtpFrom = "gateway@office.example";
  s.smtpTo = c.smtpTo;
  s.tickerEMail = "ticker@office.example";
  s.runStage = c.runStage;
  (c.rule == Rule::Sender ? s.addressmodeFrom : s.addressmode) = c.mode;
  auto compute = [&] { return c.rule == Rule::Sender ? SenderByRule(c.block, s) : RecipientByRule(c.block, s); };
  if (c.expected) {
    EXPECT_EQ(compute(), *c.expected);
  } else {
    try {
      std::string got = compute();
      ADD_FAILURE() << "expected a failure, got \"" << got << "\"";
    } catch (const TransferError& error) {
      EXPECT_EQ(error.code, c.code);
    }
  }
}

const std::string kLong = "X-Filler: " + std::string(3000, 'f') + "\r\n";

// The header forms met in real mail; every address the rules yield is bare.
INSTANTIATE_TEST_SUITE_P(
    Recipients, AddressRuleTest,
    ::testing::Values(
        AddressCase{"FixedWhileForwarding", Rule::Recipient, 0, "To: <a@b.example>", "postmaster@office.example"},
        AddressCase{"FixedTickerAddress", Rule::Recipient, 0, "", "ticker@office.example", 0, 2},
        AddressCase{"FixedIsBareToo", Rule::Recipient, 0, "", "postmaster@office.example", 0, 1,
                    "Office <postmaster@office.example>"},
        AddressCase{"FourActsAsZero", Rule::Recipient, 4, "To: <a@b.example>", "postmaster@office.example"},
        AddressCase{"DisplayNameCaseKept", Rule::Recipient, 1,
                    "From: x@y\r\nTo: Anna <Anna@Mailbox.EXAMPLE>\r\nSubject: s", "Anna@Mailbox.EXAMPLE"},
        AddressCase{"HeaderNameInAnyCase", Rule::Recipient, 1, "TO: <a@b.example>\r\nFrom: x@y", "a@b.example"},
        AddressCase{"FarIntoALongBlock", Rule::Recipient, 1, kLong + "To: <far@b.example>", "far@b.example"},
        AddressCase{"BareAddress", Rule::Recipient, 1, "To: a@b.example\r\nX: y", "a@b.example"},
        AddressCase{"CommentDropped", Rule::Recipient, 1, "To: orders@shop.example (shop order system)\r\nX: y",
                    "orders@shop.example"},
        AddressCase{"FoldedValue", Rule::Recipient, 1, "To: Anna\r\n <anna@b.example>\r\nX: y", "anna@b.example"},
        AddressCase{"QuotedNameWithAtSign", Rule::Recipient, 1,
                    "To: \"bob@other.example\" <bob@office.example>\r\nX: y", "bob@office.example"},
        AddressCase{"EncodedWordName", Rule::Recipient, 1, "To: =?utf-8?q?J=C3=BCrgen?= <juergen@b.example>",
                    "juergen@b.example"},
        AddressCase{"QuotedLocalPart", Rule::Recipient, 1, "To: \"john doe\"@b.example", "\"john doe\"@b.example"},
        AddressCase{"SkipsAnUnreadableFirst", Rule::Recipient, 1, "To: <anna>, carla@b.example", "carla@b.example"},
        AddressCase{"GroupOnlyFails", Rule::Recipient, 1, "To: undisclosed-recipients:;\r\nX: y", std::nullopt},
        AddressCase{"NoDomainFails", Rule::Recipient, 1, "To: <anna>\r\nX: y", std::nullopt},
        AddressCase{"BrokenQuoteFails", Rule::Recipient, 1, "To: <doe\"@office.test>\r\nX: y", std::nullopt},
        AddressCase{"QuotedTextOnlyFails", Rule::Recipient, 1, "To: \"bob@other.example\"\r\nX: y", std::nullopt},
        AddressCase{"BlankBeforeColonNotFound", Rule::Recipient, 1, "To : <a@b>\r\nX: y", std::nullopt},
        AddressCase{"ReplyToIsNotTo", Rule::Recipient, 1, "Reply-To: <r@b>\r\nX: y", std::nullopt},
        AddressCase{"EmptyValue", Rule::Recipient, 1, "To:\r\nX: y", std::nullopt},
        AddressCase{"BlankValue", Rule::Recipient, 1, "To:  \r\n \r\nX: y", std::nullopt},
        AddressCase{"CarriageReturnInside", Rule::Recipient, 1, "To: <a@b>\rRCPT TO:<evil@x>\r\nX: y", std::nullopt},
        AddressCase{"NulInside", Rule::Recipient, 1, std::string("To: <a@b\0>\r\nX: y", 16), std::nullopt},
        AddressCase{"LocalPartDisplayName", Rule::Recipient, 2, "To: Anna <Anna@mailbox.example>\r\nX: y",
                    "Anna@office.example"},
        AddressCase{"LocalPartBare", Rule::Recipient, 2, "To:anna@mailbox.example", "anna@office.example"},
        AddressCase{"LocalPartFirstOfSeveral", Rule::Recipient, 3, "To: <a@x.example>, <b@y.example>\r\nX: y",
                    "a@office.example"},
        AddressCase{"SevenActsAsThree", Rule::Recipient, 7, "To: bob@x.example, carl@y.example",
                    "bob@office.example"},
        AddressCase{"LocalPartOfAGroupMember", Rule::Recipient, 2, "To: team: <a@x.example>;", "a@office.example"},
        AddressCase{"LocalPartWithoutAtFails", Rule::Recipient, 2, "To: <anna>\r\nX: y", std::nullopt},
        AddressCase{"LocalPartUnclosedFails", Rule::Recipient, 2, "To: <anna@x\r\nX: y", std::nullopt},
        AddressCase{"SmtpToWithoutAtFails", Rule::Recipient, 2, "To: <anna@x>", std::nullopt, kErrorMalformedHeader,
                    1, "postmaster"}),
    [](const auto& param) { return std::string(param.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Senders, AddressRuleTest,
    ::testing::Values(
        AddressCase{"Fixed", Rule::Sender, 0, "From: <a@b>", "gateway@office.example"},
        AddressCase{"DisplayName", Rule::Sender, 1, "From: \"Info Desk\" <Info@B.example>\r\nX: y",
                    "Info@B.example"},
        AddressCase{"BareOnFirstLine", Rule::Sender, 1, "From: a@b.example\r\nTo: c@d", "a@b.example"},
        AddressCase{"Null", Rule::Sender, 2, "From: <a@b>", ""},
        AddressCase{"OutsideTheModesIsNull", Rule::Sender, 5, "From: <a@b>", ""},
        AddressCase{"NegativeIsNull", Rule::Sender, 0xFFFFFFFFU, "From: <a@b>", ""},
        AddressCase{"ReducedDisplayName", Rule::Sender, 3, "From: Info Desk <Info@B.example>\r\nX: y",
                    "Info@B.example"},
        AddressCase{"ReducedDropsComment", Rule::Sender, 3, "From: anna@b.example (Anna)\r\nX: y", "anna@b.example"},
        AddressCase{"NoAddressIsNull", Rule::Sender, 3, "From: Anna\r\nX: y", ""},
        AddressCase{"GroupIsNull", Rule::Sender, 1, "From: undisclosed:;\r\nX: y", ""},
        AddressCase{"AbsentFails", Rule::Sender, 1, "To: <a@b.example>\r\nX: y", std::nullopt},
        AddressCase{"EmptyFails", Rule::Sender, 3, "From:\r\nX: y", std::nullopt},
        AddressCase{"SenderHeader", Rule::Sender, 4, "Reply-To: <r@b.example>\r\nSender: Sec <s@b.example>\r\nX: y",
                    "s@b.example"},
        AddressCase{"ReplyToWithoutSender", Rule::Sender, 4, "From: f@b\r\nReply-To: Rep <r@b.example>",
                    "r@b.example"},
        AddressCase{"SenderBare", Rule::Sender, 4, "Sender: s@b.example\r\nReply-To: <r@b.example>\r\nX: y",
                    "s@b.example"},
        AddressCase{"NeitherFails", Rule::Sender, 4, "From: <f@b>\r\nX: y", std::nullopt}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(HeaderBlockTest, EndsAtTheFirstEmptyLine) {
  EXPECT_EQ(HeaderBlockOf("A: b\r\nC: d\r\n\r\nbody\r\n\r\nmore"), "A: b\r\nC: d");
  EXPECT_EQ(HeaderBlockOf("A: b\r\nC: d"), "A: b\r\nC: d");
}

TEST(EnvelopeAddressTest, TakesTheBracketedAddressOrTheTrimmedText) {
  struct Case {
    std::string computed, address;
  };
  for (const Case& c : std::vector<Case>{{"<a@b>", "a@b"},
                                         {" \"info desk\" <a@b.example>", "a@b.example"},
                                         {"a@b.example>", "a@b.example"},
                                         {"", ""},
                                         {"  a@b  ", "a@b"},
                                         {"postmaster@office.example", "postmaster@office.example"},
                                         {"<a@b", "a@b"},
                                         {"<a@b>, <c@d>", "a@b"}}) {
    EXPECT_EQ(EnvelopeAddress(c.computed), c.address) << c.computed;
  }
}

}  // namespace
}  // namespace ferry
