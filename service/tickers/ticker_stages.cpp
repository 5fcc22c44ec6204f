#include "service/tickers/ticker_stages.h"

#include <string>

#include "platform/event_log.h"
#include "platform/state_files.h"
#include "service/tickers/ct_newsticker.h"
#include "service/tickers/mailed_links.h"
#include "service/tickers/science_ticker.h"
#include "service/transfer/pop3_retrieval.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_delivery.h"
#include "service/transfer/transfer_error.h"

namespace ferry {
namespace {

// Puts "Addressmode Ticker" in force for the life of a stage.
class TickerAddressmode {
 public:
  explicit TickerAddressmode(RunContext& context) : context_(context) {
    context_.runStage = 2;
    context_.savedAddressmode = context_.settings.addressmode;
    context_.settings.addressmode = context_.settings.addressmodeTicker;
  }
  ~TickerAddressmode() { context_.settings.addressmode = context_.savedAddressmode; }
  TickerAddressmode(const TickerAddressmode&) = delete;
  TickerAddressmode& operator=(const TickerAddressmode&) = delete;

 private:
  RunContext& context_;
};

}  // namespace

void CollectScienceLinks(RunContext& context) {
  if (context.settings.enableWissenschaft != 0) ScanScienceLinks(context);
}

void RunScienceTickerStage(RunContext& context) {
  if (context.settings.enableWissenschaft == 0 || !ScienceItemsWaiting(context)) return;
  TickerAddressmode mode(context);
  try {
    FetchScienceItems(context);
  } catch (const TransferError& error) {
    context.LogNumber(2, "HTML failed: %d", error.code);
  }
  DeliverMessages(context);
  PurgeMessages(context);
}

void RunCtTickerStage(RunContext& context) {
  if (context.settings.enableCt == 0) return;
  // The CT items are the same for every account: while one run's stage is
  // fetching and mailing them, another's would mail them again.
  state::FileLock stage;
  if (stage.TryLock(CtStageLockPath()).status == state::FileStatus::kBusy) {
    context.LogText(2, "CT ticker stage runs in another account's run; not run here");
    return;
  }
  int32_t sent = 0;
  {
    TickerAddressmode mode(context);
    sent = ReadCtNewsTicker(context);
    DeliverMessages(context);
    PurgeMessages(context);
  }
  const AccountSettings& s = context.settings;
  context.Event(kEventTickerReport, kEventInformation, {s.connectionName, s.accountName, std::to_string(sent)});
}

}  // namespace ferry
