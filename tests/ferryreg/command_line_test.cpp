// Reading the command line: what each verb takes, the bytes /d gives for each
// type, and a clear refusal of everything else.
#include "tools/ferryreg/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLine, AddWithTypeAndData) {
  CommandParse p = ParseCommandLine({"add", "hklm\\Software\\K", "/v", "Timeout", "/t", "reg_dword", "/d", "-1", "/F"});
  ASSERT_TRUE(p.error.empty()) << p.error;
  EXPECT_EQ(p.command.verb, Verb::kAdd);
  EXPECT_EQ(p.command.key, (KeyPath{Root::kLocalMachine, {"Software", "K"}}));
  EXPECT_EQ(p.command.valueName, "Timeout");
  EXPECT_EQ(p.command.type, reg::kDword);
  EXPECT_EQ(p.command.data, "\xFF\xFF\xFF\xFF");
  EXPECT_TRUE(p.command.force);
}

TEST(CommandLine, AddOfANamedValueWithoutDataIsAnEmptyText) {
  CommandParse p = ParseCommandLine({"add", "HKCU\\K", "-ve"});
  ASSERT_TRUE(p.error.empty()) << p.error;
  EXPECT_EQ(p.command.key.root, Root::kCurrentUser);
  EXPECT_EQ(p.command.valueName, "");
  EXPECT_TRUE(p.command.hasData);
  EXPECT_EQ(p.command.type, reg::kSz);
  EXPECT_EQ(p.command.data, "");
}

TEST(CommandLine, AddOfAKeyAloneSetsNoValue) {
  CommandParse p = ParseCommandLine({"add", "HKLM\\K"});
  ASSERT_TRUE(p.error.empty()) << p.error;
  EXPECT_FALSE(p.command.valueName);
  EXPECT_FALSE(p.command.hasData);
}

TEST(CommandLine, ComputerPrefixAndExportFile) {
  CommandParse p = ParseCommandLine({"export", "\\\\OFFICE\\HKEY_LOCAL_MACHINE\\SYSTEM", "out.reg", "/y"});
  ASSERT_TRUE(p.error.empty()) << p.error;
  EXPECT_EQ(p.command.computer, "OFFICE");
  EXPECT_EQ(p.command.key, (KeyPath{Root::kLocalMachine, {"SYSTEM"}}));
  EXPECT_EQ(p.command.file, "out.reg");
  EXPECT_TRUE(p.command.force);
}

TEST(CommandLine, AbsoluteFilePathsAreNotSwitches) {
  CommandParse exported = ParseCommandLine({"export", "HKLM\\K", "/tmp/out.reg"});
  ASSERT_TRUE(exported.error.empty()) << exported.error;
  EXPECT_EQ(exported.command.file, "/tmp/out.reg");
  CommandParse imported = ParseCommandLine({"import", "/var/tmp/in.reg"});
  ASSERT_TRUE(imported.error.empty()) << imported.error;
  EXPECT_EQ(imported.command.file, "/var/tmp/in.reg");
  EXPECT_NE(ParseCommandLine({"export", "HKLM\\K", "/Y"}).error.find("FILE"), std::string::npos);
}

TEST(CommandLine, QueryRecursiveAndHelp) {
  CommandParse p = ParseCommandLine({"QUERY", "HKLM", "/s"});
  ASSERT_TRUE(p.error.empty()) << p.error;
  EXPECT_TRUE(p.command.recursive);
  EXPECT_TRUE(p.command.key.parts.empty());
  EXPECT_EQ(ParseCommandLine({"--help"}).command.verb, Verb::kHelp);
  EXPECT_EQ(ParseCommandLine({"/?"}).command.verb, Verb::kHelp);
}

struct DataCase {
  const char* name;
  uint32_t type;
  std::string text;
  std::string bytes;  // expected; unused when `bad`
  bool bad;
};

void PrintTo(const DataCase& c, std::ostream* os) { *os << c.name; }

class DataArgumentTest : public ::testing::TestWithParam<DataCase> {};

