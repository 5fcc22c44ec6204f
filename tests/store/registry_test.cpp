// The settings store behaves as the Windows registry does where the service
// and the console rely on it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "platform/store_location.h"
#include "platform/system_info.h"
#include "tests/support/temp_hive.h"

namespace ferry::reg {
namespace {

using test::TempHiveTest;

class RegistryTest : public TempHiveTest {
 protected:
  Key Create(const std::string& path, Key root = LocalMachine()) {
    Key key = nullptr;
    EXPECT_EQ(CreateKey(root, path, &key), kOk) << path;
    handles_.emplace_back(key);
    return key;
  }
  std::string Text(Key key, const std::string& name) {
    char buf[512] = {};
    uint32_t size = sizeof buf;
    uint32_t type = 0;
    if (QueryValue(key, name, &type, buf, &size) != kOk) return "<missing>";
    return std::string(buf, size);
  }
  std::vector<KeyHolder> handles_;
};

TEST_F(RegistryTest, NamesIgnoreLetterCaseIncludingLatin1) {
  Key key = Create("Software\\M\xFCller");
  Key same = nullptr;
  ASSERT_EQ(OpenKey(LocalMachine(), "SOFTWARE\\M\xDCLLER", kAllAccess, &same), kOk);
  KeyHolder holder(same);
  ASSERT_EQ(SetValue(key, "POP Host", kSz, "mail.example", 12), kOk);
  EXPECT_EQ(Text(same, "pop host"), "mail.example");
  // The name keeps the letter case it was first written with.
  ASSERT_EQ(SetValue(same, "POP HOST", kSz, "x", 1), kOk);
  std::string name;
  ASSERT_EQ(EnumKey(Create("Software"), 0, &name, 100), kOk);
  EXPECT_EQ(name, "M\xFCller");
}

TEST_F(RegistryTest, ValuesKeepTypeAndRawBytes) {
  Key key = Create("Types");
  const unsigned char binary[] = {0, 1, 2, 0xFF, 0};
  uint32_t dword = 0xFFFFFFFF;
  ASSERT_EQ(SetValue(key, "sz", kSz, "abc", 3), kOk);
  ASSERT_EQ(SetValue(key, "expand", kExpandSz, "%SystemRoot%", 12), kOk);
  ASSERT_EQ(SetValue(key, "bin", kBinary, binary, sizeof binary), kOk);
  ASSERT_EQ(SetValue(key, "dword", kDword, &dword, 4), kOk);
  ASSERT_EQ(SetValue(key, "", kSz, "default", 7), kOk);

  struct Case {
    const char* name;
    uint32_t type;
    std::string bytes;
  } cases[] = {
      {"sz", kSz, "abc"},
      {"expand", kExpandSz, "%SystemRoot%"},
      {"bin", kBinary, std::string(reinterpret_cast<const char*>(binary), sizeof binary)},
      {"dword", kDword, std::string("\xFF\xFF\xFF\xFF", 4)},
      {"", kSz, "default"},
  };
  for (const Case& c : cases) {
    uint32_t type = 0;
    uint32_t size = 0;
    ASSERT_EQ(QueryValue(key, c.name, &type, nullptr, &size), kOk) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(size, c.bytes.size()) << c.name;
    std::string buf(size, '?');
    ASSERT_EQ(QueryValue(key, c.name, &type, buf.data(), &size), kOk);
    EXPECT_EQ(buf, c.bytes) << c.name;
  }
}

// Windows keeps a text with its terminating NUL (its own tools cut the last
// character of one without); readers see the text they wrote, and a buffer
// just the text's size is enough, on both systems.
TEST_F(RegistryTest, TextsReadBackWithoutTheTerminatorTheSystemKeeps) {
  Key key = Create("Texts");
  ASSERT_EQ(SetValue(key, "plain", kSz, "geheim-Passwort-1", 17), kOk);
  ASSERT_EQ(SetValue(key, "terminated", kSz, "127.0.0.1\0", 10), kOk);
  ASSERT_EQ(SetValue(key, "empty", kExpandSz, "", 0), kOk);
  char exact[17];
  uint32_t size = sizeof exact;
  ASSERT_EQ(QueryValue(key, "plain", nullptr, exact, &size), kOk);
  EXPECT_EQ(std::string(exact, size), "geheim-Passwort-1");
  EXPECT_EQ(Text(key, "terminated").substr(0, 9), "127.0.0.1");
  EXPECT_LE(Text(key, "terminated").size(), 10u);
  size = 0;
  uint32_t type = 0;
  ASSERT_EQ(QueryValue(key, "empty", &type, nullptr, &size), kOk);
  EXPECT_EQ(type, kExpandSz);
  EXPECT_EQ(size, 0u);
}

TEST_F(RegistryTest, SmallBufferAnswersMoreDataAndCopiesNothing) {
  Key key = Create("Small");
  ASSERT_EQ(SetValue(key, "v", kSz, "0123456789", 10), kOk);
  char buf[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  uint32_t size = sizeof buf;
  EXPECT_EQ(QueryValue(key, "v", nullptr, buf, &size), kMoreData);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(std::string(buf, 8), "########");
}

TEST_F(RegistryTest, DeletingFailsForMissingNamesAndKeysWithSubkeys) {
  Key parent = Create("Parent");
  Create("Parent\\Child\\Grandchild");
  EXPECT_EQ(DeleteKey(LocalMachine(), "Parent\\Child"), kAccessDenied);
  EXPECT_EQ(DeleteKey(parent, "Missing"), kFileNotFound);
  EXPECT_EQ(DeleteValue(parent, "missing"), kFileNotFound);
  EXPECT_EQ(DeleteKey(parent, "child\\grandchild"), kOk);
  EXPECT_EQ(DeleteKey(parent, "CHILD"), kOk);
  Key gone = nullptr;
  EXPECT_EQ(OpenKey(LocalMachine(), "Parent\\Child", kAllAccess, &gone), kFileNotFound);
  ASSERT_EQ(SetValue(parent, "v", kSz, "x", 1), kOk);
  EXPECT_EQ(DeleteValue(parent, "V"), kOk);
  EXPECT_EQ(Text(parent, "v"), "<missing>");
}

TEST_F(RegistryTest, HandleOfADeletedKeyFails) {
  Key child = Create("Doomed\\Key");
  ASSERT_EQ(DeleteKey(LocalMachine(), "Doomed\\Key"), kOk);
  // A key made after the deletion is never reached through the old handle.
  Key later = Create("Doomed\\Later");
  EXPECT_EQ(SetValue(child, "v", kSz, "x", 1), kKeyDeleted);
  EXPECT_EQ(Text(later, "v"), "<missing>");
  uint32_t size = 0;
  EXPECT_EQ(QueryValue(child, "v", nullptr, nullptr, &size), kKeyDeleted);
}

TEST_F(RegistryTest, EnumerationIsStableAndBoundedByTheCallersBuffer) {
  Key parent = Create("Enum");
  for (const char* name : {"charlie", "Alpha", "bravo", "a-name-of-exactly-thirty-chars"}) Create(std::string("Enum\\") + name);
  std::vector<std::string> names;
  std::string name;
  uint32_t i = 0;
  for (; EnumKey(parent, i, &name, 200) == kOk; ++i) names.push_back(name);
  EXPECT_EQ(EnumKey(parent, i, &name, 200), kNoMoreItems);
  EXPECT_EQ(names, (std::vector<std::string>{"a-name-of-exactly-thirty-chars", "Alpha", "bravo", "charlie"}));
  // A name of 30 characters does not fit a 30-byte buffer (terminator included).
  EXPECT_EQ(EnumKey(parent, 0, &name, 30), kMoreData);
  EXPECT_EQ(EnumKey(parent, 0, &name, 31), kOk);
}

TEST_F(RegistryTest, TheTwoRootsAreSeparate) {
  Key machine = Create("Software\\Same", LocalMachine());
  Key user = Create("Software\\Same", CurrentUser());
  ASSERT_EQ(SetValue(machine, "v", kSz, "machine", 7), kOk);
  EXPECT_EQ(Text(user, "v"), "<missing>");
}

TEST_F(RegistryTest, TransactionCommitsOrRollsBackEverything) {
  Key root = nullptr;
  ASSERT_EQ(ConnectRegistry("", LocalMachine(), &root), kOk);
  KeyHolder rootHolder(root);
  ASSERT_EQ(BeginTransaction(root), kOk);
  Key key = nullptr;
  ASSERT_EQ(CreateKey(root, "Tx\\A", &key), kOk);
  KeyHolder keyHolder(key);
  ASSERT_EQ(SetValue(key, "v", kSz, "1", 1), kOk);
  ASSERT_EQ(RollbackTransaction(root), kOk);
  Key probe = nullptr;
  EXPECT_EQ(OpenKey(LocalMachine(), "Tx", kAllAccess, &probe), kFileNotFound);

  ASSERT_EQ(BeginTransaction(root), kOk);
  Key again = nullptr;
  ASSERT_EQ(CreateKey(root, "Tx\\A", &again), kOk);
  KeyHolder againHolder(again);
  ASSERT_EQ(SetValue(again, "v", kSz, "2", 1), kOk);
  ASSERT_EQ(CommitTransaction(root), kOk);
  EXPECT_EQ(Text(Create("Tx\\A"), "v"), "2");
}

// A tree deleted from the bottom up through handles of its own keys (as a
// recursive delete does), with values changed first, comes back whole; so do
// the values of keys created and written after it went.
TEST_F(RegistryTest, RollbackRestoresATreeDeletedThroughItsOwnKeys) {
  ASSERT_EQ(SetValue(Create("Tx\\A"), "a", kSz, "alpha", 5), kOk);
  ASSERT_EQ(SetValue(Create("Tx\\A\\B"), "b", kBinary, "b\0", 2), kOk);
  ASSERT_EQ(SetValue(Create("Tx\\A\\B\\C"), "c", kSz, "gamma", 5), kOk);
  Key root = nullptr;
  ASSERT_EQ(ConnectRegistry("", LocalMachine(), &root), kOk);
  KeyHolder rootHolder(root);

  ASSERT_EQ(BeginTransaction(root), kOk);
  {
    KeyHolder a;
    ASSERT_EQ(OpenKey(root, "Tx\\A", kAllAccess, a.out()), kOk);
    KeyHolder b;
    ASSERT_EQ(OpenKey(a.get(), "B", kAllAccess, b.out()), kOk);
    ASSERT_EQ(SetValue(b.get(), "b", kSz, "changed", 7), kOk);
    ASSERT_EQ(DeleteKey(b.get(), "C"), kOk);
    ASSERT_EQ(DeleteKey(a.get(), "B"), kOk);
    ASSERT_EQ(SetValue(a.get(), "a", kSz, "changed", 7), kOk);
  }
  ASSERT_EQ(DeleteKey(root, "Tx\\A"), kOk);
  KeyHolder again;
  ASSERT_EQ(CreateKey(root, "Tx\\A\\B", again.out()), kOk);
  ASSERT_EQ(SetValue(again.get(), "new", kSz, "x", 1), kOk);
  again.Reset();
  ASSERT_EQ(RollbackTransaction(root), kOk);

  EXPECT_EQ(Text(Create("Tx\\A"), "a"), "alpha");
  EXPECT_EQ(Text(Create("Tx\\A\\B"), "b"), std::string("b\0", 2));
  EXPECT_EQ(Text(Create("Tx\\A\\B"), "new"), "<missing>");
  EXPECT_EQ(Text(Create("Tx\\A\\B\\C"), "c"), "gamma");
  std::string name;
  EXPECT_EQ(EnumKey(Create("Tx\\A\\B\\C"), 0, &name, 100), kNoMoreItems);
}

TEST_F(RegistryTest, ConnectingReachesThisComputerOnlyUnlessAHiveFolderIsGiven) {
  Key local = nullptr;
  ASSERT_EQ(ConnectRegistry(ComputerName(), LocalMachine(), &local), kOk);
  CloseKey(local);
  Key remote = nullptr;
  EXPECT_EQ(ConnectRegistry("\\\\elsewhere", LocalMachine(), &remote), kBadNetPath);

  // Another computer's hive made reachable by the administrator.
  auto other = Folder() / "hives";
  std::filesystem::create_directory(other);
  SetEnvironment(kHiveEnvironmentVariable, (other / "elsewhere.hive").string());
  Create("Remote\\Key");
  SetEnvironment(kHiveEnvironmentVariable, HivePath().string());
  SetEnvironment(kRemoteHivesEnvironmentVariable, other.string());
  ASSERT_EQ(ConnectRegistry("\\\\elsewhere", LocalMachine(), &remote), kOk);
  KeyHolder remoteHolder(remote);
  Key key = nullptr;
  EXPECT_EQ(OpenKey(remote, "Remote\\Key", kAllAccess, &key), kOk);
  CloseKey(key);
  EXPECT_EQ(ConnectRegistry("..", LocalMachine(), &key), kBadNetPath);
  SetEnvironment(kRemoteHivesEnvironmentVariable, "");
}

TEST_F(RegistryTest, HiveAndItsFolderAreCreatedForTheOwnerOnly) {
  auto nested = Folder() / "state" / "mailferry" / "registry.hive";
  SetEnvironment(kHiveEnvironmentVariable, nested.string());
  Create("Anything");
  namespace fs = std::filesystem;
  auto perms = [](const fs::path& p) { return fs::status(p).permissions() & fs::perms::all; };
  EXPECT_EQ(perms(nested), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(perms(nested.parent_path()), fs::perms::owner_all);
  EXPECT_EQ(perms(nested.parent_path().parent_path()), fs::perms::owner_all);
}

// Many writers, each with its own connection, on one hive: nothing is lost.
TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
  constexpr int kWriters = 4;
  constexpr int kValues = 100;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([w] {
      for (int i = 0; i < kValues; ++i) {
        Key key = nullptr;
        if (CreateKey(LocalMachine(), "Shared\\Writer" + std::to_string(w % 2), &key) != kOk) continue;
        std::string name = "w" + std::to_string(w) + "v" + std::to_string(i);
        SetValue(key, name, kSz, name.data(), static_cast<uint32_t>(name.size()));
        CloseKey(key);
      }
    });
  }
  for (auto& t : writers) t.join();
  for (int w = 0; w < kWriters; ++w) {
    Key key = Create("Shared\\Writer" + std::to_string(w % 2));
    for (int i = 0; i < kValues; ++i) {
      std::string name = "w" + std::to_string(w) + "v" + std::to_string(i);
      EXPECT_EQ(Text(key, name), name);
    }
  }
}

// Two processes (this test program started twice more) write one hive at once.
TEST_F(RegistryTest, TwoProcessesWritingOneHiveLoseNothing) {
  std::string self = ModulePath();
  ASSERT_FALSE(self.empty());
  std::vector<std::thread> children;
  std::vector<int> status(2, -1);
  for (int w = 0; w < 2; ++w) {
    children.emplace_back([&, w] {
      std::string command = "\"" + self + "\" --gtest_filter=StoreChildProcess.WriteValues >/dev/null 2>&1";
      status[static_cast<std::size_t>(w)] = std::system(("FERRY_CHILD_WRITER=" + std::to_string(w) + " " + command).c_str());
    });
  }
  for (auto& t : children) t.join();
  EXPECT_EQ(status[0], 0);
  EXPECT_EQ(status[1], 0);
  Key key = Create("Processes");
  for (int w = 0; w < 2; ++w) {
    for (int i = 0; i < 200; ++i) {
      std::string name = "p" + std::to_string(w) + "v" + std::to_string(i);
      EXPECT_EQ(Text(key, name), name);
    }
  }
}

// The writer of the test above; does nothing unless started by it.
TEST(StoreChildProcess, WriteValues) {
  const char* writer = std::getenv("FERRY_CHILD_WRITER");
  if (writer == nullptr) GTEST_SKIP() << "started only by TwoProcessesWritingOneHiveLoseNothing";
  for (int i = 0; i < 200; ++i) {
    Key key = nullptr;
    ASSERT_EQ(CreateKey(LocalMachine(), "Processes", &key), kOk);
    std::string name = "p" + std::string(writer) + "v" + std::to_string(i);
    ASSERT_EQ(SetValue(key, name, kSz, name.data(), static_cast<uint32_t>(name.size())), kOk);
    CloseKey(key);
  }
}

}  // namespace
}  // namespace ferry::reg
