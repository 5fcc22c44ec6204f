// The state files beside the store: where they are, and reading, appending,
// replacing, locking and removing them on the real file system.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/state_files.h"
#include "tests/support/temp_hive.h"

namespace ferry::state {
namespace {

class StateFilesTest : public test::TempHiveTest {};

TEST_F(StateFilesTest, AppendReplaceReadAndRemove) {
  std::string folder = JoinStatePath(JoinStatePath(Folder().string(), "a"), "b");
  ASSERT_TRUE(CreateOwnerFolder(folder).ok());
  ASSERT_TRUE(CreateOwnerFolder(folder).ok()) << "an existing folder is fine";
  std::string path = JoinStatePath(folder, "journal");

  std::string content;
  EXPECT_EQ(ReadWholeFile(path, 100, &content).status, FileStatus::kNotFound);
  {
    AppendFile file;
    ASSERT_TRUE(file.Open(path).ok());
    ASSERT_TRUE(file.Append("one\n").ok());
    ASSERT_TRUE(file.Append("two\n").ok());
  }
  AppendFile again;
  ASSERT_TRUE(again.Open(path).ok());
  ASSERT_TRUE(again.Append("three\n").ok());
  again.Close();
  ASSERT_TRUE(ReadWholeFile(path, 100, &content).ok());
  EXPECT_EQ(content, "one\ntwo\nthree\n");
  EXPECT_EQ(ReadWholeFile(path, 13, &content).status, FileStatus::kTooLarge);
  EXPECT_EQ(content, "") << "nothing of an over-long file is kept";

  ASSERT_TRUE(ReplaceFileAtomically(path, "new\n").ok());
  ASSERT_TRUE(ReadWholeFile(path, 100, &content).ok());
  EXPECT_EQ(content, "new\n");
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

  FileLock lock;
  FileLock rival;
  ASSERT_TRUE(lock.TryLock(path + ".lock").ok());
  EXPECT_EQ(rival.TryLock(path + ".lock").status, FileStatus::kBusy);
  lock.Unlock();
  EXPECT_TRUE(rival.TryLock(path + ".lock").ok());

  EXPECT_TRUE(RemoveFile(path).ok());
  EXPECT_EQ(RemoveFile(path).status, FileStatus::kNotFound);
  EXPECT_FALSE(again.Append("closed").ok());
}

}  // namespace
}  // namespace ferry::state
