// The command line: splitting into the argument table and the verb table.
#include "service/runtime/command_line.h"

#include <gtest/gtest.h>

namespace ferry::test {
namespace {

TEST(SplitCommandLineTest, SplitsAsWindowsProgramsDo) {
  struct Case {
    const char* name;
    const char* line;
    std::vector<std::string> args;
  };
  const std::vector<Case> cases = {
      {"Plain", "mailferry2 -install", {"mailferry2", "-install"}},
      {"RunsOfBlanksAndTabs", "mailferry2   -create \t NORAS   Postfach ",
       {"mailferry2", "-create", "NORAS", "Postfach"}},
      {"QuotedPathWithOneBlank", "\"C:\\Program Files\\mailferry2.exe\" -debug",
       {"C:\\Program Files\\mailferry2.exe", "-debug"}},
      {"QuotedPathWithTwoBlanks", "\"C:\\Mail Ferry\\Pro gram\\mf2.exe\"  -create NORAS Postfach",
       {"C:\\Mail Ferry\\Pro gram\\mf2.exe", "-create", "NORAS", "Postfach"}},
      {"PathBackslashBeforeQuoteIsLiteral", "\"C:\\dir\\\" -debug", {"C:\\dir\\", "-debug"}},
      {"QuotedPathWithoutClosingQuote", "\"C:\\mf2.exe -debug", {"C:\\mf2.exe -debug"}},
      {"QuotedNameWithBlank", "mf2.exe -create \"Filiale Bonn\" Office",
       {"mf2.exe", "-create", "Filiale Bonn", "Office"}},
      {"QuoteInsideAToken", "mf2.exe -create Filiale\" \"Bonn Office",
       {"mf2.exe", "-create", "Filiale Bonn", "Office"}},
      {"EmptyQuotedArgument", "mf2.exe \"\" x", {"mf2.exe", "", "x"}},
      {"DoubledQuoteInsideQuotes", "mf2.exe \"a \"\"b\"\" c\"", {"mf2.exe", "a \"b\" c"}},
      {"EscapedQuote", "mf2.exe a\\\"b", {"mf2.exe", "a\"b"}},
      {"EvenBackslashesBeforeQuote", "mf2.exe \"a\\\\\" b", {"mf2.exe", "a\\", "b"}},
      {"BackslashesElsewhereLiteral", "mf2.exe C:\\a\\\\b\\", {"mf2.exe", "C:\\a\\\\b\\"}},
      {"Empty", "", {}},
      {"SixteenTokensKeepFifteen", "a b c d e f g h i j k l m n o p",
       {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n", "o"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.name;
}

TEST(FindVerbTest, VerbAfterDashOrSlashInAnyLetterCase) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    Verb verb;
  };
  const std::vector<Case> cases = {
      {"Install", {"mf2", "-install"}, Verb::Install},
      {"InstallSlashMixedCase", {"mf2", "/InStAlL"}, Verb::Install},
      {"InstallWithoutLead", {"mf2", "install"}, Verb::Unknown},
      {"InstallOtherLead", {"mf2", "+install"}, Verb::Unknown},
      {"InstallWithExtraArguments", {"mf2", "-install", "x"}, Verb::Install},
      {"Remove", {"mf2", "/REMOVE"}, Verb::Remove},
      {"Debug", {"mf2", "-Debug"}, Verb::Debug},
      {"CreateTwoNames", {"mf2", "-create", "NORAS", "Postfach"}, Verb::Create},
      {"CreateSlash", {"mf2", "/CREATE", "NORAS", "Postfach"}, Verb::Create},
      {"CreateOneName", {"mf2", "-create", "NORAS"}, Verb::Unknown},
      {"CreateThreeNames", {"mf2", "-create", "NORAS", "Postfach", "x"}, Verb::Unknown},
      {"Prefix", {"mf2", "-inst"}, Verb::Unknown},
      {"LeadOnly", {"mf2", "-"}, Verb::Unknown},
      {"Status", {"mf2", "-STATUS"}, Verb::Status},
      {"ReleaseAll", {"mf2", "-release", "NORAS", "Postfach"}, Verb::Release},
      {"ReleaseOne", {"mf2", "/Release", "NORAS", "Postfach", "uid7"}, Verb::Release},
      {"ReleaseOneName", {"mf2", "-release", "NORAS"}, Verb::Unknown},
      {"ReleaseTwoIds", {"mf2", "-release", "NORAS", "Postfach", "a", "b"}, Verb::Unknown},
      {"HelpShort", {"mf2", "-h"}, Verb::Help},
      {"HelpLong", {"mf2", "--help"}, Verb::Help},
      {"HelpSlashQuestion", {"mf2", "/?"}, Verb::Help},
      {"Version", {"mf2", "--version"}, Verb::Version},
      {"DoubleLeadOnly", {"mf2", "--"}, Verb::Unknown},
      {"NoVerb", {"mf2"}, Verb::None},
      {"NoArguments", {}, Verb::None},
  };
  for (const Case& c : cases) EXPECT_EQ(FindVerb(c.args), c.verb) << c.name;
}

TEST(FindVerbTest, QuotedProgramPathWithOneBlankLeavesTheVerbInArgumentOne) {
  EXPECT_EQ(FindVerb(SplitCommandLine("\"C:\\Program Files\\mailferry2.exe\" /install")), Verb::Install);
}

}  // namespace
}  // namespace ferry::test
