// An account's settings with both tickers' folders and addresses, pointed at
// scripted HTTP, POP3 and SMTP peers on loopback.
#pragma once

#include <filesystem>
#include <string>

#include "service/tickers/ticker_sites.h"
#include "tests/peers/http_peer.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {

inline constexpr const char* kTickerTo = "ticker@office.example";
inline constexpr const char* kCtTo = "ct@office.example";

class TickerTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    std::filesystem::create_directories(BdwDir());
    std::filesystem::create_directories(CtDir());
    settings.bdwDir = BdwDir().string();
    settings.ctDir = CtDir().string();
    settings.tickerEMail = kTickerTo;
    settings.ctEMail = kCtTo;
  }
  void TearDown() override {
    SetEnvironment(kScienceTickerEnvironmentVariable, "");
    SetEnvironment(kCtTickerEnvironmentVariable, "");
    TransferTest::TearDown();
  }

  std::filesystem::path BdwDir() const { return Folder() / "bdw"; }
  std::filesystem::path CtDir() const { return Folder() / "ct"; }

  void UseScience(const HttpPeer& peer) { SetEnvironment(kScienceTickerEnvironmentVariable, peer.Override()); }
  void UseCt(const HttpPeer& peer) { SetEnvironment(kCtTickerEnvironmentVariable, peer.Override()); }
  // A ticker address where nothing listens: every connect is refused.
  void RefuseScience() { SetEnvironment(kScienceTickerEnvironmentVariable, UnusedLoopbackAddress() + ":80"); }
  void RefuseCt() { SetEnvironment(kCtTickerEnvironmentVariable, UnusedLoopbackAddress() + ":80"); }
};

}  // namespace ferry::test
