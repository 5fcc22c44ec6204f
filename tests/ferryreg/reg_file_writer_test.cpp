// The .reg writer: whatever a value holds, reading the written file back gives
// the same type and the same bytes; and each value takes the form the format
// gives it.
#include "tools/ferryreg/reg_file_writer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tools/ferryreg/reg_file_parser.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {
namespace {

struct RoundTripCase {
  const char* name;
  ValueData value;
  std::string form;  // what the value line must hold after '='
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class WriterRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(WriterRoundTripTest, ReadsBackTheSameBytes) {
  const RoundTripCase& c = GetParam();
  KeyDump key{KeyPath{Root::kLocalMachine, {"Software", "K"}}, {c.value}};
  RegFileWrite written = WriteRegFile({key});
  ASSERT_TRUE(written.error.empty()) << written.error;

  std::string line = FormatValueLine(c.value);
  std::size_t equals = c.value.name.empty() ? 1 : line.find("\"=") + 1;
  EXPECT_EQ(line.substr(equals + 1, c.form.size()), c.form) << line;

  RegFileParse parsed = ParseRegFile(written.text);
  ASSERT_TRUE(parsed.ok()) << "line " << parsed.errorLine << ": " << parsed.error << "\n" << written.text;
  ASSERT_EQ(parsed.operations.size(), 2u);
  EXPECT_EQ(parsed.operations[0].key, key.path);
  EXPECT_EQ(parsed.operations[1].kind, RegOperation::Kind::kSetValue);
  EXPECT_EQ(parsed.operations[1].value, c.value);
}

std::string AllBytes() {
  std::string out;
  for (int i = 0; i < 256; ++i) out += static_cast<char>(i);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Values, WriterRoundTripTest,
    ::testing::Values(
        RoundTripCase{"PlainText", {"POP Host", reg::kSz, "pop.example.org"}, "\"pop.example.org\""},
        RoundTripCase{"EmptyText", {"a", reg::kSz, ""}, "\"\""},
        RoundTripCase{"QuotesAndBackslashes", {"a\"\\b", reg::kSz, "C:\\x\\\"y\""}, "\"C:\\\\x\\\\\\\"y\\\"\""},
        RoundTripCase{"Latin1", {"Gr\xFC\xDF", reg::kSz, "\xE4\xF6\xFC\xFF"}, "\"\xE4\xF6\xFC\xFF\""},
        RoundTripCase{"TextWithTerminatingNul", {"a", reg::kSz, std::string("ab\0", 3)}, "hex(1):61,62,00"},
        RoundTripCase{"TextWithInnerNul", {"a", reg::kSz, std::string("a\0b", 3)}, "hex(1):61,00,62"},
        RoundTripCase{"TextWithLineBreak", {"a", reg::kSz, "a\r\nb"}, "hex(1):"},
        RoundTripCase{"DefaultValue", {"", reg::kSz, "d"}, "\"d\""},
        RoundTripCase{"ExpandIsRawHex", {"e", reg::kExpandSz, "%TEMP%"}, "hex(2):25,54,45,4d,50,25"},
        RoundTripCase{"Dword", {"Timeout", reg::kDword, DwordBytes(10)}, "dword:0000000a"},
        RoundTripCase{"DwordMinusOne", {"Timeout", reg::kDword, DwordBytes(0xFFFFFFFF)}, "dword:ffffffff"},
        RoundTripCase{"DwordOfThreeBytes", {"n", reg::kDword, "\x01\x02\x03"}, "hex(4):01,02,03"},
        RoundTripCase{"EmptyBinary", {"b", reg::kBinary, ""}, "hex:"},
        RoundTripCase{"LongBinaryWraps", {"b", reg::kBinary, AllBytes()}, "hex:00,01,02"},
        RoundTripCase{"NoneType", {"n", reg::kNone, "\x05"}, "hex(0):05"},
        RoundTripCase{"MultiString", {"m", 7u, std::string("a\0b\0\0", 5)}, "hex(7):61,00"},
        RoundTripCase{"LongNameLongText", {std::string(300, 'n'), reg::kSz, std::string(5000, 'x')}, "\"xxx"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RegFileWriter, WrappedHexLinesStayWithinEightyColumns) {
  KeyDump key{KeyPath{Root::kLocalMachine, {"K"}}, {{"b", reg::kBinary, AllBytes()}}};
  RegFileWrite written = WriteRegFile({key});
  std::istringstream in(written.text);
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_LE(line.size(), 80u) << line;
  }
  EXPECT_GT(lines, 10);  // 256 bytes cannot fit on a few lines
}

TEST(RegFileWriter, FileLayoutIsHeaderThenKeysInOrder) {
  std::vector<KeyDump> keys{{KeyPath{Root::kLocalMachine, {"A"}}, {{"x", reg::kDword, DwordBytes(1)}}},
                            {KeyPath{Root::kLocalMachine, {"A", "B"}}, {}}};
  RegFileWrite written = WriteRegFile(keys);
  EXPECT_EQ(written.text,
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\A]\r\n"
            "\"x\"=dword:00000001\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
            "\r\n");
}

TEST(RegFileWriter, RefusesNamesWithLineBreaks) {
  EXPECT_FALSE(WriteRegFile({{KeyPath{Root::kLocalMachine, {"a\nb"}}, {}}}).error.empty());
  EXPECT_FALSE(WriteRegFile({{KeyPath{Root::kLocalMachine, {"a"}}, {{"x\ry", reg::kSz, ""}}}}).error.empty());
}

}  // namespace
}  // namespace ferry::regtool
