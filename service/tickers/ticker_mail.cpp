#include "service/tickers/ticker_mail.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

#include "service/tickers/ticker_texts.h"
#include "service/transfer/pop3_retrieval.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_delivery.h"
#include "service/transfer/transfer_error.h"

namespace ferry {

std::string SaveTickerPage(const std::string& folder, std::string_view name, std::string_view text) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path where = !folder.empty() && fs::is_directory(fs::path(folder), error) ? fs::path(folder) : fs::path();
  fs::path file = where / (SafeFileName(name) + ".htm");
  std::ofstream out(file, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!out) return {};
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return file.string();
}

void QueueTickerMail(RunContext& context, const std::string& header, std::string_view body) {
  context.LogText(5, "--------Preparing Message-------");
  context.LogString(8, "Msg Header: %s", header);
  std::string text;
  bool made = true;
  try {
    text = TickerMailText(header, body);
  } catch (const std::bad_alloc&) {
    made = false;
  }
  if (made) {
    context.LogNumber(9, "L\xE4nge: %d", static_cast<int32_t>(text.size()));
    context.mailList.emplace_back();
    try {
      context.mailList.back().SetText(text, -1);
    } catch (...) {
      context.mailList.pop_back();
      throw;
    }
  }
  ++context.tickerMailCount;
  if (BatchEnds(context.tickerMailCount, context.settings.maxMails)) {
    DeliverMessages(context);
    PurgeMessages(context);
  }
}

}  // namespace ferry
