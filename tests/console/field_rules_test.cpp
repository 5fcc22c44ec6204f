// The rules for names and fields, each refusal with its reason.
#include "console/model/field_rules.h"

#include <gtest/gtest.h>

#include "console/model/console_view.h"

namespace ferry::console {
namespace {

TEST(NameFault, RefusesWhatBreaksTheStoreAndSaysWhy) {
  struct Case {
    const char* name;
    std::string text;
    const char* because;  // a word of the reason; nullptr: accepted
  };
  const Case cases[] = {
      {"Umlauts", "M\xFCller", nullptr},
      {"FiftyNineCharacters", std::string(59, 'x'), nullptr},
      {"Empty", "", "leer"},
      {"ThreeBlanks", "   ", "nur aus Leerzeichen"},
      {"LeadingBlank", " Lead", "beginnen"},
      {"TrailingBlank", "Lead ", "enden"},
      {"Backslash", "Filiale\\Bonn", "Schr\xE4gstrich"},
      {"BeyondLatin1", std::string("Caf") + kNotLatin1, "Latin-1"},
      {"ControlCharacter", "tab\there", "Steuerzeichen"},
      {"SixtyCharacters", std::string(60, 'x'), "59 Zeichen"},
      {"Volatile", "volatile", "reserviert"},
      {"VolatileInCapitals", "VOLATILE", "reserviert"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<std::string> fault = NameFault(c.text);
    if (c.because == nullptr) {
      EXPECT_FALSE(fault) << *fault;
    } else {
      ASSERT_TRUE(fault);
      EXPECT_NE(fault->find(c.because), std::string::npos) << *fault;
    }
  }
}

TEST(TakenBy, IgnoresLetterCaseLatin1Included) {
  EXPECT_EQ(TakenBy("m\xFCller", {"Office", "M\xDCLLER"}), "M\xDCLLER");
  EXPECT_EQ(TakenBy("noras", {"NORAS"}), "NORAS");
  EXPECT_EQ(TakenBy("Mueller", {"M\xFCller"}), std::nullopt);
}

TEST(FieldFault, ChecksTypeRangeWidthAndCharacters) {
  using schema::Level;
  struct Case {
    const char* name;
    Level level;
    const char* value;
    std::string text;
    bool refused;
  };
  const Case cases[] = {
      {"TriggerPortInRange", Level::Global, schema::kTriggerPort, "65535", false},
      {"TriggerPort70000", Level::Global, schema::kTriggerPort, "70000", true},
      {"TriggerPortZero", Level::Global, schema::kTriggerPort, "0", true},
      {"MaxMailsWithAComma", Level::Account, schema::kMaxMails, "2,7", true},
      {"MaxMailsNegative", Level::Account, schema::kMaxMails, "-5", true},
      {"MaxMailsWithBlanks", Level::Account, schema::kMaxMails, " 25 ", false},
      {"EmptyNumber", Level::Account, schema::kUdpPort, "", true},
      {"HostAtTheServicesWidth", Level::Account, schema::kPopHost, std::string(59, 'h'), false},
      {"HostBeyondIt", Level::Account, schema::kPopHost, std::string(292, 'h'), true},
      {"PasswordWithAEuroSign", Level::Account, schema::kPopPassword, std::string("geh") + kNotLatin1 + "im", true},
      {"PasswordWithUmlauts", Level::Account, schema::kPopPassword, "Gr\xFC\xDF" "e", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const schema::ValueInfo* info = schema::FindValue(c.level, c.value);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(FieldFault(*info, c.text).has_value(), c.refused);
  }
}

TEST(Interval, MinutesWithACommaAndNeverForNoPeriodicRun) {
  EXPECT_EQ(IntervalText("600"), "10");
  EXPECT_EQ(IntervalText("90"), "1,5");
  EXPECT_EQ(IntervalText("-1"), kNoPeriodicRun);
  struct Case {
    const char* text;
    const char* seconds;  // nullptr: refused
  };
  const Case cases[] = {{"1,5", "90"}, {"1.5", "90"},       {" 10 ", "600"}, {"0", "0"},
                        {"nie", "-1"}, {kNoPeriodicRun, "-1"}, {"-5", nullptr}, {"zehn", nullptr},
                        {"0,01", nullptr}, {"", nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    IntervalReading reading = IntervalSeconds(c.text);
    if (c.seconds == nullptr) {
      EXPECT_FALSE(reading.seconds);
      EXPECT_FALSE(reading.fault.empty());
    } else {
      EXPECT_EQ(reading.seconds, c.seconds);
    }
  }
}

}  // namespace
}  // namespace ferry::console
