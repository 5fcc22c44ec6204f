// An account in a throwaway store, pointed at scripted peers, with a debug log
// at level 9 that the test can read.
#pragma once

#include <memory>
#include <string>

#include "platform/system_info.h"
#include "service/runtime/account_context.h"
#include "service/transfer/account_run.h"
#include "service/transfer/transfer_ports.h"
#include "tests/peers/pop3_peer.h"
#include "tests/peers/smtp_peer.h"
#include "tests/peers/store_values.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {

inline constexpr const char* kAccountKey = "NORAS\\Postfach";

class TransferTest : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    SetStoreNumber("", "DebugLevel", 9);
    SetStoreNumber("NORAS", "Enable Logging", 1);
    SetStoreText("NORAS", "Logfile", LogPath().string());
    SetStoreNumber(kAccountKey, "Enable Account", 1);
    SetStoreText(kAccountKey, "POP User", "anna");
    SetStoreText(kAccountKey, "POP Passwort", "geheim");
    SetStoreText(kAccountKey, "SMTP From", "gateway@office.example");
    SetStoreText(kAccountKey, "SMTP To", "postmaster@office.example");
  }
  void TearDown() override {
    if (getenv("KEEPLOG")) std::cerr << Log();
    SetEnvironment(kPop3PortEnvironmentVariable, "");
    SetEnvironment(kSmtpPortEnvironmentVariable, "");
    TempHiveTest::TearDown();
  }

  std::filesystem::path LogPath() const { return Folder() / "debug.log"; }
  std::string Log() const { return ReadFile(LogPath()); }

  void Use(const Pop3Peer& peer) {
    SetStoreText(kAccountKey, "POP Host", peer.Host());
    if (!peer.OnStandardPort()) SetEnvironment(kPop3PortEnvironmentVariable, std::to_string(peer.Port()));
  }
  void Use(const SmtpPeer& peer) {
    SetStoreText(kAccountKey, "SMTP Host", peer.Host());
    if (!peer.OnStandardPort()) SetEnvironment(kSmtpPortEnvironmentVariable, std::to_string(peer.Port()));
  }

  std::unique_ptr<AccountContext> Context() { return std::make_unique<AccountContext>("NORAS", "Postfach"); }
  // One account run of "NORAS\Postfach" as the worker makes it; its result code.
  int Run() {
    auto context = Context();
    return RunAccount(*context);
  }
  bool HasEvent(const std::string& line) const {
    for (const std::string& e : Events()) {
      if (e == line) return true;
    }
    return false;
  }

  static std::string Helo() { return "HELO " + ComputerName() + "\r\n"; }
};

// A short message with the given header lines.
inline std::string Message(const std::string& headers, const std::string& body = "Hallo.\r\n") {
  return headers + "\r\n\r\n" + body;
}

}  // namespace ferry::test
