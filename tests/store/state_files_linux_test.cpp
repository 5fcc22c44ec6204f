// State files are the owner's alone: folders 0700, files 0600, whatever the
// umask or the mode an existing file had.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>

#include "platform/state_files.h"
#include "service/transfer/debug_log.h"
#include "tests/support/temp_hive.h"

namespace ferry::state {
namespace {

mode_t Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class StateFileModesTest : public test::TempHiveTest {};

TEST_F(StateFileModesTest, FoldersAndFilesAreOwnerOnly) {
  mode_t previous = umask(0);
  std::string outer = Folder().string() + "/outer";
  std::string inner = outer + "/inner";
  FileResult created = CreateOwnerFolder(inner);
  std::string appended = inner + "/appended";
  std::string replaced = inner + "/replaced";
  std::ofstream(appended) << "was world-readable\n";
  chmod(appended.c_str(), 0644);
  AppendFile file;
  FileResult opened = file.Open(appended);
  FileResult replacedResult = ReplaceFileAtomically(replaced, "x");
  umask(previous);

  ASSERT_TRUE(created.ok() && opened.ok() && replacedResult.ok());
  EXPECT_EQ(Mode(outer), 0700u);
  EXPECT_EQ(Mode(inner), 0700u);
  EXPECT_EQ(Mode(appended), 0600u);
  EXPECT_EQ(Mode(replaced), 0600u);
}

// A debug log may name hosts, users and mail: it is created owner-only, and
// the password is never written to it (see the POP3 login).
TEST_F(StateFileModesTest, DebugLogIsCreatedOwnerOnly) {
  mode_t previous = umask(0);
  const std::string path = Folder().string() + "/debug.log";
  DebugLog log;
  const bool opened = log.Open(path);
  log.SetLevel(9);
  log.LogText(1, "line");
  log.Close();
  umask(previous);
  ASSERT_TRUE(opened);
  EXPECT_EQ(Mode(path), 0600u);
}

}  // namespace
}  // namespace ferry::state
