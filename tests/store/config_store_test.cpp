// Loading and saving an account run's settings against a real hive.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/registry.h"
#include "schema/registry_schema.h"
#include "service/runtime/account_worker.h"
#include "service/runtime/config_store.h"
#include "service/runtime/stored_run.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry {
namespace {

namespace s = schema;
using test::PutDword;
using test::PutString;
using reg::Key;
using reg::KeyHolder;

class ConfigStoreTest : public test::TempHiveTest {
 protected:
  static KeyHolder Open(const std::string& path) {
    KeyHolder key;
    EXPECT_EQ(reg::CreateKey(reg::LocalMachine(), path, key.out()), reg::kOk);
    return key;
  }
  static bool Has(const std::string& path, const char* name) {
    uint32_t size = 0;
    return reg::QueryValue(Open(path).get(), name, nullptr, nullptr, &size) == reg::kOk;
  }
  // The stored bytes and type of a value.
  static std::pair<uint32_t, std::string> Raw(const std::string& path, const char* name) {
    std::string bytes(1024, '\0');
    uint32_t size = 1024;
    uint32_t type = 0;
    if (reg::QueryValue(Open(path).get(), name, &type, bytes.data(), &size) != reg::kOk) return {0, "<missing>"};
    bytes.resize(size);
    return {type, bytes};
  }
  static uint32_t Number(const std::string& path, const char* name) {
    auto [type, bytes] = Raw(path, name);
    uint32_t value = 0xDEADBEEF;
    if (bytes.size() == 4) std::memcpy(&value, bytes.data(), 4);
    return value;
  }

