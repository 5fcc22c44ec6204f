// The .reg reader: well-formed files give the right operations with the right
// bytes (the forms the writer gives are read back by its round-trip test; here
// the others); every kind of malformed line is reported with its line number.
#include "tools/ferryreg/reg_file_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {
namespace {

using Kind = RegOperation::Kind;

const std::string kHead = "Windows Registry Editor Version 5.00\r\n\r\n";

KeyPath Lm(std::vector<std::string> parts) { return KeyPath{Root::kLocalMachine, std::move(parts)}; }

// The single value operation that follows one key header.
RegOperation OnlyValue(const RegFileParse& parsed) {
  EXPECT_TRUE(parsed.ok()) << "line " << parsed.errorLine << ": " << parsed.error;
  EXPECT_EQ(parsed.operations.size(), 2u);
  return parsed.operations.size() == 2 ? parsed.operations[1] : RegOperation{};
}

struct ValueCase {
  const char* name;
  std::string line;  // one value line below [HKEY_LOCAL_MACHINE\K]
  Kind kind;
  std::string valueName;
  uint32_t type;
  std::string bytes;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.name; }

class ValueLineTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueLineTest, GivesTheValue) {
  const ValueCase& c = GetParam();
  RegOperation op = OnlyValue(ParseRegFile(kHead + "[HKEY_LOCAL_MACHINE\\K]\r\n" + c.line + "\r\n"));
  EXPECT_EQ(op.kind, c.kind);
  EXPECT_EQ(op.key, Lm({"K"}));
  EXPECT_EQ(op.value.name, c.valueName);
  if (c.kind == Kind::kSetValue) {
    EXPECT_EQ(op.value.type, c.type);
    EXPECT_EQ(op.value.bytes, c.bytes);
  }
  EXPECT_EQ(op.line, 4);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ValueLineTest,
    ::testing::Values(
        ValueCase{"BlanksAroundEquals", "\"a\" =\t\"x\"  ", Kind::kSetValue, "a", reg::kSz, "x"},
        ValueCase{"DwordAllOnes", R"("t"=dword:FFFFFFFF)", Kind::kSetValue, "t", reg::kDword, DwordBytes(0xFFFFFFFF)},
        ValueCase{"DwordShort", R"("t"=dword:1f)", Kind::kSetValue, "t", reg::kDword, DwordBytes(0x1F)},
        ValueCase{"Binary", R"("b"=hex:00,ff,1A)", Kind::kSetValue, "b", reg::kBinary, std::string("\x00\xff\x1a", 3)},
        ValueCase{"TypeInHex", R"("q"=hex(b):01,02)", Kind::kSetValue, "q", 11u, "\x01\x02"},
        ValueCase{"DeleteValue", R"("old"=-)", Kind::kDeleteValue, "old", 0, ""},
        ValueCase{"DeleteDefault", R"(@=-)", Kind::kDeleteValue, "", 0, ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RegFileParser, HexListGoesOnAfterTrailingBackslash) {
  RegFileParse parsed = ParseRegFile(kHead +
                                     "[HKLM\\K]\n"
                                     "\"b\"=hex:01,02,\\\n"
                                     "  03,04,\\\r\n"
                                     "\t05\n"
                                     "\"after\"=dword:00000001\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  ASSERT_EQ(parsed.operations.size(), 3u);
  EXPECT_EQ(parsed.operations[1].value.bytes, "\x01\x02\x03\x04\x05");
  EXPECT_EQ(parsed.operations[2].value.name, "after");
  EXPECT_EQ(parsed.operations[2].line, 7);
}

TEST(RegFileParser, KeysDeletionsAndCommentsInOrder) {
  RegFileParse parsed = ParseRegFile(
      "Windows Registry Editor Version 5.00\n"
      "; a comment\n"
      "[-HKEY_LOCAL_MACHINE\\SYSTEM\\Old]\n"
      "\n"
      "[hkcu\\Software\\A]\n"
      "\"x\"=\"1\"\n"
      "[HKEY_LOCAL_MACHINE\\Software\\B\\]\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  ASSERT_EQ(parsed.operations.size(), 4u);
  EXPECT_EQ(parsed.operations[0].kind, Kind::kDeleteKey);
  EXPECT_EQ(parsed.operations[0].key, Lm({"SYSTEM", "Old"}));
  EXPECT_EQ(parsed.operations[1].kind, Kind::kCreateKey);
  EXPECT_EQ(parsed.operations[1].key, (KeyPath{Root::kCurrentUser, {"Software", "A"}}));
  EXPECT_EQ(parsed.operations[2].key, (KeyPath{Root::kCurrentUser, {"Software", "A"}}));
  EXPECT_EQ(parsed.operations[3].key, Lm({"Software", "B"}));
  EXPECT_EQ(parsed.operations[3].line, 7);
}

TEST(RegFileParser, KeyNamesKeepBlanksAndBrackets) {
  RegFileParse parsed = ParseRegFile(kHead + "[HKLM\\Mailferry Service\\a]b ]\n");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.operations[0].key, Lm({"Mailferry Service", "a]b "}));
}

TEST(RegFileParser, EmptyFileBodyIsNoOperation) {
  RegFileParse parsed = ParseRegFile("Windows Registry Editor Version 5.00");
  EXPECT_TRUE(parsed.ok());
  EXPECT_TRUE(parsed.operations.empty());
}

struct MalformedCase {
  const char* name;
  std::string text;
  int line;
  std::string mentions;  // a word the message must hold
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.name; }

class MalformedTest : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedTest, NamesTheLineAndGivesNoOperations) {
  const MalformedCase& c = GetParam();
  RegFileParse parsed = ParseRegFile(c.text);
  EXPECT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.errorLine, c.line) << parsed.error;
  EXPECT_NE(parsed.error.find(c.mentions), std::string::npos) << parsed.error;
  EXPECT_TRUE(parsed.operations.empty());
}

const std::string kKey = kHead + "[HKLM\\K]\r\n";  // values start on line 4

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedTest,
    ::testing::Values(
        MalformedCase{"NoHeader", "[HKLM\\K]\n", 1, "Windows Registry Editor"},
        MalformedCase{"EmptyFile", "", 1, "Windows Registry Editor"},
        MalformedCase{"Utf16File", std::string("\xFF\xFEW\0i\0", 6), 1, "UTF-16"},
        MalformedCase{"Utf8WithMark", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n", 1, "UTF-8"},
        MalformedCase{"WrongVersion", "Windows Registry Editor Version 4.00\n", 1, "Windows Registry Editor"},
        MalformedCase{"ValueBeforeKey", kHead + "\"a\"=\"b\"\n", 3, "[key]"},
        MalformedCase{"ValueAfterDeletion", kHead + "[-HKLM\\K]\n\"a\"=\"b\"\n", 4, "[-key]"},
        MalformedCase{"UnknownRoot", kHead + "[HKEY_USERS\\K]\n", 3, "HKEY_LOCAL_MACHINE"},
        MalformedCase{"EmptyKeyName", kHead + "[HKLM\\a\\\\b]\n", 3, "empty"},
        MalformedCase{"KeyNameTooLong", kHead + "[HKLM\\" + std::string(256, 'k') + "]\n", 3, "255"},
        MalformedCase{"UnclosedHeader", kHead + "[HKLM\\K\n", 3, "]"},
        MalformedCase{"DeleteRoot", kHead + "[-HKEY_LOCAL_MACHINE]\n", 3, "root"},
        MalformedCase{"StrayText", kKey + "name=\"x\"\n", 4, "expected"},
        MalformedCase{"UnclosedName", kKey + "\"name=x\n", 4, "closing quote"},
        MalformedCase{"UnclosedText", kKey + "\"n\"=\"abc\n", 4, "closing quote"},
        MalformedCase{"UnknownEscape", kKey + "\"n\"=\"C:\\dir\"\n", 4, "escape"},
        MalformedCase{"TextThenJunk", kKey + "\"n\"=\"a\" b\n", 4, "after the closing quote"},
        MalformedCase{"NoEquals", kKey + "\"n\" \"a\"\n", 4, "'='"},
        MalformedCase{"NoData", kKey + "\"n\"=\n", 4, "no data"},
        MalformedCase{"UnknownData", kKey + "\"n\"=qword:1\n", 4, "unknown value data"},
        MalformedCase{"DwordTooLong", kKey + "\"n\"=dword:123456789\n", 4, "dword"},
        MalformedCase{"DwordNotHex", kKey + "\"n\"=dword:12g4\n", 4, "dword"},
        MalformedCase{"DwordEmpty", kKey + "\"n\"=dword:\n", 4, "dword"},
        MalformedCase{"HexBadByte", kKey + "\"n\"=hex:00,0g\n", 4, "0g"},
        MalformedCase{"HexThreeDigits", kKey + "\"n\"=hex:001\n", 4, "001"},
        MalformedCase{"HexTrailingComma", kKey + "\"n\"=hex:00,\n", 4, "empty entry"},
        MalformedCase{"HexBadTypeNumber", kKey + "\"n\"=hex(z):00\n", 4, "hex(N)"},
        MalformedCase{"HexNoColon", kKey + "\"n\"=hex 00\n", 4, "':'"},
        MalformedCase{"HexErrorOnContinuationLine", kKey + "\"n\"=hex:00,\\\n  01,\\\n  zz\n", 6, "zz"},
        MalformedCase{"HexContinuesPastEnd", kKey + "\"n\"=hex:00,\\\n", 4, "end of the file"},
        MalformedCase{"ErrorAfterGoodLines", kKey + "\"a\"=\"1\"\n\"b\"=dword:1\n\"c\"=bogus\n", 6, "bogus"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ferry::regtool
