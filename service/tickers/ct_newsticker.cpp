#include "service/tickers/ct_newsticker.h"

#include <unordered_set>

#include "platform/event_log.h"
#include "service/tickers/ct_index.h"
#include "service/tickers/mailed_links.h"
#include "service/tickers/page_fetch.h"
#include "service/tickers/ticker_links.h"
#include "service/tickers/ticker_mail.h"
#include "service/tickers/ticker_mime.h"
#include "service/tickers/ticker_texts.h"
#include "service/transfer/run_context.h"

namespace ferry {
namespace {

void ReportState(RunContext& context, const std::string& path, const std::string& reason) {
  const AccountSettings& s = context.settings;
  context.LogString(2, "Ticker state: %s", reason);
  context.Event(kEventTickerStateFailed, kEventWarning, {s.connectionName, s.accountName, path, reason});
}

// "LastDate" as it may go into a header line: no control character, no blank
// at either end.
std::string HeaderValue(const std::string& value) {
  std::string out;
  for (char c : value) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) out.push_back(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  std::size_t first = out.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : out.substr(first);
}

struct IndexResult {
  bool read = false;           // a 200 index page arrived
  bool hasLastModified = false;
  std::string lastModified;
  std::string charset;
};

// The index page: its copy, its Last-Modified value and its items.
IndexResult ReadIndex(RunContext& context, const TickerSite& site, TickerStageState& state, CtIndexScan& scan) {
  AccountSettings& s = context.settings;
  IndexResult result;
  PageRequest request;
  request.text = ConditionalIndexRequest(kCtIndexPath, site.name, HeaderValue(s.lastDate));
  request.limit = kCtIndexLimit;
  request.logAfterConnect = true;
  std::string response = FetchPage(context, site, request, state);

  std::string status = ResponseStatus(response);
  context.LogString(4, "Res: %s", status);
  if (response.empty()) return result;
  if (ResponseStatusCode(response) == 304 && !state.lastCut) return result;
  if (!IsMailablePage(response, state)) {
    ReportPageStatus(context, site, kCtIndexPath, PageProblem(response, state));
    return result;
  }
  result.read = true;
  result.charset = PageCharset(response);

  std::string_view header = ResponseHeader(response);
  context.LogString(5, "Header: %s", std::string(header));
  // The header may end its lines in a bare LF: the value reads the same.
  std::string crlfHeader = WithCrLf(header);
  result.hasLastModified = LastModifiedValue(crlfHeader, &result.lastModified);
  if (result.hasLastModified) context.LogString(5, "Last Date: %s", result.lastModified);

  std::string_view body = std::string_view(response).substr(BodyStart(response));
  context.LogText(4, "------ Saving to Disk ---------");
  SaveTickerPage(context, state, s.ctDir, kCtIndexCopyName, body);
  scan = ScanCtIndex(body, s.lastTitle, site.name);
  return result;
}

}  // namespace

int32_t ReadCtNewsTicker(RunContext& context) {
  AccountSettings& s = context.settings;
  const TickerSite site = CtSite();
  context.LogText(3, "------------------------ Read CT Newspage -------------");
  if (HeaderValue(s.lastDate).empty()) s.lastDate = HttpDateText(std::time(nullptr));
  context.LogString(5, "LastDate von Empty, set to: %s", s.lastDate);

  context.tickerMailCount = 0;
  TickerStageState state;
  CtIndexScan scan;
  IndexResult index = ReadIndex(context, site, state, scan);
  context.LogText(3, "------------------------- Read CT News ----------------");

  const std::string statePath = MailedLinksPath(kCtLinksFile);
  MailedLinks mailed;
  std::string reason;
  if (index.read && !LoadMailedLinks(statePath, mailed, &reason)) ReportState(context, statePath, reason);

  // The new items: those not mailed before. Without any link kept yet (the
  // first run), the item titled "LastTitle" and those below it count as old
  // and are kept as mailed.
  context.newsItems.clear();
  std::unordered_set<std::string> listed;
  const std::size_t end = mailed.Empty() ? scan.lastTitleAt : scan.items.size();
  for (std::size_t i = end; i < scan.items.size(); ++i) {
    std::string target = RequestTarget(scan.items[i].path);
    if (!target.empty()) mailed.Add(target);
  }
  for (std::size_t i = 0; i < end; ++i) {
    TickerItem& item = scan.items[i];
    std::string target = RequestTarget(item.path);
    if (target.empty() || mailed.Contains(target) || !listed.insert(target).second) continue;
    item.path = target;
    context.LogString(4, "Titel: %s", item.title);
    context.LogString(4, "URL: %s", item.path);
    context.newsItems.push_back(std::move(item));
  }

  context.LogText(4, "------- HTTP Get-----------");
  context.tickerMailCount = 0;
  TickerOutbox outbox(context);
  std::size_t settled = 0;
  auto finish = [&] {
    outbox.Flush();
    if (!index.read) return;
    std::string why;
    if (!SaveMailedLinks(statePath, mailed, &why)) ReportState(context, statePath, why);
    // The index is asked for again, unconditionally changed or not, until
    // every new item of it went out.
    if (index.hasLastModified && settled == context.newsItems.size()) s.lastDate = index.lastModified;
  };
  try {
    for (auto item = context.newsItems.rbegin(); item != context.newsItems.rend() && !state.failed; ++item) {
      PageRequest request;
      request.text = ItemPageRequest(item->path, site.name);
      request.limit = kCtItemLimit;
      request.eventLevel = 3;
      context.LogText(5, request.text);
      std::string response = FetchPage(context, site, request, state);
      if (response.empty()) continue;
      if (!IsMailablePage(response, state)) {
        ReportPageStatus(context, site, item->path, PageProblem(response, state));
        continue;
      }
      context.LogText(5, "------ Saving to Disk ---------");
      std::string html = RemoveScripts(std::string_view(response).substr(BodyStart(response)));
      SaveTickerPage(context, state, s.ctDir, item->title, html);
      TickerMailParts mail;
      mail.fromName = "CT Ticker";
      mail.fromAddress = s.smtpFrom;
      mail.toName = "Wissenschaft";
      mail.toAddress = s.ctEMail;
      mail.subject = item->title;
      mail.headerCharset = std::string(kDefaultPageCharset);  // titles are decoded into Latin-1
      mail.charset = PageCharset(response);
      mail.html = std::move(html);
      StampMail(mail);
      std::string path = item->path;
      std::string title = item->title;
      outbox.Queue(TickerMimeMail(mail), [&mailed, &settled, &s, path, title] {
        mailed.Add(path);
        s.lastTitle = title;
        ++settled;
      });
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  context.LogText(4, "---------------- CT News Completed -------------");
  return outbox.Accepted();
}

}  // namespace ferry
