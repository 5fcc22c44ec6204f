// One ticker page over a connection of its own: connect, send the request,
// read the response up to a limit, close.
#pragma once

#include <cstddef>
#include <string>

#include "service/tickers/ticker_sites.h"

namespace ferry {

class RunContext;

// A stage fetches no further page once a connect of it has failed.
struct TickerStageState {
  bool failed = false;
};

struct PageRequest {
  std::string text;
  std::size_t limit = 0;
  // DebugLevel from which the connect is reported in the event log.
  int eventLevel = 4;
  // Log the request at level 5 once connected (the CT index page).
  bool logAfterConnect = false;
  // The server may keep the connection open: the response ends with the
  // Content-Length its header names instead of with the server's close.
  bool keepAlive = false;
};

// The response text, at most `limit` bytes; empty when nothing arrived or the
// connect failed (which sets `state.failed` after the two connect-failure
// lines). Raises kErrorNoMemory when no buffer can be had.
std::string FetchPage(RunContext& context, const TickerSite& site, const PageRequest& request,
                      TickerStageState& state);

// Bytes a kept-alive response needs in all (header and Content-Length body);
// 0 while the header is incomplete or names no length.
std::size_t KeptAliveResponseLength(std::string_view received);

}  // namespace ferry
