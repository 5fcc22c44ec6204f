#include "tests/support/temp_hive.h"

#include <fstream>
#include <random>
#include <sstream>

#include "platform/event_log.h"
#include "platform/store_location.h"
#include "platform/system_info.h"

namespace ferry::test {

std::filesystem::path MakeTempFolder(const std::string& prefix) {
  std::random_device rd;
  std::mt19937_64 gen(rd());
  for (;;) {
    auto path = std::filesystem::temp_directory_path() / (prefix + "-" + std::to_string(gen() % 1000000000ULL));
    std::error_code ec;
    if (std::filesystem::create_directory(path, ec)) return path;
    if (ec) throw std::runtime_error("cannot create " + path.string());
  }
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void TempFolderTest::SetUp() {
  folder_ = MakeTempFolder("ferrytest");
  SetEnvironment(kEventFileEnvironmentVariable, EventPath().string());
}

void TempFolderTest::TearDown() {
  SetEnvironment(kEventFileEnvironmentVariable, "");
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

void TempHiveTest::SetUp() {
  TempFolderTest::SetUp();
  SetEnvironment(reg::kHiveEnvironmentVariable, HivePath().string());
}

void TempHiveTest::TearDown() {
  SetEnvironment(reg::kHiveEnvironmentVariable, "");
  TempFolderTest::TearDown();
}

std::vector<std::string> TempFolderTest::Events() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadFile(EventPath()));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void PlantLink(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::error_code error;
  std::filesystem::create_symlink(target, link, error);
  if (error) std::ofstream(link, std::ios::binary) << "planted";
}

}  // namespace ferry::test
