// An account in a throwaway store with both tickers' folders and addresses,
// pointed at scripted HTTP, POP3 and SMTP peers on loopback.
#pragma once

#include <filesystem>
#include <string>

#include "platform/registry.h"
#include "schema/registry_schema.h"
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
    SetStoreText("", "BDWDir", BdwDir().string());
    SetStoreText("", "CTDir", CtDir().string());
    SetStoreText("", "TickerEMail", kTickerTo);
    SetStoreText("", "CTEMail", kCtTo);
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

  static void SetVolatile(const std::string& name, const std::string& value) { SetStoreText("volatile", name, value); }
  static std::string Volatile(const std::string& name) {
    reg::Key key = nullptr;
    if (reg::OpenKey(reg::LocalMachine(), schema::kVolatileKey, reg::kAllAccess, &key) != reg::kOk) return {};
    std::string value(512, '\0');
    uint32_t type = 0, size = static_cast<uint32_t>(value.size());
    if (reg::QueryValue(key, name, &type, value.data(), &size) != reg::kOk) size = 0;
    reg::CloseKey(key);
    value.resize(size);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
  }
};

}  // namespace ferry::test
