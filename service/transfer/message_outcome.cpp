#include "service/transfer/message_outcome.h"

#include <optional>
#include <set>

#include "platform/event_log.h"
#include "service/transfer/address_list.h"
#include "service/transfer/address_rules.h"
#include "service/transfer/mail_list.h"
#include "service/transfer/run_context.h"
#include "service/transfer/run_failure.h"

namespace ferry {
namespace {

// The unique id of a mailbox message, or null (ticker mail, no UIDL, no ledger).
const std::string* LedgerIdOf(const RunContext& context, const MailRecord& record) {
  if (record.GetNumber() < 0 || !context.mailbox.ledger) return nullptr;
  auto id = context.mailbox.idOf.find(record.GetNumber());
  return id == context.mailbox.idOf.end() ? nullptr : &id->second;
}

}  // namespace

std::vector<std::string> DoneRecipients(const RunContext& context, const MailRecord& record) {
  const std::string* id = LedgerIdOf(context, record);
  if (id == nullptr) return {};
  const LedgerEntry* entry = context.mailbox.ledger->Find(*id);
  if (entry == nullptr || entry->state != LedgerState::kPartial) return {};
  return entry->recipients;
}

std::vector<std::string> Missing(const std::vector<std::string>& recipients, const std::vector<std::string>& done) {
  std::set<std::string> taken;
  for (const std::string& address : done) taken.insert(LowerAscii(address));
  std::vector<std::string> missing;
  for (const std::string& address : recipients) {
    if (taken.insert(LowerAscii(address)).second) missing.push_back(address);
  }
  return missing;
}

void RecordDoneSoFar(RunContext& context, const MailRecord& record, const std::vector<std::string>& recipients) {
  const std::string* id = LedgerIdOf(context, record);
  if (id == nullptr) return;
  MailboxState& mailbox = context.mailbox;
  ReportLedgerWrite(context, mailbox.ledger->RecordPartial(*id, recipients, mailbox.Now()));
}

std::string HeaderForEvent(std::string_view headerBlock, std::string_view name, std::size_t limit) {
  std::optional<std::string_view> value = FoldedHeaderValue(headerBlock, name);
  if (!value) return {};
  std::string text;
  for (char c : *value) {
    if (text.size() >= limit) break;
    auto u = static_cast<unsigned char>(c);
    if (c == '\r' || c == '\n') continue;
    text.push_back(u < 0x20 || u == 0x7F ? ' ' : c);
  }
  std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

void RefuseMessage(RunContext& context, const MailRecord& record, std::string_view headerBlock,
                   std::string_view reply) {
  const AccountSettings& s = context.settings;
  std::string number = std::to_string(record.GetNumber());
  context.LogText(2, "Message " + number + " refused for good: " + std::string(reply));
  std::string text(reply);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  std::string uidl;
  if (const std::string* id = LedgerIdOf(context, record)) {
    MailboxState& mailbox = context.mailbox;
    ReportLedgerWrite(context, mailbox.ledger->RecordRefused(*id, text, mailbox.Now()));
    uidl = *id;
  }
  if (record.GetNumber() < 0) return;
  context.Event(kEventMessageRefused, kEventWarning,
                {s.connectionName, s.accountName, number, HeaderForEvent(headerBlock, "from", 120),
                 HeaderForEvent(headerBlock, "subject", 120), ReplyForEvent(text), uidl});
}

}  // namespace ferry
