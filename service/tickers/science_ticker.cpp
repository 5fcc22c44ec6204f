#include "service/tickers/science_ticker.h"

#include <unordered_set>

#include "platform/event_log.h"
#include "service/tickers/mailed_links.h"
#include "service/tickers/page_fetch.h"
#include "service/tickers/science_links.h"
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

void HandlePage(RunContext& context, TickerStageState& state, TickerOutbox& outbox, const std::string& response,
                std::function<void()> accepted) {
  const AccountSettings& s = context.settings;
  SciencePage page = ReadSciencePage(response);
  if (page.scriptRemoved) context.LogText(5, "Removing SCRIPT");
  if (page.hasSubject) context.LogString(6, "Subject: %s", page.rawSubject);
  if (page.hasCategory) context.LogString(6, "Rubrik: %s", page.category);
  if (page.hasDate) context.LogString(5, "Date: %s", page.date);

  context.LogText(4, "------ Saving to Disk ---------");
  SaveTickerPage(context, state, s.bdwDir, page.subject, page.html);
  TickerMailParts mail;
  mail.fromName = page.category;
  mail.fromAddress = s.smtpFrom;
  mail.toName = "Wissenschaft";
  mail.toAddress = s.tickerEMail;
  mail.subject = page.subject;
  mail.charset = page.charset;
  mail.html = page.html;
  StampMail(mail);
  outbox.Queue(TickerMimeMail(mail), std::move(accepted));
}

}  // namespace

void ScanMessageForScienceLinks(RunContext& context, std::string_view text) {
  context.LogText(4, "----- Scanning for Wissenschafts-URL -------");
  const TickerSite site = ScienceSite();
  for (const ScienceLink& link : FindScienceLinks(text, site.name)) {
    if (link.quotedPrintable) context.LogText(5, "quoted Printable dekoder");
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
  const std::string statePath = MailedLinksPath(kScienceLinksFile);
  MailedLinks mailed;
  std::string reason;
  if (!LoadMailedLinks(statePath, mailed, &reason)) ReportState(context, statePath, reason);
  TickerStageState state;
  TickerOutbox outbox(context);
  std::unordered_set<std::string> asked;
  auto finish = [&] {
    outbox.Flush();
    std::string why;
    if (!SaveMailedLinks(statePath, mailed, &why)) ReportState(context, statePath, why);
  };
  try {
    for (auto item = context.scienceItems.rbegin(); item != context.scienceItems.rend() && !state.failed; ++item) {
      std::string target = RequestTarget(item->path);
      if (target.empty() || mailed.Contains(target) || !asked.insert(target).second) {
        context.LogString(4, "Already mailed or no link: %s", item->path);
        continue;
      }
      PageRequest request;
      request.text = ItemPageRequest(target, site.name);
      request.limit = kScienceItemLimit;
      context.LogText(5, request.text);
      std::string response = FetchPage(context, site, request, state);
      if (response.empty()) continue;
      if (!IsMailablePage(response, state)) {
        ReportPageStatus(context, site, target, PageProblem(response, state));
        continue;
      }
      HandlePage(context, state, outbox, response, [&mailed, target] { mailed.Add(target); });
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

}  // namespace ferry
