// What ferryreg checks against the settings table: the type a value takes
// without /t, and which values are refused.
#include "tools/ferryreg/table_check.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/registry.h"
#include "tools/ferryreg/key_path.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {
namespace {

KeyPath Key(const std::string& below) {
  return ParseKeyPath("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters" + below).path;
}

struct AddCase {
  const char* name;
  KeyPath key;
  std::string value;
  bool typeGiven;
  uint32_t type;  // with typeGiven; else REG_SZ as the command line reads it
  std::string data;
  uint32_t storedType;  // 0: refused
  std::string storedBytes;
};

void PrintTo(const AddCase& c, std::ostream* os) { *os << c.name; }

class TableCheckTest : public ::testing::TestWithParam<AddCase> {};

TEST_P(TableCheckTest, TypesOrRefuses) {
  const AddCase& c = GetParam();
  uint32_t type = c.typeGiven ? c.type : reg::kSz;
  DataParse given = ParseDataArgument(type, c.data);
  ASSERT_TRUE(given.error.empty()) << given.error;
  TypedValue typed = ValueForAdd(c.key, ValueData{c.value, type, given.bytes}, c.typeGiven, c.data);
  if (c.storedType == 0) {
    EXPECT_NE(typed.refusal.find("\"" + c.value + "\""), std::string::npos) << typed.refusal;
    const schema::ValueInfo* row = KnownValue(c.key, c.value);
    ASSERT_NE(row, nullptr);
    EXPECT_NE(typed.refusal.find(schema::Describe(*row)), std::string::npos) << typed.refusal;
    return;
  }
  EXPECT_EQ(typed.refusal, "");
  EXPECT_EQ(typed.value.type, c.storedType);
  EXPECT_EQ(typed.value.bytes, c.storedBytes);
}

const std::string kLong(256, 'h');

INSTANTIATE_TEST_SUITE_P(
    Values, TableCheckTest,
    ::testing::Values(
        AddCase{"TimeoutIsADword", Key("\\NORAS"), "Timeout", false, 0, "60", reg::kDword, DwordBytes(60)},
        AddCase{"NameInAnyLetterCase", Key("\\ppp0"), "TIMEOUT", false, 0, "-1", reg::kDword, DwordBytes(0xFFFFFFFF)},
        AddCase{"HexNumber", Key("\\NORAS"), "Timeout", false, 0, "0x3c", reg::kDword, DwordBytes(60)},
        AddCase{"NotANumber", Key("\\NORAS"), "Timeout", false, 0, "sixty", 0, ""},
        AddCase{"TextTypeGiven", Key("\\NORAS"), "Timeout", true, reg::kSz, "x", 0, ""},
        AddCase{"BelowTheRange", Key("\\NORAS"), "Timeout", true, reg::kDword, "-2", 0, ""},
        AddCase{"UnsignedRowTakesNoMinusOne", Key("\\NORAS\\box"), "Max Mails", false, 0, "-1", 0, ""},
        AddCase{"AboveTheRange", Key(""), "DebugLevel", false, 0, "10", 0, ""},
        AddCase{"TopOfTheRange", Key(""), "ProxyPort", false, 0, "65535", reg::kDword, DwordBytes(65535)},
        AddCase{"TextStaysText", Key("\\NORAS\\box"), "POP Host", false, 0, "pop.example.org", reg::kSz,
                "pop.example.org"},
        AddCase{"ExpandableTextIsText", Key("\\NORAS\\box"), "Logfile", true, reg::kExpandSz, "%TEMP%\\l",
                reg::kExpandSz, "%TEMP%\\l"},
        AddCase{"TextTooLong", Key("\\NORAS\\box"), "POP Host", false, 0, kLong, 0, ""},
        AddCase{"DwordForAText", Key("\\NORAS\\box"), "POP Host", true, reg::kDword, "1", 0, ""},
        // The operator may clear what the service owns.
        AddCase{"InUseMayBeCleared", Key("\\NORAS\\box"), "In Use", false, 0, "0", reg::kDword, DwordBytes(0)},
        // Names are looked up at their key's level only; anything else is stored as given.
        AddCase{"ConnectionNameInAnAccount", Key("\\NORAS\\box"), "Timeout", false, 0, "60", reg::kSz, "60"},
        AddCase{"UnknownName", Key("\\NORAS"), "Newer Setting", false, 0, "60", reg::kSz, "60"},
        AddCase{"OutsideTheParameters", ParseKeyPath("HKLM\\Software\\K").path, "Timeout", false, 0, "60", reg::kSz,
                "60"},
        AddCase{"OtherRoot", ParseKeyPath("HKCU\\SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters")
                                 .path,
                "DebugLevel", true, reg::kSz, "x", reg::kSz, "x"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(TableCheck, ImportedValuesAreCheckedAsStored) {
  EXPECT_EQ(CheckAgainstTable(Key("\\NORAS"), {"Timeout", reg::kDword, DwordBytes(0xFFFFFFFF)}), "");
  EXPECT_EQ(CheckAgainstTable(Key("\\NORAS\\box"), {"POP Host", reg::kSz, std::string("pop\0", 4)}), "");
  EXPECT_NE(CheckAgainstTable(Key("\\NORAS"), {"Timeout", reg::kDword, "\x01\x02"}), "");
  EXPECT_NE(CheckAgainstTable(Key("\\NORAS"), {"Timeout", reg::kBinary, DwordBytes(1)}), "");
  EXPECT_NE(CheckAgainstTable(Key("\\volatile"), {"LastDate", reg::kSz, std::string(60, 'd')}), "");
}

}  // namespace
}  // namespace ferry::regtool
