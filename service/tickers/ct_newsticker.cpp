#include "service/tickers/ct_newsticker.h"

#include "service/tickers/ct_index.h"
#include "service/tickers/page_fetch.h"
#include "service/tickers/ticker_mail.h"
#include "service/tickers/ticker_texts.h"
#include "service/transfer/run_context.h"

namespace ferry {
namespace {

// The index page: its copy, "LastDate" from its header, and the new items.
void ReadIndex(RunContext& context, const TickerSite& site, TickerStageState& state) {
  AccountSettings& s = context.settings;
  PageRequest request;
  request.text = ConditionalIndexRequest(kCtIndexPath, s.lastDate);
  request.limit = kCtIndexLimit;
  request.logAfterConnect = true;
  std::string response = FetchPage(context, site, request, state);

  std::string status = ResponseStatus(response);
  context.LogString(4, "Res: %s", status);
  if (status == "304" || response.empty()) return;

  std::string_view header = ResponseHeader(response);
  context.LogString(5, "Header: %s", std::string(header));
  std::string lastModified;
  if (LastModifiedValue(header, &lastModified)) {
    s.lastDate = lastModified;
    context.LogString(5, "Last Date: %s", s.lastDate);
  }

  std::string_view body = std::string_view(response).substr(BodyStart(response));
  context.LogText(4, "------ Saving to Disk ---------");
  SaveTickerPage(s.ctDir, kCtIndexCopyName, body);

  context.newsItems.clear();
  for (TickerItem& item : ScanCtIndex(body, s.lastTitle, site.name).items) {
    context.LogString(4, "Titel: %s", item.title);
    context.LogString(4, "URL: %s", item.path);
    context.newsItems.push_back(std::move(item));
  }
}

}  // namespace

int ReadCtNewsTicker(RunContext& context) {
  AccountSettings& s = context.settings;
  const TickerSite site = CtSite();
  context.LogText(3, "------------------------ Read CT Newspage -------------");
  if (s.lastDate.empty()) s.lastDate = CurrentAsctimeText();
  context.LogString(5, "LastDate von Empty, set to: %s", s.lastDate);

  context.tickerMailCount = 0;
  TickerStageState state;
  ReadIndex(context, site, state);
  context.LogText(3, "------------------------- Read CT News ----------------");
  if (!context.newsItems.empty()) s.lastTitle = context.newsItems.front().title;

  context.LogText(4, "------- HTTP Get-----------");
  context.tickerMailCount = 0;
  for (auto item = context.newsItems.rbegin(); item != context.newsItems.rend() && !state.failed; ++item) {
    PageRequest request;
    request.text = ItemPageRequest(item->path);
    request.limit = kCtItemLimit;
    request.eventLevel = 3;
    context.LogText(5, request.text);
    std::string response = FetchPage(context, site, request, state);
    if (response.empty()) continue;
    context.LogText(5, "------ Saving to Disk ---------");
    std::string body = response.substr(BodyStart(response));
    SaveTickerPage(s.ctDir, item->title, body);
    body.append(kMailTerminator);
    QueueTickerMail(context, CtMailHeader(s.smtpFrom, s.ctEMail, item->title, CurrentAsctimeText()), body);
  }
  context.LogText(4, "---------------- CT News Completed -------------");
  return 0;
}

}  // namespace ferry
