#include "service/transfer/account_run.h"

#include <chrono>
#include <exception>
#include <new>
#include <string>

#include "platform/event_log.h"
#include "platform/state_files.h"
#include "service/feeds/feed_stage.h"
#include "service/oauth/run_sign_in.h"
#include "service/transfer/delivery_ledger.h"
#include "service/tickers/ticker_stages.h"
#include "service/transfer/dialogue.h"
#include "service/transfer/notice_text.h"
#include "service/transfer/pop3_retrieval.h"
#include "service/transfer/run_context.h"
#include "service/transfer/run_failure.h"
#include "service/transfer/run_guard.h"
#include "service/transfer/smtp_delivery.h"
#include "service/transfer/transfer_error.h"
#include "service/transfer/transfer_ports.h"

namespace ferry {
namespace {

// Claims the mailbox's delivery ledger and reads it. False when the run
// cannot go on: another run holds the mailbox (a warning), or the file cannot
// be read (an error naming it).
bool ClaimLedger(RunContext& context) {
  const AccountSettings& s = context.settings;
  MailboxState& mailbox = context.mailbox;
  mailbox.ledger.emplace(LedgerFolder(), LedgerFileName(s.popHost, s.popUser));
  state::FileResult loaded = mailbox.ledger->Load();
  if (loaded.ok()) return true;
  std::string path = mailbox.ledger->path();
  mailbox.ledger.reset();
  if (loaded.status == state::FileStatus::kBusy) {
    context.LogString(2, "Mailbox busy in another run: %s", path);
    context.Event(kEventLedgerBusy, kEventWarning, {s.connectionName, s.accountName, path});
  } else {
    context.LogString(2, "Ledger not read: %s", path);
    context.Event(kEventLedgerFailed, kEventError,
                  {s.connectionName, s.accountName, path, state::DescribeFileResult(loaded)});
  }
  return false;
}

// Why a run ended early, in words for "mailferry2 -status".
std::string FailureText(int code) {
  switch (code) {
    case kErrorRejected: return "a server did not accept a command";
    case kErrorMalformedHeader: return "a header the address mode needs is missing or malformed";
    case kErrorNoConnection: return "no connection to the server";
    case kErrorNoMemory:
    case kErrorTextMemory: return "out of memory";
    case kErrorLogin: return "the POP3 server refused the login";
    case kErrorProtocol: return "a reply or message did not arrive whole";
    case kErrorNoAtSign: return "the sender address has no at sign";
    case kErrorTls: return "no TLS with a server that must have it";
    case kErrorSmtpLogin: return "the SMTP server refused the login";
    default: return "error " + std::to_string(code);
  }
}

// The most POP3 sessions of one account run: a mailbox whose listing is cut
// short is drained round after round, within this bound.
constexpr int kMaxMailRounds = 50;

// One POP3 session: its messages fetched and delivered, the science ticker's
// links taken from them, the deletes; then the science items.
void MailRound(RunContext& context) {
  const AccountSettings& s = context.settings;
  context.popChannel.Create();
  context.LogText(1, "------------- POP3 ------------");
  context.LogString(2, "Connecting to %s:POP3", s.popHost);
  if (s.debugLevel >= 3) context.Event(kEventConnecting, s.popHost);
  ConnectPop3(context);

  context.runStage = 1;
  RetrieveMessages(context);
  if (s.popDelete == 0) QuitMailbox(context, 4);
  DeliverMessages(context);
  CollectScienceLinks(context);
  PurgeMessages(context);
  if (s.popDelete != 0) QuitMailbox(context, 3);
  RepairDeletes(context);

  // The item pages only once the session is closed and its deletes committed:
  // a slow ticker site never holds a POP3 session open.
  RunScienceTickerStage(context);
}

// Whether the round that just ended leaves mail the server has not offered
// yet: it forwarded or deleted something, the server's listing was cut short, the session
// ended in step, and a message forwarded before is told apart in the next
// round (by its unique id, or "POP Delete" took it away). Messages a round
// leaves on purpose (kept, too large, refused) never call for another.
bool MoreWaiting(const RunContext& context, int32_t forwardedBefore, int32_t deletedBefore) {
  const MailboxState& mailbox = context.mailbox;
  const bool progress = mailbox.forwarded > forwardedBefore || mailbox.deleted > deletedBefore;
  return context.listingCut && progress && !mailbox.broken &&
         (mailbox.uidl || context.settings.popDelete != 0);
}

// Forgets the session of the round that ended; the ledger and the counts stay.
void NextRound(RunContext& context) {
  MailboxState& mailbox = context.mailbox;
  mailbox.uidl = false;
  mailbox.listing.clear();
  mailbox.idOf.clear();
  mailbox.inStep = false;
  mailbox.broken = false;
  context.mailList.clear();
  context.scienceItems.clear();
  context.skippedForSize.clear();
  context.listingCut = false;
  context.tickerMailCount = 0;
  context.runStage = 0;
}

void Run(RunContext& context) {
  const AccountSettings& s = context.settings;
  for (int round = 1;; ++round) {
    const int32_t forwardedBefore = context.mailbox.forwarded;
    const int32_t deletedBefore = context.mailbox.deleted;
    MailRound(context);
    if (!MoreWaiting(context, forwardedBefore, deletedBefore)) break;
    if (round == kMaxMailRounds) {
      context.LogNumber(2, "Messages still waiting after %d rounds: left for the next run", round);
      break;
    }
    context.LogNumber(2, "More messages waiting: round %d", round + 1);
    NextRound(context);
  }

  int32_t forwarded = context.mailbox.forwarded;
  context.Event(kEventRunReport, forwarded != 0 ? kEventWarning : kEventInformation,
                {s.connectionName, s.accountName, std::to_string(forwarded)});
  if (s.enableUdp != 0) context.Notice(FormatRunNotice(forwarded, s.accountName), s.udpPort);

  RunCtTickerStage(context);
  RunFeedStage(context);
}

// A run refused because another one of the account is in progress leaves a
// trace: a warning event and a line of the debug log.
int RefuseInUse(RunContext& context) {
  const AccountSettings& s = context.settings;
  context.LogText(2, "Account in use by another run; this run is skipped");
  context.Event(kEventRunInUse, kEventWarning, {s.connectionName, s.accountName});
  return kRunInUse;
}

}  // namespace

int RunAccount(RunContext& context) {
  if (context.settings.enableAccount == 0) return kRunNotEnabled;
  if (context.settings.inUse != 0) return RefuseInUse(context);
  AccountRunGuard guard(context.settings.connectionName, context.settings.accountName);
  if (!guard.Acquired()) return RefuseInUse(context);

  // A mailbox is run by one run at a time, whatever account names it.
  if (!ClaimLedger(context)) return kRunInUse;

  context.settings.inUse = 1;
  context.StateChanged();
  context.runStage = 0;
  context.outcome = "failed";
  try {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::system_clock::now().time_since_epoch());
    if (PrepareSignIn(context, now.count()) != SignInResult::Refused) {
      Run(context);
      context.outcome = "ok";
    }
  } catch (const TransferError& error) {
    context.failure = FailureText(error.code);
    ReportRunFailure(context, FailureText(error.code));
    switch (error.code) {
      case kErrorMalformedHeader: context.LogText(2, "Error unknown"); break;
      case kErrorNoConnection: context.LogText(2, "Error no connection"); break;
      case kErrorNoMemory: context.LogText(2, "Error no memory"); break;
      default: context.LogNumber(2, "Error in Start: %d", error.code); break;
    }
    context.popChannel.Close();
  } catch (const std::bad_alloc&) {
    context.failure = "out of memory";
    ReportRunFailure(context, context.failure);
    context.LogText(2, "Error no memory");
    context.popChannel.Close();
  } catch (const std::exception& error) {
    // Whatever else ends the run, "In Use" must still be cleared below, or the
    // account would stay blocked until the next service start.
    context.failure = error.what();
    ReportRunFailure(context, context.failure);
    context.LogString(2, "Error in Start: %s", error.what());
    context.popChannel.Close();
  }
  context.mailList.clear();
  context.mailbox.ledger.reset();
  context.runStage = 0;
  context.settings.inUse = 0;
  return kRunDone;
}

}  // namespace ferry
