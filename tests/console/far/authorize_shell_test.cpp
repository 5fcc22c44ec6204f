// The far shell's text of "Autorisieren" hands every account name over
// unchanged, whatever characters it holds.
#include <gtest/gtest.h>

#include <chrono>

#include "console/model/authorize_line.h"
#include "platform/child_process.h"

namespace ferry::test {
namespace {

TEST(AuthorizeShell, NamesReachTheFarProgramUnchanged) {
  console::ConsoleSettings settings;
  settings.authorizeCommand = "printf '%s\\n'";  // stands for the gateway program: prints its words
  for (const std::string name : {"plain", "two words", "it's", "$HOME `id` $(id)", "a\\b\"c", "--help", "*"}) {
    SCOPED_TRACE(name);
    console::AccountRow row;
    row.connection = "Dial; echo hacked";
    row.name = name;
    row.origin = {row.connection, row.name};
    row.popAuth = "1";
    console::AuthorizeLine line = console::MakeAuthorizeLine(row, settings, {"far", ""});
    ASSERT_FALSE(line.argv.empty()) << line.refusal;
    ChildRun run = RunChild({"/bin/sh", "-c", line.argv.back()}, {}, 4096, std::chrono::seconds(10));
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "-authorize\n" + row.connection + "\n" + name + "\n");
  }
}

}  // namespace
}  // namespace ferry::test
