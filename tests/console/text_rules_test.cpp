#include "console/model/text_rules.h"

#include <gtest/gtest.h>

#include <ostream>

namespace ferry::console {
namespace {

TEST(StripNull, CutsAtTheFirstNulAndTrimsBlanks) {
  EXPECT_EQ(StripNull(std::string("  NORAS \0rest", 13)), "NORAS");
  EXPECT_EQ(StripNull(std::string(500, ' ')), "");
  EXPECT_EQ(StripNull(std::string(255, '\0')), "");
  EXPECT_EQ(StripNull("no nul"), "no nul");
}

TEST(LetterCase, FoldsLatin1Letters) {
  EXPECT_TRUE(SameTextIgnoringCase("M\xFCnchen", "M\xDCNCHEN"));
  EXPECT_FALSE(SameTextIgnoringCase("Noras", "Norat"));
  EXPECT_EQ(UpperCase("server-\xE4"), "SERVER-\xC4");
}

struct IntervalCase {
  const char* name;
  double minutes;
  const char* seconds;
};
void PrintTo(const IntervalCase& c, std::ostream* os) { *os << c.name; }

class MinutesToSecondsTest : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(MinutesToSecondsTest, Converts) {
  EXPECT_EQ(MinutesToSeconds(GetParam().minutes), GetParam().seconds);
  EXPECT_DOUBLE_EQ(SecondsToMinutes(GetParam().seconds), GetParam().minutes);
}

INSTANTIATE_TEST_SUITE_P(Intervals, MinutesToSecondsTest,
                         ::testing::Values(IntervalCase{"TenMinutes", 10, "600"},
                                           IntervalCase{"OneAndAHalf", 1.5, "90"},
                                           IntervalCase{"Zero", 0, "0"},
                                           IntervalCase{"ATenth", 0.01, "0.6"},
                                           IntervalCase{"NoPeriodicRun", -1.0 / 60, "-1"}),
                         [](const auto& c) { return std::string(c.param.name); });

TEST(SecondsToMinutes, ATextThatIsNoNumberCountsZero) {
  EXPECT_EQ(SecondsToMinutes(""), 0);
  EXPECT_EQ(SecondsToMinutes("abc"), 0);
}

}  // namespace
}  // namespace ferry::console
