// The mailbox's side of one account run: its delivery ledger, the unique ids
// the POP3 server listed in the run's session, and whether that session can
// still take a command. A POP3 connection that is out of step (a reply that
// did not arrive whole, a send that failed) is closed without another word:
// a DELE or QUIT read against the rest of an unfinished reply would have the
// server roll back every deletion of the session.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "service/transfer/delivery_ledger.h"
#include "service/transfer/delivery_plan.h"
#include "service/transfer/uidl_listing.h"

namespace ferry {

class MailRecord;
class RunContext;

// The largest "Keep Days" taken (100 years).
inline constexpr uint32_t kMaxKeepDays = 36500;

struct MailboxState {
  // Claimed for the whole run; empty when the run has none (ticker-only
  // contexts, or before the run claimed it).
  std::optional<DeliveryLedger> ledger;
  bool uidl = false;                  // the session listed unique ids
  std::vector<UidlEntry> listing;     // the session's unique ids, in listing order
  std::unordered_map<int32_t, std::string> idOf;  // message number -> unique id
  bool inStep = false;                // the POP3 connection can take a command
  bool broken = false;                // it was closed out of step in this run
  int32_t forwarded = 0;              // mailbox messages the SMTP server accepted in this run
  int32_t skipped = 0;                // messages the server would not hand out in this run
  int32_t deleted = 0;                // DELE the server took in this run
  bool recordFailed = false;          // a ledger write failed (reported once)
  // Seconds since 1970 for the ledger; the system clock when empty.
  std::function<int64_t()> clock;

  int64_t Now() const;
};

// What the ledger plan follows: "POP Delete", "Keep Days" and the clock.
PlanOptions PlanOptionsFor(const RunContext& context);

// Called the moment the SMTP server accepted a record (its reply to the final
// "."), before anything else: counts a mailbox message as forwarded and writes
// its unique id to the ledger (written and flushed) with the recipients done
// so far: as accepted when `complete`, else as accepted by those recipients
// (a recipient refused for the time being is tried again by the next run).
// Ticker mail (no message number) is left alone. A failed write is reported
// once per run as an error event naming the ledger file.
void RecordAcceptance(RunContext& context, const MailRecord& record, const std::vector<std::string>& recipients,
                      bool complete = true);

// Logs a failed ledger write and reports the first of the run as an error
// event naming the file.
void ReportLedgerWrite(RunContext& context, const state::FileResult& result);

}  // namespace ferry