TEST_P(DataArgumentTest, GivesBytesOrRefuses) {
  const DataCase& c = GetParam();
  DataParse d = ParseDataArgument(c.type, c.text);
  if (c.bad) {
    EXPECT_FALSE(d.error.empty()) << "accepted \"" << c.text << "\"";
  } else {
    EXPECT_TRUE(d.error.empty()) << d.error;
    EXPECT_EQ(d.bytes, c.bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, DataArgumentTest,
    ::testing::Values(DataCase{"DwordDecimal", reg::kDword, "10", std::string("\x0a\0\0\0", 4), false},
                      DataCase{"DwordHex", reg::kDword, "0x1F2e", std::string("\x2e\x1f\0\0", 4), false},
                      DataCase{"DwordMax", reg::kDword, "4294967295", "\xff\xff\xff\xff", false},
                      DataCase{"DwordMinusOne", reg::kDword, "-1", "\xff\xff\xff\xff", false},
                      DataCase{"DwordMostNegative", reg::kDword, "-2147483648", std::string("\0\0\0\x80", 4), false},
                      DataCase{"DwordTooBig", reg::kDword, "4294967296", "", true},
                      DataCase{"DwordTooNegative", reg::kDword, "-2147483649", "", true},
                      DataCase{"DwordHexTooLong", reg::kDword, "0x100000000", "", true},
                      DataCase{"DwordNotANumber", reg::kDword, "ten", "", true},
                      DataCase{"DwordEmpty", reg::kDword, "", "", true},
                      DataCase{"DwordBareHexPrefix", reg::kDword, "0x", "", true},
                      DataCase{"DwordTrailingJunk", reg::kDword, "12 ", "", true},
                      DataCase{"Binary", reg::kBinary, "00ff1A", std::string("\0\xff\x1a", 3), false},
                      DataCase{"BinaryEmpty", reg::kBinary, "", "", false},
                      DataCase{"BinaryOddDigits", reg::kBinary, "0ff", "", true},
                      DataCase{"BinaryNotHex", reg::kBinary, "zz", "", true},
                      DataCase{"TextAsGiven", reg::kSz, "C:\\mail \"x\"", "C:\\mail \"x\"", false},
                      DataCase{"ExpandAsGiven", reg::kExpandSz, "%TEMP%\\x", "%TEMP%\\x", false}),
    [](const auto& p) { return std::string(p.param.name); });

struct BadCase {
  const char* name;
  Args args;
  std::string mentions;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class BadCommandLineTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCommandLineTest, IsRefusedWithAReason) {
  const BadCase& c = GetParam();
  CommandParse p = ParseCommandLine(c.args);
  EXPECT_NE(p.error.find(c.mentions), std::string::npos) << "error: \"" << p.error << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadCommandLineTest,
    ::testing::Values(BadCase{"Nothing", {}, "no operation"},
                      BadCase{"UnknownVerb", {"copy", "HKLM\\A", "HKLM\\B"}, "unknown operation"},
                      BadCase{"QueryWithoutKey", {"query"}, "needs a KEY"},
                      BadCase{"KeyIsASwitch", {"query", "/s"}, "needs a KEY"},
                      BadCase{"UnknownRoot", {"query", "HKEY_USERS\\x"}, "HKEY_LOCAL_MACHINE"},
                      BadCase{"EmptyKeyName", {"query", "HKLM\\a\\\\b"}, "empty key name"},
                      BadCase{"UnknownSwitch", {"query", "HKLM\\a", "/x"}, "not a switch of query"},
                      BadCase{"SwitchOfAnotherVerb", {"query", "HKLM\\a", "/f"}, "not a switch of query"},
                      BadCase{"ExtraArgument", {"query", "HKLM\\a", "more"}, "unexpected argument"},
                      BadCase{"VWithoutName", {"query", "HKLM\\a", "/v"}, "needs an argument"},
                      BadCase{"VAndVe", {"add", "HKLM\\a", "/v", "x", "/ve"}, "not both"},
                      BadCase{"SwitchTwice", {"add", "HKLM\\a", "/f", "/F"}, "twice"},
                      BadCase{"BadType", {"add", "HKLM\\a", "/v", "x", "/t", "REG_QWORD", "/d", "1"}, "unknown type"},
                      BadCase{"BadDword", {"add", "HKLM\\a", "/v", "x", "/t", "REG_DWORD", "/d", "1O"}, "REG_DWORD"},
                      BadCase{"DwordWithoutData", {"add", "HKLM\\a", "/v", "x", "/t", "REG_DWORD"}, "needs /d"},
                      BadCase{"DataWithoutName", {"add", "HKLM\\a", "/d", "x"}, "/v NAME"},
                      BadCase{"TypeWithoutArgument", {"add", "HKLM\\a", "/v", "x", "/t"}, "needs an argument"},
                      BadCase{"DeleteRoot", {"delete", "HKLM", "/f"}, "root"},
                      BadCase{"ExportWithoutFile", {"export", "HKLM\\a"}, "FILE"},
                      BadCase{"ImportWithoutFile", {"import"}, "FILE"},
                      BadCase{"ImportExtra", {"import", "a.reg", "b.reg"}, "unexpected argument"},
                      BadCase{"ComputerWithoutKey", {"query", "\\\\host"}, "no key"}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ferry::regtool
