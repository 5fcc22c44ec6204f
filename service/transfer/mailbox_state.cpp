#include "service/transfer/mailbox_state.h"

#include <algorithm>
#include <chrono>

#include "platform/event_log.h"
#include "service/transfer/event_ids.h"
#include "service/transfer/mail_list.h"
#include "service/transfer/run_context.h"

namespace ferry {

int64_t MailboxState::Now() const {
  if (clock) return clock();
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

PlanOptions PlanOptionsFor(const RunContext& context) {
  const AccountSettings& s = context.settings;
  PlanOptions options;
  options.popDelete = s.popDelete != 0;
  options.keepDays = static_cast<int32_t>(std::min<uint32_t>(s.keepDays, kMaxKeepDays));
  options.now = context.mailbox.Now();
  return options;
}

void RecordAcceptance(RunContext& context, const MailRecord& record, const std::vector<std::string>& recipients,
                      bool complete) {
  if (record.GetNumber() < 0) return;
  MailboxState& mailbox = context.mailbox;
  ++mailbox.forwarded;
  if (!mailbox.ledger) return;
  auto id = mailbox.idOf.find(record.GetNumber());
  if (id == mailbox.idOf.end()) return;
  ReportLedgerWrite(context, complete ? mailbox.ledger->RecordAccepted(id->second, recipients, mailbox.Now())
                                      : mailbox.ledger->RecordPartial(id->second, recipients, mailbox.Now()));
}

void ReportLedgerWrite(RunContext& context, const state::FileResult& result) {
  MailboxState& mailbox = context.mailbox;
  if (result.ok() || !mailbox.ledger) return;
  context.LogString(2, "Ledger not written: %s", mailbox.ledger->path());
  if (mailbox.recordFailed) return;
  mailbox.recordFailed = true;
  const AccountSettings& s = context.settings;
  context.Event(kEventLedgerFailed, kEventError,
                {s.connectionName, s.accountName, mailbox.ledger->path(), state::DescribeFileResult(result)});
}

}  // namespace ferry
