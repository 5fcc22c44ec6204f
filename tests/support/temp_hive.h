// A throwaway settings store and event file for one test: a fresh folder whose
// hive and event file the process uses until the fixture ends.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace ferry::test {

class TempHiveTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& Folder() const { return folder_; }
  std::filesystem::path HivePath() const { return folder_ / "registry.hive"; }
  std::filesystem::path EventPath() const { return folder_ / "events.log"; }
  // The lines of the event file written so far.
  std::vector<std::string> Events() const;

 private:
  std::filesystem::path folder_;
};

// A new empty folder below the system's temporary folder.
std::filesystem::path MakeTempFolder(const std::string& prefix);

// Reads a whole file; empty when missing.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace ferry::test
