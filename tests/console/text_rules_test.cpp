#include "console/model/text_rules.h"

#include <gtest/gtest.h>


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

// Library errors come as UTF-8 from the system; the console's texts are Latin-1.
TEST(Latin1FromSystem, DecodesUtf8AndLeavesLatin1Alone) {
  EXPECT_EQ(Latin1FromSystem("kann nicht \xC3\xB6" "ffnen"), "kann nicht \xF6" "ffnen");
  EXPECT_EQ(Latin1FromSystem("kann nicht \xF6" "ffnen"), "kann nicht \xF6" "ffnen");
  EXPECT_EQ(Latin1FromSystem("5 \xE2\x82\xAC"), "5 ?");
  EXPECT_EQ(Latin1FromSystem("plain"), "plain");
}

}  // namespace
}  // namespace ferry::console
