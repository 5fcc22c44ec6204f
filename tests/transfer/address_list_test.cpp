// The address reader as a table of header values met in real mail and in the
// hostile-message list (those the hostile-message runs carry to the wire are
// checked there), and the helpers around it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "service/transfer/address_list.h"

namespace ferry {
namespace {

using List = std::vector<std::string>;

struct ListCase {
  const char* name;
  std::string value;
  List expected;
};
void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }

class ReadAddressListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ReadAddressListTest, YieldsTheAddrSpecs) {
  const ListCase& c = GetParam();
  List got = ReadAddressList(c.value);
  EXPECT_EQ(got, c.expected);
  // What the reader yields reads back the same, bare and as a path.
  for (const std::string& address : got) {
    EXPECT_EQ(ReadAddressList(address), List{address});
    EXPECT_EQ(ReadAddressList(SmtpPath(address)), List{address});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, ReadAddressListTest,
    ::testing::Values(
        // Display names, comments, encoded words
        ListCase{"TrailingComment", " orders@shop.example (shop order system)", {"orders@shop.example"}},
        ListCase{"QuotedNameWithComma", " \"Doe, John\" <doe@office.test>", {"doe@office.test"}},
        ListCase{"AtomName", " Anna Berg <Anna.Berg@Firma.DE>", {"Anna.Berg@Firma.DE"}},
        ListCase{"EncodedWordName", " =?UTF-8?Q?M=C3=BCller?= <mueller@firma.de>", {"mueller@firma.de"}},
        ListCase{"EncodedWordWithSpecials", " =?iso-8859-1?Q?M=FCller,_Hans_<x>?= <h@firma.de>", {"h@firma.de"}},
        ListCase{"BrokenEncodedWordIsAtoms", " =?utf-8?q?Anna <anna@firma.de>", {"anna@firma.de"}},
        ListCase{"EightBitName", " M\xc3\xbcller <mueller@firma.de>", {"mueller@firma.de"}},
        ListCase{"BracketedTagInName", " [Extern] Anna <anna@firma.de>", {"anna@firma.de"}},
        ListCase{"AtSignInName", " anna@firma.de <anna@firma.de>", {"anna@firma.de"}},
        ListCase{"CommentsEverywhere", "(a) anna(b)@(c)firma(d).(e)de(f), (x (nested (deep)) \\) y) <b@firma.de>",
                 {"anna@firma.de", "b@firma.de"}},
        // Lists, groups, separators, folding
        ListCase{"CcWithSeveral", " Anna <anna@firma.de>, bert@firma.de,\"C. Carla\" <carla@firma.com>",
                 {"anna@firma.de", "bert@firma.de", "carla@firma.com"}},
        ListCase{"SemicolonSeparated", " anna@firma.de; bert@firma.de, carla@firma.com;",
                 {"anna@firma.de", "bert@firma.de", "carla@firma.com"}},
        ListCase{"UndisclosedRecipients", " undisclosed-recipients:;", {}},
        ListCase{"GroupWithMembers", " team: a@x.example, \"B\" <b@y.example>; c@z.example",
                 {"a@x.example", "b@y.example", "c@z.example"}},
        ListCase{"QuotedGroupName", " \"Team A\": a@x.example;", {"a@x.example"}},
        ListCase{"GroupNotClosed", " team: a@x.example, b@y.example", {"a@x.example", "b@y.example"}},
        ListCase{"GroupInGroup", " a: b: c@x.example;, d@x.example", {"d@x.example"}},
        ListCase{"Folded", " Anna\r\n <anna@firma.de>,\r\n\tbert@firma.de\r\n", {"anna@firma.de", "bert@firma.de"}},
        ListCase{"FoldedInsideQuotes", " \"john\r\n doe\"@example.org", {"\"john doe\"@example.org"}},
        ListCase{"EmptyElements", " ,<c@mailbox.example>,, ,", {"c@mailbox.example"}},
        ListCase{"NoBlankAfterColon", "anna@mailbox.example", {"anna@mailbox.example"}},
        ListCase{"Empty", "", {}},
        // Local parts and domains
        ListCase{"QuotedLocalPartKept", " \"john doe\"@example.org", {"\"john doe\"@example.org"}},
        ListCase{"NeedlessQuotesDropped", " \"john\".\"doe\"@example.org", {"john.doe@example.org"}},
        ListCase{"QuotedPairsEscaped", " \"a\\\"b\\\\c\"@example.org", {"\"a\\\"b\\\\c\"@example.org"}},
        ListCase{"QuotedAtSign", " <\"odd@name\"@example.org>", {"\"odd@name\"@example.org"}},
        ListCase{"ObsoleteRoute", " <@route,@r2:user@host>", {"user@host"}},
        ListCase{"RouteWithEmptyEntries", " x <,@a.example,,@[192.0.2.9]:u@h.example>, v@h.example",
                 {"u@h.example", "v@h.example"}},
        ListCase{"IPv4Literal", " root@[192.0.2.1]", {"root@[192.0.2.1]"}},
        ListCase{"IPv6Literal", " root@[IPv6:2001:db8::1]", {"root@[IPv6:2001:db8::1]"}},
        ListCase{"BadLiteral", " root@[300.1.2.3], x@[a b], y@[host]", {}},
        ListCase{"AtextLocalPart", " a!#$%&'*+/=?^_`{|}~-@x.example", {"a!#$%&'*+/=?^_`{|}~-@x.example"}},
        // What yields nothing, next to what still yields
        ListCase{"NoDomain", " anna", {}},
        ListCase{"BrokenQuote", " doe\"@office.test", {}},
        ListCase{"UnclosedQuoteSpoilsOneElement", " \"Doe, John <doe@office.test>, anna@firma.de",
                 {"doe@office.test", "anna@firma.de"}},
        ListCase{"QuotedStringOnly", " \"bob@other.example\"", {}},
        ListCase{"QuotedNameOfNothing", " \"bob@other.example\" <>", {}},
        ListCase{"AngleWithoutAt", " <anna>, <@x>, <a@>, @x.example", {}},
        ListCase{"PhraseBeforeBareAddress", " Anna anna@firma.de, bert@firma.de", {"bert@firma.de"}},
        ListCase{"UnclosedAngle", " <anna@firma.de, bert@firma.de", {"bert@firma.de"}},
        ListCase{"TwoAnglesNoComma", " <a@x.example> <b@x.example>, c@x.example", {"c@x.example"}},
        ListCase{"TextAfterAngle", " <a@x.example> junk, c@x.example", {"c@x.example"}},
        ListCase{"UnclosedComment", " (note <a@x.example>, b@x.example", {"b@x.example"}},
        ListCase{"CommentAfterUnclosedOneSpoilt", " (x, (c) a@x.example, b@x.example", {"b@x.example"}},
        ListCase{"EscapedQuoteShiftsThePairing", " \"x\\\", \"B\" <a@x.example>, b@x.example", {"b@x.example"}},
        ListCase{"StrayClosingBracket", " a@x.example), b@x.example", {"b@x.example"}},
        ListCase{"DotProblems", " .a@x.example, a.@x.example, a..b@x.example, a@x..example, a@.x", {}},
        ListCase{"BadDomainLabels", " a@-x.example, a@x_y.example, a@x.example., a@x!.example", {}},
        ListCase{"LocalPart64", " " + std::string(64, 'l') + "@x.example", {std::string(64, 'l') + "@x.example"}},
        ListCase{"LocalPart65", " " + std::string(65, 'l') + "@x.example", {}},
        ListCase{"QuotedLocalPartOver64", " \"" + std::string(62, 'l') + " \"@x.example", {}},
        ListCase{"Address254", " " + std::string(62, 'l') + "@" + std::string(63, 'd') + "." + std::string(63, 'd') +
                                   "." + std::string(63, 'd'),
                 {std::string(62, 'l') + "@" + std::string(63, 'd') + "." + std::string(63, 'd') + "." +
                  std::string(63, 'd')}},
        ListCase{"Address255", " " + std::string(63, 'l') + "@" + std::string(63, 'd') + "." + std::string(63, 'd') +
                                   "." + std::string(63, 'd'),
                 {}},
        ListCase{"Address300", " " + std::string(48, 'l') + "@" + std::string(60, 'd') + "." + std::string(60, 'd') +
                                   "." + std::string(60, 'd') + "." + std::string(60, 'd') + ".example, ok@x.example",
                 {"ok@x.example"}},
        ListCase{"CrLfNotAFold", " <b@mailbox.example>\r\nRCPT TO:<evil@x.example>", {}},
        ListCase{"ControlInName", " An\x01na <anna@firma.de>, bert@firma.de", {"bert@firma.de"}},
        ListCase{"ControlInComment", " anna@firma.de (\x07), bert@firma.de", {"bert@firma.de"}},
        ListCase{"TabInQuotedLocalPart", " \"a\tb\"@x.example", {}},
        ListCase{"EightBitLocalPart", " m\xc3\xbcller@firma.de, \"j\xf6rg\"@firma.de", {}},
        ListCase{"EightBitDomain", " anna@b\xc3\xbcro.de", {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(AddressValueLimitTest, ReadsOnlyTheFirst64KiB) {
  std::string value;
  while (value.size() < kMaxAddressHeaderValue - 100) value += "p" + std::to_string(value.size()) + "@many.example, ";
  value.resize(kMaxAddressHeaderValue - 20, ' ');
  // The limit cuts "abc@many.example.lon": dropped, not read as another address.
  List got = ReadAddressList(value + "abc@many.example.longer.example, last@many.example");
  EXPECT_EQ(got, ReadAddressList(value));
  EXPECT_GT(got.size(), 3000U);
}

TEST(FoldedHeaderValueTest, FindsTheFieldWithItsContinuationLines) {
  std::string block = "TO: first@x.example,\r\n second@x.example\r\nCc:c@x.example\r\nX-To: no\r\nTo: later";
  EXPECT_EQ(FoldedHeaderValue(block, "to"), " first@x.example,\r\n second@x.example");
  EXPECT_EQ(FoldedHeaderValue(block, "Cc"), "c@x.example");
  EXPECT_EQ(FoldedHeaderValue("Subject: s\r\nDelivered-To: d@x.example", "delivered-to"), " d@x.example");
  EXPECT_EQ(FoldedHeaderValue(block, "from"), std::nullopt);
  EXPECT_EQ(FoldedHeaderValue("To : a@x.example", "to"), std::nullopt);
}

TEST(AddressPartsTest, PathsDomainsAndLocalDomains) {
  EXPECT_EQ(SmtpPath("anna@firma.de"), "<anna@firma.de>");
  EXPECT_EQ(SmtpPath(""), "<>");
  EXPECT_EQ(DomainOf("\"a@b\"@firma.de"), "firma.de");
  EXPECT_EQ(LocalPartOf("\"a@b\"@firma.de"), "\"a@b\"");
  EXPECT_EQ(DomainOf("anna"), "");
  EXPECT_TRUE(SameDomain("Firma.DE", "firma.de"));
  EXPECT_FALSE(SameDomain("firma.de", "firma.de.evil.example"));
  EXPECT_EQ(ParseLocalDomains(" Firma.DE firma.com,;@b-2.firma.de\tfirma.de ; x_y.de, -a.de, [1.2.3.4], a..de"),
            (List{"firma.de", "firma.com", "b-2.firma.de"}));
  EXPECT_EQ(ParseLocalDomains(""), List{});
  EXPECT_TRUE(DomainInList("FIRMA.com", ParseLocalDomains("firma.de firma.com")));
  EXPECT_FALSE(DomainInList("sub.firma.com", ParseLocalDomains("firma.de firma.com")));
}

}  // namespace
}  // namespace ferry
