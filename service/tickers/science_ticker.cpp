#include "service/tickers/science_ticker.h"

#include <unordered_set>

#include "platform/event_log.h"
#include "service/tickers/mailed_links.h"
#include "service/tickers/page_fetch.h"
#include "service/tickers/science_links.h"
#include "service/tickers/science_pending.h"
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

bool ScienceItemsWaiting(RunContext& context) {
  if (!context.scienceItems.empty()) return true;
  if (context.sciencePendingTried) return false;
  const AccountSettings& s = context.settings;
  std::vector<PendingScienceItem> pending;
  std::string reason;
  return !LoadPendingScience(SciencePendingPath(s.popHost, s.popUser), &pending, &reason) || !pending.empty();
}

void FetchScienceItems(RunContext& context) {
  context.LogText(4, "------- HTTP Get-----------");
  context.tickerMailCount = 0;
  const AccountSettings& s = context.settings;
  const TickerSite site = ScienceSite();
  const std::string statePath = MailedLinksPath(kScienceLinksFile);
  MailedLinks mailed;
  std::string reason;
  if (!LoadMailedLinks(statePath, mailed, &reason)) ReportState(context, statePath, reason);

  // This run's links, the last found first, then those earlier runs could not
  // mail (tried in the first round of an account run; a later round keeps
  // them as they are).
  std::vector<PendingScienceItem> items;
  for (auto item = context.scienceItems.rbegin(); item != context.scienceItems.rend(); ++item) {
    items.push_back({RequestTarget(item->path), 0});
  }
  const std::string pendingPath = SciencePendingPath(s.popHost, s.popUser);
  const bool tryEarlier = !context.sciencePendingTried;
  context.sciencePendingTried = true;
  std::vector<PendingScienceItem> earlier;
  if (!LoadPendingScience(pendingPath, &earlier, &reason)) ReportState(context, pendingPath, reason);
  if (tryEarlier) items.insert(items.end(), earlier.begin(), earlier.end());

  TickerStageState state;
  TickerOutbox outbox(context);
  std::unordered_set<std::string> asked;
  std::vector<PendingScienceItem> retry;  // items to try again in a later run
  auto finish = [&] {
    outbox.Flush();
    std::string why;
    if (!SaveMailedLinks(statePath, mailed, &why)) ReportState(context, statePath, why);
    std::vector<PendingScienceItem> kept;
    std::unordered_set<std::string> keptTargets;
    if (!tryEarlier) {
      for (PendingScienceItem& item : earlier) {
        if (!mailed.Contains(item.target) && keptTargets.insert(item.target).second) kept.push_back(item);
      }
    }
    for (PendingScienceItem& item : retry) {
      if (mailed.Contains(item.target) || !keptTargets.insert(item.target).second) continue;
      if (++item.runs >= kSciencePendingRuns) {
        context.LogString(2, "Science item given up: %s", item.target);
        continue;
      }
      kept.push_back(std::move(item));
    }
    if (!SavePendingScience(pendingPath, kept, &why)) ReportState(context, pendingPath, why);
  };
  try {
    for (PendingScienceItem& item : items) {
      const std::string& target = item.target;
      if (target.empty() || mailed.Contains(target) || !asked.insert(target).second) {
        context.LogString(4, "Already mailed or no link: %s", target);
        continue;
      }
      retry.push_back(item);  // until the SMTP server accepted its mail or the site says it is gone
      if (state.failed) continue;
      PageRequest request;
      request.text = ItemPageRequest(target, site.name);
      request.limit = kScienceItemLimit;
      context.LogText(5, request.text);
      std::string response = FetchPage(context, site, request, state);
      if (!IsMailablePage(response, state)) {
        if (!response.empty()) ReportPageStatus(context, site, target, PageProblem(response, state));
        // A page the site says is gone or never was is not asked for again.
        const int status = ResponseStatusCode(response);
        if (!state.lastCut && status >= 300 && status < 500 && status != 408 && status != 429) retry.pop_back();
        continue;
      }
      HandlePage(context, state, outbox, response, [&mailed, target] { mailed.Add(target); });
    }
  } catch (...) {
    for (PendingScienceItem& item : items) {
      if (!asked.contains(item.target)) retry.push_back(item);
    }
    finish();
    throw;
  }
  finish();
}

}  // namespace ferry