  const std::string account = s::AccountKey("NORAS", "Postfach");
  const std::string connection = s::ConnectionKey("NORAS");
};

TEST_F(ConfigStoreTest, OldNamesAreMigratedWhenTheRunReadsThem) {
  PutString(account, "EMailHost", "pop.old.example-with-more-than-thirty-characters");
  PutString(account, "EMailTo", "old@example.org");
  PutString(account, s::kSmtpTo, "new@example.org");
  PutDword(account, "EMailFlags", 3);
  PutDword(account, s::kOldFlags, 7);
  PutDword(account, s::kEnableCt, 1);
  PutDword(connection, "LogEnabled", 1);
  {
    StoredRun run("NORAS", "Postfach");
    EXPECT_EQ(run.Settings().popHost, "pop.old.example-with-more-than-thirty-characters");
    EXPECT_EQ(run.Settings().smtpTo, "new@example.org");
    EXPECT_EQ(run.Settings().addressmode, 3u);
    EXPECT_EQ(run.Settings().enableLogging, 1u);
  }
  EXPECT_EQ(Raw(account, s::kPopHost),
            std::make_pair(reg::kSz, std::string("pop.old.example-with-more-than-thirty-characters")));
  EXPECT_EQ(Raw(account, s::kSmtpTo).second, "new@example.org") << "a current value wins over its old name";
  EXPECT_EQ(Number(account, s::kAddressmode), 3u);
  EXPECT_EQ(Number(connection, s::kEnableLogging), 1u);
  for (const char* old : {"EMailHost", "EMailTo", "EMailFlags", s::kOldFlags})
    EXPECT_FALSE(Has(account, old)) << old;
  EXPECT_FALSE(Has(connection, "LogEnabled"));
  EXPECT_EQ(Number(account, s::kEnableCt), 1u) << "never written by the service, but kept";
  EXPECT_FALSE(Has(account, s::kMaxMails)) << "a run adds no value of the user's";
}

// -create adds what is missing and leaves every stored value as it is, even
// one longer than any writer may store.
TEST_F(ConfigStoreTest, CreateAddsEveryMissingValueWithItsDefaultAndKeepsTheStoredOnes) {
  const std::string tooLong(5000, 'p');
  PutString(account, s::kPopPassword, tooLong);
  PutDword(account, s::kMaxMails, 25);
  ASSERT_EQ(CreateAccountSettings("NORAS", "Postfach"), 0);
  EXPECT_EQ(Number(connection, s::kTimeout), 0xFFFFFFFFu);
  EXPECT_EQ(Number(account, s::kMaxMails), 25u);
  EXPECT_EQ(Number(s::kParametersKey, s::kListenRas), 1u);
  EXPECT_EQ(Raw(account, s::kCommand), std::make_pair(reg::kSz, std::string()));
  std::string password(6000, '\0');
  uint32_t size = 6000;
  ASSERT_EQ(reg::QueryValue(Open(account).get(), s::kPopPassword, nullptr, password.data(), &size), reg::kOk);
  EXPECT_EQ(password.substr(0, size), tooLong);
  for (const s::ValueInfo& v : s::Values()) {
    std::string path = v.level == s::Level::Global       ? s::kParametersKey
                       : v.level == s::Level::Connection ? connection
                       : v.level == s::Level::Account    ? account
                                                         : s::kVolatileKey;
    EXPECT_EQ(Has(path, v.name), v.serviceWrites || std::string_view(v.name) == s::kPopPassword) << v.name;
    if (v.serviceWrites && v.type == s::Type::Dword && std::string_view(v.name) != s::kMaxMails) {
      EXPECT_EQ(static_cast<int32_t>(Number(path, v.name)), v.defaultNumber) << v.name;
    }
  }
}

// Texts are used whole up to their row's longest length; a longer one is not
// used at all, never cut.
TEST_F(ConfigStoreTest, TextsAreReadWholeUpToTheirLongestLengthAndNumbersAsStored) {
  const std::string secret = std::string(119, 's') + "!";
  PutDword(s::kParametersKey, s::kDebugLevel, 9);
  PutString(account, s::kPopHost, std::string(256, 'h'));    // longer than a host name may be: not used
  PutString(account, s::kPopUser, std::string(255, 'u'));    // the longest user name
  PutString(account, s::kPopPassword, secret);
  PutString(account, s::kSmtpTo, std::string(31, 't'));     // beyond the old 30-byte width
  PutString(account, s::kMaxMails, "12");                    // a text read as a number: its bytes
  PutString(account, s::kSmtpFrom, std::string("a@b\0junk", 8));
  PutString(s::kVolatileKey, s::kLastTitle, std::string(1000, 'T'));
  AccountSettings st;
  st.connectionName = "NORAS";
  st.accountName = "Postfach";
  LoadSettings(st);
  EXPECT_EQ(st.debugLevel, 9);
  EXPECT_EQ(st.popHost, "");
  EXPECT_EQ(st.popUser, std::string(255, 'u'));
  EXPECT_EQ(st.popPassword, secret);
  EXPECT_EQ(st.smtpTo, std::string(31, 't'));
  EXPECT_EQ(st.maxMails, 0x3231);  // '1' '2' over the low bytes of 10
  EXPECT_EQ(st.smtpFrom, "a@b");
  EXPECT_EQ(st.lastTitle, std::string(1000, 'T'));
}

TEST_F(ConfigStoreTest, ConnectionEnumerationTakesEveryAccountInNameOrder) {
  for (int i = 11; i >= 0; --i) {
    std::string name = "acc" + std::string(1, static_cast<char>('a' + i));
    PutDword(s::AccountKey("Dial", name), s::kEnableAccount, i % 2);
  }
  PutDword(s::AccountKey("Dial", "ACCM"), s::kEnableAccount, 1);
  PutDword(s::ConnectionKey("Dial"), s::kUsingRouter, 1);
  PutDword(s::kParametersKey, s::kMaxParallel, 400);
  ConnectionRecord record;
  record.name = "Dial";
  EnumerateConnection(record);
  ASSERT_EQ(record.accountCount, 13);
  ASSERT_EQ(record.accounts.size(), 13u);
  EXPECT_EQ(record.accounts[0].accountName, "acca");
  EXPECT_EQ(record.accounts[11].accountName, "accl");
  EXPECT_EQ(record.accounts[12].accountName, "ACCM") << "letter case does not change the order";
  EXPECT_EQ(record.accounts[1].enableAccount, 1u);
  EXPECT_EQ(record.accounts[2].enableAccount, 0u);
  EXPECT_EQ(record.accounts[3].connectionName, "Dial");
  EXPECT_EQ(record.usingRouter, 1u);
  EXPECT_EQ(record.timeout, -1);
  EXPECT_EQ(record.maxParallel, 250u) << "kept within its range";

  const std::string longConnection(60, 'L');
  PutDword(s::AccountKey(longConnection, "a-short-one"), s::kEnableAccount, 1);
  PutDword(s::AccountKey(longConnection, "b" + std::string(59, 'x')), s::kEnableAccount, 1);
  PutDword(s::AccountKey(longConnection, "c" + std::string(s::kNameScanWidth + 10, 'y')), s::kEnableAccount, 1);
  PutDword(s::AccountKey(longConnection, "d-after-it"), s::kEnableAccount, 1);
  ConnectionRecord longNames;
  longNames.name = longConnection;
  EnumerateConnection(longNames);
  ASSERT_EQ(longNames.accountCount, 3) << "only a name past the scan width is left out";
  EXPECT_EQ(longNames.accounts[1].accountName, "b" + std::string(59, 'x'));
  EXPECT_EQ(longNames.accounts[1].connectionName, longConnection) << "never cut";
  EXPECT_EQ(longNames.accounts[2].accountName, "d-after-it");

  ConnectionRecord missing;
  missing.name = "Missing";
  missing.accountCount = 5;
  EnumerateConnection(missing);
  EXPECT_EQ(missing.accountCount, 0);
}

TEST_F(ConfigStoreTest, ResetClearsInUseInEveryAccountOfEveryConnection) {
  for (const char* conn : {"Alpha", "Beta", "NORAS"})
    for (const char* acc : {"one", "two", "three"}) PutDword(s::AccountKey(conn, acc), s::kInUse, 1);
  Open(s::kVolatileKey);
  ResetInUseFlags();
  for (const char* conn : {"Alpha", "Beta", "NORAS"})
    for (const char* acc : {"one", "two", "three"}) EXPECT_EQ(Number(s::AccountKey(conn, acc), s::kInUse), 0u);
}

TEST_F(ConfigStoreTest, TriggerPortDefaultsTo2000AndUsesTheLow16Bits) {
  EXPECT_EQ(ReadTriggerPort(), 2000);
  PutDword(s::kParametersKey, s::kTriggerPort, 0x12345);
  EXPECT_EQ(ReadTriggerPort(), 0x2345);
}

// A run that finds its account in use must not write "In Use" back after the
// owner has cleared it, and a run that did not touch the ticker state must not
// undo what another run stored meanwhile.
TEST_F(ConfigStoreTest, InterleavedRunsDoNotUndoNewerValues) {
  PutDword(account, s::kEnableAccount, 1);
  auto owner = std::make_unique<StoredRun>("NORAS", "Postfach");
  owner->Settings().inUse = 1;
  owner->Context().StateChanged();
  ASSERT_EQ(Number(account, s::kInUse), 1u);

  auto refused = std::make_unique<StoredRun>("NORAS", "Postfach");
  ASSERT_EQ(refused->Settings().inUse, 1u);  // the refused run sees the flag

  owner->Settings().inUse = 0;
  owner->Settings().lastTitle = "Newest item";
  owner->Settings().lastDate = " Sat, 05 Dec 2026 10:00:00 GMT";
  owner.reset();
  ASSERT_EQ(Number(account, s::kInUse), 0u);

  refused.reset();
  EXPECT_EQ(Number(account, s::kInUse), 0u);
  EXPECT_EQ(Raw(s::kVolatileKey, s::kLastTitle).second, "Newest item");
  EXPECT_EQ(Raw(s::kVolatileKey, s::kLastDate).second, " Sat, 05 Dec 2026 10:00:00 GMT");
}

// The run writes back only what it owns, one value at a time: a setting the
// user changed during the run stays, a setting the run changed in memory is
// never stored, and an account deleted during the run is not made again.
TEST_F(ConfigStoreTest, TheRunWritesOnlyItsOwnStateAndNeverRemakesADeletedAccount) {
  PutDword(account, s::kEnableAccount, 1);
  PutString(account, s::kPopHost, "pop.example");
  PutString(account, s::kPopPassword, std::string(120, 'p'));
  {
    StoredRun run("NORAS", "Postfach");
    PutDword(account, s::kEnableAccount, 0);
    PutString(account, s::kPopHost, "changed.by.console");
    run.Settings().inUse = 1;
    run.Context().StateChanged();
    EXPECT_EQ(Number(account, s::kInUse), 1u);
    run.Settings().smtpHost = "in.memory.only";
    run.Settings().popPassword.clear();
    run.Settings().lastTitle = "Title";
    run.Settings().inUse = 0;
  }
  EXPECT_EQ(Number(account, s::kEnableAccount), 0u);
  EXPECT_EQ(Raw(account, s::kPopHost).second, "changed.by.console");
  EXPECT_EQ(Raw(account, s::kPopPassword).second, std::string(120, 'p'));
  EXPECT_FALSE(Has(account, s::kSmtpHost));
  EXPECT_EQ(Number(account, s::kInUse), 0u);
  EXPECT_EQ(Raw(s::kVolatileKey, s::kLastTitle).second, "Title");

  // Deleted between the run's start and its writes of "In Use" and the outcome.
  const std::string gone = s::AccountKey("NORAS", "Gone");
  PutDword(gone, s::kEnableAccount, 1);
  {
    StoredRun run("NORAS", "Gone");
    ASSERT_EQ(reg::DeleteKey(reg::LocalMachine(), gone), reg::kOk);
    run.Settings().inUse = 1;
    run.Context().StateChanged();
    run.Context().outcome = "ok";
  }
  KeyHolder key;
  EXPECT_EQ(reg::OpenKey(reg::LocalMachine(), gone, reg::kRead, key.out()), reg::kFileNotFound);
  EXPECT_TRUE(Events().empty()) << "a deleted account is no write failure";
}

TEST_F(ConfigStoreTest, ContextRunsTheCommandBeforeItsSaveAndOpensTheLog) {
  auto marker = Folder() / "ran";
  auto log = Folder() / "account.log";
  PutDword(account, s::kEnableCommand, 1);
  PutString(account, s::kCommand, "echo ran >> \"" + marker.string() + "\"");
  PutDword(connection, s::kEnableLogging, 1);
  PutString(connection, s::kLogfile, log.string());
  PutDword(s::kParametersKey, s::kDebugLevel, 1);
  {
    StoredRun run("NORAS", "Postfach");
    EXPECT_EQ(test::ReadFile(marker), "ran\n");
    run.Context().LogText(1, "hello");
  }
  EXPECT_NE(test::ReadFile(log).find(" : hello"), std::string::npos);
  EXPECT_FALSE(Has(account, s::kLogfile)) << "the connection's log path is not copied into the account";

  // An empty account "Logfile" leaves the connection's in use.
  PutString(account, s::kLogfile, "");
  {
    StoredRun run("NORAS", "Postfach");
    run.Context().LogText(1, "second");
  }
  EXPECT_NE(test::ReadFile(log).find(" : second"), std::string::npos);
}

}  // namespace
}  // namespace ferry
