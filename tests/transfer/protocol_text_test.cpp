// The pure readers of protocol text: where a whole reply ends, the SMTP reply
// code, the end-of-data search, the STAT count and the listing tokeniser.
#include <gtest/gtest.h>

#include <ostream>

#include "service/transfer/listing_tokens.h"
#include "service/transfer/reply_framing.h"

namespace ferry {

void PrintTo(const ListingEntry& e, std::ostream* os) { *os << e.number << "/" << e.size << (e.outOfStep ? "!" : ""); }

namespace {

struct FramingCase {
  const char* name;
  std::size_t (*framing)(std::string_view);
  std::string buffered;
  std::size_t length;
};
void PrintTo(const FramingCase& c, std::ostream* os) { *os << c.name; }

class FramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(FramingTest, FindsTheEndOfTheFirstWholeReply) {
  EXPECT_EQ(GetParam().framing(GetParam().buffered), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, FramingTest,
    ::testing::Values(
        FramingCase{"StatusWhole", Pop3StatusLength, "+OK 2 320\r\n", 11},
        FramingCase{"StatusWithoutLineEnd", Pop3StatusLength, "+OK 2 32", 0},
        FramingCase{"StatusFollowedByMore", Pop3StatusLength, "+OK\r\n+OK\r\n", 5},
        FramingCase{"StatusLoneCr", Pop3StatusLength, "+OK\r", 0},
        FramingCase{"ListingWhole", Pop3MultiLineLength, "+OK\r\n1 120\r\n2 200\r\n.\r\n", 22},
        FramingCase{"ListingEmpty", Pop3MultiLineLength, "+OK 0 messages\r\n.\r\n", 19},
        FramingCase{"ListingStatusOnly", Pop3MultiLineLength, "+OK\r\n", 0},
        FramingCase{"ListingWithoutTerminator", Pop3MultiLineLength, "+OK\r\n1 120\r\n", 0},
        FramingCase{"ListingNegative", Pop3MultiLineLength, "-ERR locked\r\nrest", 13},
        FramingCase{"SmtpSingle", SmtpReplyLength, "250 ok\r\n", 8},
        FramingCase{"SmtpMultiLine", SmtpReplyLength, "250-a\r\n250-b\r\n250 c\r\n", 21},
        FramingCase{"SmtpMultiLineOpen", SmtpReplyLength, "250-a\r\n250-b\r\n", 0},
        FramingCase{"SmtpBareCode", SmtpReplyLength, "250\r\n", 5},
        FramingCase{"SmtpTwoReplies", SmtpReplyLength, "250 a\r\n354 b\r\n", 7}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(SmtpReplyCodeTest, ReadsTheLeadingDigitsOfTheFirstFourCharacters) {
  struct Case {
    std::string reply;
    int code;
  };
  for (const Case& c : std::vector<Case>{{"250 ok", 250}, {"354 go", 354}, {"25", 25}, {"", 0}, {"x250", 0},
                                          {"2500 odd", 2500}, {"250-more", 250}}) {
    EXPECT_EQ(SmtpReplyCode(c.reply), c.code) << c.reply;
  }
}

TEST(EndOfDataTest, LooksOnlyAtNewBytesAndTheFourBefore) {
  std::string text = "+OK\r\nbody\r\n.\r\n";
  // The marker starts four bytes before the new bytes (the last one).
  EXPECT_EQ(FindEndOfData(text, text.size() - 1), text.size());
  // A marker wholly before the new bytes is not looked at again.
  EXPECT_EQ(FindEndOfData(text + "tail", text.size()), std::string::npos);
  // An empty message: the status line's own line end starts the marker.
  EXPECT_EQ(FindEndOfData("+OK\r\n.\r\n", 0), 8U);
  EXPECT_EQ(FindEndOfData("+OK\r\n..\r\n", 0), std::string::npos);
}

TEST(StatCountTest, ReadsTheNumberAfterTheFirstFourCharacters) {
  EXPECT_EQ(StatCount("+OK 3 4711\r\n"), 3);
  EXPECT_EQ(StatCount("+OK\r\n"), 0);
  EXPECT_EQ(StatCount("+OK 99999999999999\r\n"), 2147483647);
  EXPECT_EQ(LeadingNumber("-12x"), -12);
}

struct ListingCase {
  const char* name;
  std::string entries;
  int32_t messageCount;
  std::vector<ListingEntry> expected;
};
void PrintTo(const ListingCase& c, std::ostream* os) { *os << c.name; }


class ListingTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(ListingTest, SplitsNumbersAndSizes) {
  EXPECT_EQ(TokeniseListing(GetParam().entries, GetParam().messageCount), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Listings, ListingTest,
    ::testing::Values(
        ListingCase{"Plain", "1 120\r\n2 300\r\n.\r\n", 2, {{1, 120, false}, {2, 300, false}}},
        ListingCase{"OutOfStep", "1 10\r\n2 20\r\n1 30\r\n", 3, {{1, 10, false}, {2, 20, false}, {3, 30, true}}},
        // Once as many as the count were taken, a lower number is taken as listed.
        ListingCase{"BelowAfterAllTaken", "1 10\r\n2 20\r\n1 30\r\n", 2,
                    {{1, 10, false}, {2, 20, false}, {1, 30, false}}},
        ListingCase{"ZeroEnds", "1 10\r\n0 5\r\n3 7\r\n", 1, {{1, 10, false}}},
        ListingCase{"ZeroOutOfStep", "1 10\r\n0 5\r\n", 3, {{1, 10, false}, {2, 5, true}}},
        ListingCase{"Garbage", "x y\r\n", 1, {}},
        ListingCase{"MissingSize", "4", 4, {{4, 0, false}}},
        ListingCase{"CommasAndTabs", "5,50\t6,60", 6, {{5, 50, false}, {6, 60, false}}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ListingEntriesTest, EntriesFollowTheStatusLine) {
  EXPECT_EQ(ListingEntries("+OK\r\n1 2\r\n.\r\n"), "1 2\r\n.\r\n");
  EXPECT_EQ(ListingEntries("+OK"), "");
}

}  // namespace
}  // namespace ferry
