// One ticker page over a connection of its own: connect, send the request,
// read the response up to a limit and within an overall deadline, close.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "service/tickers/ticker_sites.h"

namespace ferry {

class RunContext;

// The state of one ticker stage: no further page is fetched once a connect
// of it has failed; a copy that could not be written is reported once.
struct TickerStageState {
  bool failed = false;
  bool copyReported = false;
  // The last response ended by the deadline or a failed read, not by the
  // server's close or the limit: it is not a whole page.
  bool lastCut = false;
};

struct PageRequest {
  std::string text;
  std::size_t limit = 0;
  // DebugLevel from which the connect is reported in the event log.
  int eventLevel = 4;
  // Log the request at level 5 once connected (the CT index page).
  bool logAfterConnect = false;
};

// How long a whole response may take: twice the receive time-out of a read.
std::chrono::milliseconds PageDeadline(std::chrono::milliseconds receiveTimeout);

// The response text, at most `limit` bytes, what arrived within the page's
// deadline; empty when nothing arrived or the connect failed (which sets
// `state.failed` after the two connect-failure lines). Raises kErrorNoMemory
// when no buffer can be had.
std::string FetchPage(RunContext& context, const TickerSite& site, const PageRequest& request,
                      TickerStageState& state);

// Whether a response is a whole page to mail: status 200, its header ended by
// a blank line, and not cut by the deadline.
bool IsMailablePage(std::string_view response, const TickerStageState& state);
// Why a response is not mailed: its status, "incomplete" or "timed out".
std::string PageProblem(std::string_view response, const TickerStageState& state);

// A response that is not mailed (and not a 304 where that is asked for): a
// warning event naming the site, the page and the problem.
void ReportPageStatus(RunContext& context, const TickerSite& site, std::string_view target,
                      const std::string& problem);

}  // namespace ferry
