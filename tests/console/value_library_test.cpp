// The value library as the console uses it: loaded by name, texts both ways.
#include <array>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "console/model/value_library.h"
#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"
#include "valuelib/value_text.h"

namespace ferry::test {
namespace {

struct NumberCase {
  const char* name;
  const char* text;
  std::optional<uint32_t> expected;
};
void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class ParseNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseNumberTest, Parses) { EXPECT_EQ(values::ParseNumber(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseNumberTest,
    ::testing::Values(NumberCase{"Zero", "0", 0u}, NumberCase{"Plain", "15002", 15002u},
                      NumberCase{"MinusOne", "-1", 0xFFFFFFFFu}, NumberCase{"LargestUnsigned", "4294967295", 0xFFFFFFFFu},
                      NumberCase{"TooLarge", "4294967296", std::nullopt},
                      NumberCase{"SmallestSigned", "-2147483648", 0x80000000u},
                      NumberCase{"TooSmall", "-2147483649", std::nullopt}, NumberCase{"FractionDropped", "1.5", 1u},
                      NumberCase{"CommaFraction", "90,0", 90u}, NumberCase{"Blanks", "  7 ", 7u},
                      NumberCase{"Plus", "+3", 3u}, NumberCase{"Empty", "", std::nullopt},
                      NumberCase{"Word", "zehn", std::nullopt}, NumberCase{"TrailingGarbage", "12abc", std::nullopt},
                      NumberCase{"LoneSign", "-", std::nullopt}, NumberCase{"LonePoint", ".", std::nullopt}),
    [](const auto& c) { return std::string(c.param.name); });

class ValueLibraryTest : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    ASSERT_TRUE(library.Bind()) << library.Error();
    ASSERT_EQ(reg::ConnectRegistry("", reg::LocalMachine(), root.out()), reg::kOk);
    ASSERT_EQ(reg::CreateKey(root.get(), kPath, key.out()), reg::kOk);
  }
  void TearDown() override {
    key.Reset();
    root.Reset();
    TempHiveTest::TearDown();
  }
  // GetValue into a buffer prefilled with 'x'; the text up to the NUL.
  std::pair<int32_t, std::string> Get(const char* name, int32_t type, int32_t size = 255) {
    std::array<char, 255> buffer;
    buffer.fill('x');
    int32_t rc = library.Get(root.get(), kPath, name, type, buffer.data(), size);
    return {rc, std::string(buffer.data(), strnlen(buffer.data(), buffer.size()))};
  }

  static constexpr const char* kPath = "SYSTEM\\Test";
  console::ValueLibrary library{{BuiltValueLibrary()}};
  reg::KeyHolder root;
  reg::KeyHolder key;
};

TEST_F(ValueLibraryTest, TextsAndNumbersGoBothWays) {
  EXPECT_EQ(library.Set(key.get(), "POP Host", values::kText, "pop.example"), 0);
  EXPECT_EQ(library.Set(key.get(), "Timeout", values::kNumber, "-1"), 0);
  EXPECT_EQ(library.Set(key.get(), "UDP Port", values::kNumber, "15002"), 0);

  EXPECT_EQ(Stored(kPath, "POP Host"), "pop.example");  // stored without a terminator
  EXPECT_EQ(Stored(kPath, "Timeout"), "-1");            // a 4-byte number
  EXPECT_EQ(Get("POP Host", values::kText), std::make_pair(0, std::string("pop.example")));
  EXPECT_EQ(Get("Timeout", values::kNumber), std::make_pair(0, std::string("-1")));
  EXPECT_EQ(Get("UDP Port", values::kNumber), std::make_pair(0, std::string("15002")));
}

TEST_F(ValueLibraryTest, ANumberStoredAsTextReadsAsNumber) {
  PutText(kPath, "Max Mails", "25");
  EXPECT_EQ(Get("Max Mails", values::kNumber), std::make_pair(0, std::string("25")));
}

TEST_F(ValueLibraryTest, WhatCannotBeReadLeavesTheBufferAlone) {
  PutText(kPath, "Command", std::string(300, 'c'));
  auto [missingRc, missing] = Get("Absent", values::kText);
  EXPECT_EQ(missingRc, reg::kFileNotFound);
  auto [longRc, tooLong] = Get("Command", values::kText);
  EXPECT_EQ(longRc, reg::kMoreData);
  auto [typeRc, badType] = Get("Command", 3);
  EXPECT_EQ(typeRc, reg::kInvalidParameter);
  for (const std::string& text : {missing, tooLong, badType}) EXPECT_EQ(text, std::string(255, 'x'));
}

TEST_F(ValueLibraryTest, ATextThatIsNoNumberIsRefusedAndNotStored) {
  EXPECT_EQ(library.Set(key.get(), "Max Mails", values::kNumber, "zehn"), reg::kInvalidParameter);
  EXPECT_EQ(Stored(kPath, "Max Mails"), std::nullopt);
}

TEST(ValueLibraryBinding, AMissingLibraryIsAnErrorNotACrash) {
  console::ValueLibrary missing({"/nonexistent/" + SharedLibraryFileName(values::kLibraryName),
                                  SharedLibraryFileName("no-such-ferry-library")});
  EXPECT_FALSE(missing.Bind());
  EXPECT_FALSE(missing.Error().empty());
  char buffer[8] = "keep";
  EXPECT_NE(missing.Get(nullptr, "a", "b", 1, buffer, 8), 0);
  EXPECT_STREQ(buffer, "keep");
}

TEST(ValueLibraryBinding, TheDefaultPlacesStartBesideTheProgram) {
  const std::string file = SharedLibraryFileName(values::kLibraryName);
  auto places = console::ValueLibrary::DefaultLocations();
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(std::filesystem::path(places[0]), std::filesystem::path(ModulePath()).parent_path() / file);
  EXPECT_EQ(places[1], file);
}

}  // namespace
}  // namespace ferry::test
