#include "service/tickers/page_fetch.h"

#include <new>

#include "platform/event_log.h"
#include "platform/socket.h"
#include "service/tickers/ticker_texts.h"
#include "service/transfer/run_context.h"
#include "service/transfer/socket_channel.h"
#include "service/transfer/transfer_error.h"

namespace ferry {

std::chrono::milliseconds PageDeadline(std::chrono::milliseconds receiveTimeout) { return 2 * receiveTimeout; }

std::string FetchPage(RunContext& context, const TickerSite& site, const PageRequest& request,
                      TickerStageState& state) {
  std::string buffer;
  try {
    buffer.assign(request.limit + 1, '\0');
  } catch (const std::bad_alloc&) {
    Raise(kErrorNoMemory);
  }
  if (context.settings.debugLevel >= request.eventLevel) context.Event(kEventConnecting, site.name);
  context.LogString(4, "Connecting to %s", site.name);

  SocketChannel channel(context.ReceiveTimeout());
  channel.Create();
  if (channel.Connect(site.host, site.port) != 0) {
    context.LogString(4, "unable to connect to %s", site.name);
    context.LogNumber(4, "Error code is %d", net::LastSocketError());
    channel.Close();
    state.failed = true;
    return {};
  }
  if (request.logAfterConnect) context.LogText(5, request.text);

  channel.SendAll(request.text, nullptr);
  ReceiveLimit limit;
  limit.whole = PageDeadline(context.ReceiveTimeout());
  limit.idle = context.ReceiveTimeout();
  ReceiveWatch watch(limit);
  std::size_t received = 0;
  state.lastCut = false;
  while (received < request.limit) {
    long n = channel.Receive(buffer.data() + received, request.limit - received, watch);
    if (n <= 0) {
      state.lastCut = n < 0;
      break;
    }
    received += static_cast<std::size_t>(n);
  }
  channel.Close();
  buffer.resize(received);
  context.LogNumber(6, "Len:%d\n", static_cast<int32_t>(received));
  context.LogText(7, buffer);
  return buffer;
}

bool IsMailablePage(std::string_view response, const TickerStageState& state) {
  return !state.lastCut && ResponseStatusCode(response) == 200 && BodyStart(response) != 0;
}

std::string PageProblem(std::string_view response, const TickerStageState& state) {
  if (state.lastCut) return "timed out";
  int status = ResponseStatusCode(response);
  if (status == 0) return "no status";
  if (status == 200) return "incomplete";
  return std::to_string(status);
}

void ReportPageStatus(RunContext& context, const TickerSite& site, std::string_view target,
                      const std::string& problem) {
  const AccountSettings& s = context.settings;
  context.LogString(2, "Ticker page not mailed: %s", problem);
  context.Event(kEventTickerPageStatus, kEventWarning,
                {s.connectionName, s.accountName, site.name, std::string(target), problem});
}

}  // namespace ferry
