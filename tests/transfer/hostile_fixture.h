// Whole account runs with "POP Delete" on against peers that misbehave, and the
// delete guarantee checked on every outcome: a message is deleted on the POP3
// server only when the SMTP sink accepted it, byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "service/transfer/account_run.h"
#include "service/transfer/smtp_delivery.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {

// Three plain messages, each to its own recipient.
inline std::vector<std::string> PlainMailbox() { return NumberedMailbox(3); }

// One misbehaviour: the answer to the `nth` command (counted from 1) that
// begins with `prefix` ("" the greeting, "<end of data>" the reply to the text);
// `nth` 0 answers every such command.
struct Misbehaviour {
  std::string prefix;
  PeerReply reply;
  int nth = 1;
};

// An override out of misbehaviours; a command none of them names is answered
// normally. Built afresh for every peer (it counts).
inline PeerOverride Misbehave(std::vector<Misbehaviour> rules) {
  auto seen = std::make_shared<std::vector<int>>(rules.size(), 0);
  return [rules, seen](std::string_view command) -> std::optional<PeerReply> {
    for (std::size_t i = 0; i < rules.size(); ++i) {
      const Misbehaviour& rule = rules[i];
      bool hit = rule.prefix.empty() ? command.empty() : command.starts_with(rule.prefix);
      if (!hit) continue;
      int n = ++(*seen)[i];
      if (rule.nth == 0 || n == rule.nth) return rule.reply;
    }
    return std::nullopt;
  };
}

class HostileRunTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    settings.popDelete = 1;
    settings.addressmode = 1;
    settings.addressmodeFrom = 1;
  }

  // A peer that falls silent somewhere is waited for only briefly.
  void WaitBrieflyIfSilent(const std::vector<Misbehaviour>& rules) {
    for (const Misbehaviour& rule : rules) {
      if (rule.reply.then == PeerReply::Then::Hang) receiveTimeout = kShortReceiveTimeout;
    }
  }

  // What the sink holds for a mailbox text: the x-info line and the text as the
  // POP3 server sent it (stuffed, with its end marker).
  static std::string AsDelivered(const std::string& text) {
    std::string answer = Pop3Peer::RetrAnswer(text);
    return std::string(kXInfoLine) + answer.substr(answer.find("\r\n") + 2);
  }

  using TransferTest::Delivered;
  // The 1-based numbers of the mailbox texts the sink accepted.
  static std::set<int> Delivered(const std::vector<std::string>& box, const SmtpPeer& smtp) {
    std::set<int> out;
    for (const ReceivedMail& mail : smtp.Mails()) {
      for (std::size_t i = 0; i < box.size(); ++i) {
        if (mail.data == AsDelivered(box[i])) out.insert(static_cast<int>(i + 1));
      }
    }
    return out;
  }

  // The guarantee: everything deleted was delivered; the run left the account free.
  void ExpectNothingLost(const std::vector<std::string>& box, const Pop3Peer& pop, const SmtpPeer& smtp) {
    std::set<int> delivered = Delivered(box, smtp);
    for (int n : pop.Deleted()) EXPECT_TRUE(delivered.count(n)) << "message " << n << " deleted but not delivered";
    EXPECT_EQ(after.inUse, 0U);
  }
};

}  // namespace ferry::test
