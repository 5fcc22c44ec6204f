#include "service/tickers/science_ticker.h"

#include "service/tickers/page_fetch.h"
#include "service/tickers/science_links.h"
#include "service/tickers/ticker_mail.h"
#include "service/tickers/ticker_texts.h"
#include "service/transfer/run_context.h"

namespace ferry {
namespace {

void HandlePage(RunContext& context, const std::string& response) {
  const AccountSettings& s = context.settings;
  SciencePage page = ReadSciencePage(response);
  if (page.scriptReplaced) context.LogText(5, "Replacing SCRIPT");
  if (page.hasSubject) context.LogString(6, "Subject: %s", page.rawSubject);
  if (page.hasCategory) context.LogString(6, "Rubrik: %s", page.category);
  if (page.hasDate) context.LogString(5, "Date: %s", page.date);

  context.LogText(4, "------ Saving to Disk ---------");
  SaveTickerPage(s.bdwDir, page.subject, page.Body());
  QueueTickerMail(context,
                  ScienceMailHeader(page.category, s.smtpFrom, s.tickerEMail, page.subject, CurrentAsctimeText()),
                  page.Body());
}

}  // namespace

void ScanMessageForScienceLinks(RunContext& context, std::string_view text) {
  context.LogText(4, "----- Scanning for Wissenschafts-URL -------");
  const TickerSite site = ScienceSite();
  for (const ScienceLink& link : FindScienceLinks(text, site.name)) {
    if (link.quotedPrintable) {
      context.LogText(5, "quoted Printable dekoder");
      context.LogText(5, link.record);
      context.LogText(5, link.id);
      context.LogText(5, "myrec=" + link.record);
    } else {
      context.LogText(5, link.query);
    }
    context.LogString(4, "Found URL:%s", link.query);
    context.scienceItems.push_back(MakeTickerItem(ScienceDetailPath(link.query), site.name));
  }
  context.LogText(2, "-------------End of Scann---------------");
}

void ScanScienceLinks(RunContext& context) {
  for (const MailRecord& record : context.mailList) {
    if (record.Filled()) ScanMessageForScienceLinks(context, record.Head(kInMemoryMessage));
  }
}

void FetchScienceItems(RunContext& context) {
  context.LogText(4, "------- HTTP Get-----------");
  context.tickerMailCount = 0;
  const TickerSite site = ScienceSite();
  const bool keepAlive = context.settings.enableKeepAlive != 0;
  TickerStageState state;
  for (auto item = context.scienceItems.rbegin(); item != context.scienceItems.rend() && !state.failed; ++item) {
    PageRequest request;
    request.text = keepAlive ? KeepAliveItemPageRequest(item->path) : ItemPageRequest(item->path);
    request.limit = kScienceItemLimit;
    request.keepAlive = keepAlive;
    context.LogText(5, request.text);
    std::string response = FetchPage(context, site, request, state);
    if (!response.empty()) HandlePage(context, response);
  }
}

}  // namespace ferry
