#include "service/tickers/page_fetch.h"

#include <algorithm>
#include <charconv>
#include <new>

#include "platform/socket.h"
#include "service/tickers/ticker_texts.h"
#include "service/transfer/address_rules.h"
#include "service/transfer/run_context.h"
#include "service/transfer/socket_channel.h"
#include "service/transfer/transfer_error.h"

namespace ferry {

std::size_t KeptAliveResponseLength(std::string_view received) {
  std::string_view header = ResponseHeader(received);
  if (header.empty()) return 0;
  constexpr std::string_view kName = "content-length:";
  for (std::size_t at = 0; at < header.size();) {
    std::size_t eol = std::min(header.find("\r\n", at), header.size());
    std::string_view line = header.substr(at, eol - at);
    at = eol + 2;
    if (!IsLowerAscii(line.substr(0, kName.size()), kName)) continue;
    std::string_view value = line.substr(kName.size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    std::size_t length = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
    // A length that cannot be right (or would wrap) leaves the end to the peer.
    if (ec != std::errc() || end == value.data() || length > (std::size_t{1} << 40)) return 0;
    return header.size() + length;
  }
  return 0;
}

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
  std::size_t received = 0;
  while (received < request.limit) {
    long n = channel.Receive(buffer.data() + received, request.limit - received);
    if (n <= 0) break;
    received += static_cast<std::size_t>(n);
    if (request.keepAlive) {
      std::size_t whole = KeptAliveResponseLength(std::string_view(buffer.data(), received));
      if (whole != 0 && received >= whole) break;
    }
  }
  channel.Close();
  buffer.resize(received);
  context.LogNumber(6, "Len:%d\n", static_cast<int32_t>(received));
  context.LogText(7, buffer);
  return buffer;
}

}  // namespace ferry
