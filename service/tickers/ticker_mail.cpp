#include "service/tickers/ticker_mail.h"

#include "platform/event_log.h"
#include "platform/state_files.h"
#include "platform/system_info.h"
#include "service/tickers/ticker_mime.h"
#include "service/tickers/page_fetch.h"
#include "service/tickers/ticker_texts.h"
#include "service/transfer/pop3_retrieval.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_delivery.h"

namespace ferry {

bool SaveTickerPage(RunContext& context, TickerStageState& state, const std::string& folder, std::string_view name,
                    std::string_view text) {
  state::FileResult result = state::WriteFileInFolder(folder, SafeFileName(name) + ".htm", text);
  if (result.ok()) return true;
  std::string reason = folder.empty() ? std::string("no folder is set") : state::DescribeFileResult(result);
  context.LogString(2, "Page copy not written: %s", reason);
  if (!state.copyReported) {
    state.copyReported = true;
    const AccountSettings& s = context.settings;
    context.Event(kEventTickerCopyFailed, kEventWarning, {s.connectionName, s.accountName, folder, reason});
  }
  return false;
}

void StampMail(TickerMailParts& parts) {
  std::time_t now = std::time(nullptr);
  std::tm local = LocalTime(now);
  parts.date = MailDateText(local, UtcOffsetSeconds(now, local));
  parts.messageId = NewMessageId(parts.fromAddress, now);
}

void TickerOutbox::Queue(std::string_view mail, std::function<void()> accepted) {
  context_.LogText(5, "--------Preparing Message-------");
  context_.LogString(8, "Msg Header: %s", std::string(mail.substr(0, mail.find("\r\n\r\n"))));
  std::string text = TickerMailText(mail, {});
  context_.LogNumber(9, "L\xE4nge: %d", static_cast<int32_t>(text.size()));
  context_.mailList.emplace_back();
  try {
    context_.mailList.back().SetText(text, -1);
  } catch (...) {
    context_.mailList.pop_back();
    throw;
  }
  pending_.emplace_back(&context_.mailList.back(), std::move(accepted));
  ++context_.tickerMailCount;
  if (BatchEnds(context_.tickerMailCount, context_.settings.maxMails)) Flush();
}

void TickerOutbox::Flush() {
  if (pending_.empty()) return;
  DeliverMessages(context_);
  for (auto& [record, accepted] : pending_) {
    if (!record->delivered) continue;
    ++accepted_;
    if (accepted) accepted();
  }
  pending_.clear();
  PurgeMessages(context_);
}

}  // namespace ferry
