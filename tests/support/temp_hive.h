// A throwaway folder and event file for one test, and with TempHiveTest a
// throwaway settings store in it: the process uses them until the fixture ends.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ferry::test {

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& Folder() const { return folder_; }
  std::filesystem::path EventPath() const { return folder_ / "events.log"; }
  // The lines of the event file written so far.
  std::vector<std::string> Events() const;

 private:
  std::filesystem::path folder_;
};

class TempHiveTest : public TempFolderTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path HivePath() const { return Folder() / "registry.hive"; }
};

// A new empty folder below the system's temporary folder.
std::filesystem::path MakeTempFolder(const std::string& prefix);

// Reads a whole file; empty when missing.
std::string ReadFile(const std::filesystem::path& path);

// Plants a symbolic link to target; where the system makes none (Wine), a
// plain file stands in, so the writer still has to replace what is there.
void PlantLink(const std::filesystem::path& target, const std::filesystem::path& link);

}  // namespace ferry::test
