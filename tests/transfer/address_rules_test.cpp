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

INSTANTIATE_TEST_SUITE_P(
    Recipients, AddressRuleTest,
    ::testing::Values(
        AddressCase{"FixedWhileForwarding", Rule::Recipient, 0, "To: <a@b.example>", "postmaster@office.example"},
        AddressCase{"FixedTickerAddress", Rule::Recipient, 0, "", "ticker@office.example", 0, 2},
        AddressCase{"FourActsAsZero", Rule::Recipient, 4, "To: <a@b.example>", "postmaster@office.example"},
        AddressCase{"BracketedLowerCased", Rule::Recipient, 1,
                    "From: x@y\r\nTo: Anna <Anna@Mailbox.EXAMPLE>\r\nSubject: s", "<anna@mailbox.example>"},
        AddressCase{"BracketedOnFirstLine", Rule::Recipient, 1, "To: <a@b.example>\r\nFrom: x@y", "<a@b.example>"},
        AddressCase{"BracketedOnLastLine", Rule::Recipient, 1, "From: x@y\r\nTo: <a@b.example>", "<a@b.example>"},
        AddressCase{"BracketedFarIntoALongBlock", Rule::Recipient, 1, kLong + "To: <far@b.example>",
                    "<far@b.example>"},
        AddressCase{"NoBracketsFails", Rule::Recipient, 1, "To: a@b.example\r\nX: y", std::nullopt},
        AddressCase{"BlankBeforeColonNotFound", Rule::Recipient, 1, "To : <a@b>\r\nX: y", std::nullopt},
        AddressCase{"ReplyToIsNotTo", Rule::Recipient, 1, "Reply-To: <r@b>\r\nX: y", std::nullopt},
        AddressCase{"FoldedValueIsItsFirstLine", Rule::Recipient, 1, "To: Anna\r\n <anna@b>\r\nX: y", std::nullopt},
        AddressCase{"EmptyValue", Rule::Recipient, 1, "To:\r\nX: y", std::nullopt},
        AddressCase{"CarriageReturnInside", Rule::Recipient, 1, "To: <a@b>\rRCPT TO:<evil@x>\r\nX: y", std::nullopt},
        AddressCase{"NulInside", Rule::Recipient, 1, std::string("To: <a@b\0>\r\nX: y", 16), std::nullopt},
        AddressCase{"LocalPartDisplayName", Rule::Recipient, 2, "To: Anna <Anna@mailbox.example>\r\nX: y",
                    "<anna@office.example>"},
        AddressCase{"LocalPartBareAfterBlank", Rule::Recipient, 2, "To: anna@mailbox.example",
                    "<anna@office.example>"},
        AddressCase{"LocalPartFirstOfSeveral", Rule::Recipient, 3, "To: <a@x.example>, <b@y.example>\r\nX: y",
                    "<a@office.example>"},
        AddressCase{"SevenActsAsThree", Rule::Recipient, 7, "To: bob@x.example, carl@y.example",
                    "<bob@office.example>"},
        AddressCase{"LocalPartWithoutBlankFails", Rule::Recipient, 2, "To:anna@mailbox.example\r\nX: y",
                    std::nullopt},
        AddressCase{"LocalPartBracketWithoutAtFails", Rule::Recipient, 2, "To: <anna>\r\nX: y", std::nullopt},
        AddressCase{"LocalPartUnclosedFails", Rule::Recipient, 2, "To: <anna@x\r\nX: y", std::nullopt},
        AddressCase{"SmtpToWithoutAtFails", Rule::Recipient, 2, "To: <anna@x>", std::nullopt, kErrorMalformedHeader,
                    1, "postmaster"}),
    [](const auto& param) { return std::string(param.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Senders, AddressRuleTest,
    ::testing::Values(
        AddressCase{"Fixed", Rule::Sender, 0, "From: <a@b>", "gateway@office.example"},
        AddressCase{"WholeValue", Rule::Sender, 1, "From: \"Info Desk\" <Info@B.example>\r\nX: y",
                    " \"info desk\" <info@b.example>"},
        AddressCase{"WholeValueOnFirstLine", Rule::Sender, 1, "From: a@b\r\nTo: c@d", " a@b"},
        AddressCase{"Null", Rule::Sender, 2, "From: <a@b>", ""},
        AddressCase{"OutsideTheModesIsNull", Rule::Sender, 5, "From: <a@b>", ""},
        AddressCase{"NegativeIsNull", Rule::Sender, 0xFFFFFFFFU, "From: <a@b>", ""},
        AddressCase{"ReducedKeepsStrayBracket", Rule::Sender, 3, "From: Info Desk <Info@B.example>\r\nX: y",
                    "info@b.example>"},
        AddressCase{"ReducedDropsComment", Rule::Sender, 3, "From: anna@b.example (Anna)\r\nX: y", "anna@b.example"},
        AddressCase{"ReducedWithoutAtSign", Rule::Sender, 3, "From: Anna\r\nX: y", std::nullopt, kErrorNoAtSign},
        AddressCase{"ReducedWithoutBlankOrBracket", Rule::Sender, 3, "From:anna@b\r\nX: y", std::nullopt,
                    kErrorNoConnection},
        AddressCase{"SenderHeader", Rule::Sender, 4, "Reply-To: <r@b>\r\nSender: Sec <s@b>\r\nX: y", "<s@b>"},
        AddressCase{"ReplyToWithoutSender", Rule::Sender, 4, "From: f@b\r\nReply-To: Rep <r@b>", "<r@b>"},
        AddressCase{"SenderWithoutBracketsFails", Rule::Sender, 4, "Sender: s@b\r\nReply-To: <r@b>\r\nX: y",
                    std::nullopt},
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
