// An account's settings as the worker hands them to a run, pointed at scripted
// peers, with a debug log at level 9 that the test can read. The run reports
// through the service's own event log and notices; no store is involved.
#pragma once

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/store_location.h"
#include "platform/system_info.h"
#include "service/runtime/service_reports.h"
#include "service/transfer/account_run.h"
#include "service/transfer/ehlo_name.h"
#include "service/transfer/run_context.h"
#include "service/transfer/transfer_ports.h"
#include "tests/peers/pop3_peer.h"
#include "tests/peers/smtp_peer.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {

// What a silent peer is waited for: a test that sets `receiveTimeout` to it
// gives the run's every deadline this length (the service waits minutes).
inline constexpr std::chrono::milliseconds kShortReceiveTimeout{200};

// The service's reports, and the "In Use" values each state change handed over.
class RecordingReports : public ServiceReports {
 public:
  void StateChanged(const AccountSettings& settings) override { inUse.push_back(settings.inUse); }
  std::vector<uint32_t> inUse;
};

class TransferTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    // The mailbox ledgers go beside this (unused) store file.
    SetEnvironment(reg::kHiveEnvironmentVariable, (Folder() / "registry.hive").string());
    settings.connectionName = "NORAS";
    settings.accountName = "Postfach";
    settings.debugLevel = 9;
    settings.enableAccount = 1;
    settings.popUser = "anna";
    settings.popPassword = "geheim";
    settings.smtpFrom = "gateway@office.example";
    settings.smtpTo = "postmaster@office.example";
    log_.Open(LogPath().string());
    log_.SetLevel(settings.debugLevel);
  }
  void TearDown() override {
    if (getenv("KEEPLOG")) std::cerr << Log();
    log_.Close();
    SetEnvironment(kPop3PortEnvironmentVariable, "");
    SetEnvironment(kSmtpPortEnvironmentVariable, "");
    SetEnvironment(reg::kHiveEnvironmentVariable, "");
    TempFolderTest::TearDown();
  }

  std::filesystem::path LogPath() const { return Folder() / "debug.log"; }
  std::string Log() const { return ReadFile(LogPath()); }

  void Use(const Pop3Peer& peer) {
    settings.popHost = peer.Host();
    if (!peer.OnStandardPort()) SetEnvironment(kPop3PortEnvironmentVariable, std::to_string(peer.Port()));
  }
  void Use(const SmtpPeer& peer) {
    settings.smtpHost = peer.Host();
    if (!peer.OnStandardPort()) SetEnvironment(kSmtpPortEnvironmentVariable, std::to_string(peer.Port()));
  }

  // A context over the settings as they are now.
  std::unique_ptr<RunContext> Context() {
    auto context = std::make_unique<RunContext>(settings, log_, reports, receiveTimeout);
    if (receiveTimeout != kDefaultReceiveTimeout) context->deadlines = UniformDeadlines(receiveTimeout);
    if (deadlines) context->deadlines = deadlines;
    return context;
  }
  // One account run as the worker makes it; its result code. The settings as
  // the run left them are in `after`.
  int Run() {
    auto context = Context();
    int rc = RunAccount(*context);
    after = context->settings;
    return rc;
  }
  bool HasEvent(const std::string& line) const {
    for (const std::string& e : Events()) {
      if (e == line) return true;
    }
    return false;
  }
  // The event lines that begin with `prefix`.
  std::vector<std::string> EventsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& e : Events()) {
      if (e.starts_with(prefix)) found.push_back(e);
    }
    return found;
  }

  // A context with the given texts in its list (server numbers 1, 2, ...).
  std::unique_ptr<RunContext> WithMessages(const std::vector<std::string>& texts) {
    auto context = Context();
    context->runStage = 1;
    int32_t number = 1;
    for (const std::string& text : texts) {
      context->mailList.emplace_back();
      context->mailList.back().SetText(text, number++);
    }
    return context;
  }
  static std::vector<bool> Delivered(const RunContext& context) {
    std::vector<bool> out;
    for (const MailRecord& r : context.mailList) out.push_back(r.delivered);
    return out;
  }

  static std::string Helo() { return "EHLO " + EhloNameFor("") + "\r\n"; }

  AccountSettings settings;  // what the next run is given
  AccountSettings after;     // what the last run left
  RecordingReports reports;
  std::chrono::milliseconds receiveTimeout = kDefaultReceiveTimeout;
  std::optional<TransferDeadlines> deadlines;  // the run's deadlines, when given

 private:
  DebugLog log_;
};

// A short message with the given header lines.
inline std::string Message(const std::string& headers, const std::string& body = "Hallo.\r\n") {
  return headers + "\r\n\r\n" + body;
}

// How often `what` occurs in `text`.
inline int Occurrences(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// `count` plain messages, each to its own recipient, each with a line the
// server has to dot-stuff.
inline std::vector<std::string> NumberedMailbox(int count) {
  std::vector<std::string> box;
  for (int i = 1; i <= count; ++i) {
    std::string n = std::to_string(i);
    box.push_back(Message("From: Sender " + n + " <s" + n + "@sender.example>\r\nTo: <user" + n +
                              "@mailbox.example>\r\nSubject: Nummer " + n,
                          "Zeile eins\r\n.Punktzeile\r\n"));
  }
  return box;
}

}  // namespace ferry::test
