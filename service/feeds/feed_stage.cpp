#include "service/feeds/feed_stage.h"

#include <algorithm>
#include <ctime>
#include <new>

#include "platform/event_log.h"
#include "platform/http_client.h"
#include "platform/registry.h"
#include "schema/registry_schema.h"
#include "service/feeds/feed_reader.h"
#include "service/feeds/feed_state.h"
#include "service/tickers/ticker_mail.h"
#include "service/tickers/ticker_mime.h"
#include "service/transfer/pop3_retrieval.h"
#include "service/transfer/run_context.h"
#include "service/transfer/smtp_delivery.h"
#include "service/transfer/tls_start.h"
#include "service/transfer/transfer_error.h"

namespace ferry {
namespace {

namespace s = schema;

bool ReadNumber(reg::Key key, const char* name, uint32_t* number) {
  uint32_t type = 0, size = sizeof(*number);
  return reg::QueryValue(key, name, &type, number, &size) == reg::kOk && type == reg::kDword && size == 4;
}

std::string ReadText(reg::Key key, const char* name, std::size_t maxLength) {
  uint32_t type = 0, size = 0;
  if (reg::QueryValue(key, name, &type, nullptr, &size) != reg::kOk || (type != reg::kSz && type != reg::kExpandSz) ||
      size > maxLength + 1)
    return {};
  std::string text(size, '\0');
  if (reg::QueryValue(key, name, &type, text.data(), &size) != reg::kOk) return {};
  text.resize(std::min<std::size_t>(size, text.size()));
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// Puts "Addressmode Ticker" in force for the stage.
class FeedAddressmode {
 public:
  explicit FeedAddressmode(RunContext& context) : context_(context), saved_(context.settings.addressmode) {
    context_.runStage = 2;
    context_.settings.addressmode = context_.settings.addressmodeTicker;
  }
  ~FeedAddressmode() { context_.settings.addressmode = saved_; }
  FeedAddressmode(const FeedAddressmode&) = delete;
  FeedAddressmode& operator=(const FeedAddressmode&) = delete;

 private:
  RunContext& context_;
  decltype(AccountSettings::addressmode) saved_;
};

std::string ProxyOf(const AccountSettings& s) {
  if (s.proxyHost.empty() || s.proxyHost == "0" || s.proxyPort == 0) return {};
  return s.proxyHost + ":" + std::to_string(s.proxyPort);
}

void FeedWarning(RunContext& context, const FeedSettings& feed, uint32_t id, const std::string& detail) {
  const AccountSettings& s = context.settings;
  context.LogString(2, "Feed not read: %s", feed.name + " (" + feed.url + "): " + detail);
  context.Event(id, kEventWarning, {s.connectionName, s.accountName, feed.name, feed.url, detail});
}

// The validators of a feed's answer, kept only once every item queued from it
// was accepted: a 304 must never hide an item not mailed yet.
struct FetchedFeed {
  std::string etag;
  std::string lastModified;
  std::vector<std::string> queued;  // ids of the items queued
  bool read = false;                // a 200 answer was read as a feed
};

// Fetches one feed and queues its new items. The state's time moves here; its
// ids only as the SMTP server accepts each mail.
void RunFeed(RunContext& context, const FeedSettings& feed, FeedState& state, TickerOutbox& outbox, std::time_t now,
             FetchedFeed* fetched) {
  const AccountSettings& s = context.settings;
  net::HttpRequest request;
  request.url = feed.url;
  request.caFile = TrustedCaFile(context);
  request.proxy = ProxyOf(s);
  request.timeoutMs = kFeedTimeoutMs;
  request.maxBodyBytes = kMaxFeedBodyBytes;
  if (!state.etag.empty()) request.headers.emplace_back("If-None-Match", state.etag);
  if (!state.lastModified.empty()) request.headers.emplace_back("If-Modified-Since", state.lastModified);
  context.LogString(4, "Feed GET %s", feed.url);
  net::HttpResponse response;
  std::string error;
  if (!net::HttpExchange(request, &response, &error)) {
    FeedWarning(context, feed, kEventFeedFailed, error);
    return;
  }
  state.fetched = static_cast<int64_t>(now);
  if (response.status == 304) {
    context.LogString(4, "Feed unchanged: %s", feed.name);
    return;
  }
  if (response.status != 200) {
    FeedWarning(context, feed, kEventFeedStatus, std::to_string(response.status));
    return;
  }
  Feed parsed;
  if (!ReadFeed(response.body, &parsed, &error)) {
    FeedWarning(context, feed, kEventFeedFailed, error);
    return;
  }
  fetched->read = true;
  fetched->etag = net::HeaderValue(response, "ETag");
  fetched->lastModified = net::HeaderValue(response, "Last-Modified");
  context.LogString(4, "Feed read: %s", parsed.format + ", " + std::to_string(parsed.items.size()) + " item(s)");
  const std::string to = s.tickerEMail;
  MailedLinks* ids = &state.ids;
  for (const FeedItem& item : parsed.items) {
    if (ids->Contains(item.id)) continue;
    TickerMailParts mail;
    mail.fromName = parsed.title.empty() ? feed.name : parsed.title;
    mail.fromAddress = s.smtpFrom;
    mail.toName = feed.name;
    mail.toAddress = to;
    mail.subject = item.title.empty() ? item.link : item.title;
    mail.charset = "UTF-8";
    mail.html = FeedItemHtml(item, parsed.title);
    StampMail(mail);
    fetched->queued.push_back(item.id);
    outbox.Queue(TickerMimeMail(mail), [ids, id = item.id] { ids->Add(id); });
  }
}

}  // namespace

bool ReadFeedSettings(const RunContext& context, int* intervalMinutes, std::vector<FeedSettings>* feeds) {
  const AccountSettings& st = context.settings;
  feeds->clear();
  *intervalMinutes = static_cast<int>(s::DefaultNumber(s::Level::Account, s::kFeedInterval));
  reg::KeyHolder account;
  if (reg::OpenKey(reg::LocalMachine(), s::AccountKey(st.connectionName, st.accountName), reg::kRead,
                   account.out()) != reg::kOk)
    return false;
  uint32_t enabled = 0, interval = 0;
  if (!ReadNumber(account.get(), s::kEnableFeeds, &enabled) || enabled == 0) return false;
  const s::ValueInfo* row = s::FindValue(s::Level::Account, s::kFeedInterval);
  if (ReadNumber(account.get(), s::kFeedInterval, &interval) && interval >= row->min && interval <= row->max)
    *intervalMinutes = static_cast<int>(interval);
  reg::KeyHolder list;
  if (reg::OpenKey(account.get(), s::kFeedsSubkey, reg::kRead, list.out()) != reg::kOk) return true;
  const uint32_t urlLength = s::FindValue(s::Level::Feed, s::kFeedUrl)->maxLength;
  const uint32_t toLength = s::FindValue(s::Level::Feed, s::kFeedTo)->maxLength;
  for (uint32_t index = 0; feeds->size() < kMaxFeedsPerAccount && index < 4 * kMaxFeedsPerAccount; ++index) {
    std::string name;
    const long rc = reg::EnumKey(list.get(), index, &name, 256);
    if (rc == reg::kNoMoreItems) break;
    if (rc != reg::kOk) continue;
    reg::KeyHolder key;
    if (reg::OpenKey(list.get(), name, reg::kRead, key.out()) != reg::kOk) continue;
    FeedSettings feed{name, ReadText(key.get(), s::kFeedUrl, urlLength), ReadText(key.get(), s::kFeedTo, toLength)};
    if (!feed.url.empty()) feeds->push_back(std::move(feed));
  }
  return true;
}

std::string FeedItemHtml(const FeedItem& item, const std::string& feedTitle) {
  std::string html = "<html><head><meta charset=\"UTF-8\"><title>" + EscapeHtml(item.title) + "</title></head><body>\r\n";
  html += "<h2>";
  if (!item.link.empty()) html += "<a href=\"" + EscapeHtml(item.link) + "\">";
  html += EscapeHtml(item.title.empty() ? item.link : item.title);
  if (!item.link.empty()) html += "</a>";
  html += "</h2>\r\n<p><small>";
  if (!feedTitle.empty()) html += EscapeHtml(feedTitle);
  if (!feedTitle.empty() && !item.date.empty()) html += " &middot; ";
  html += EscapeHtml(item.date) + "</small></p>\r\n";
  html += "<div>" + item.content + "</div>\r\n</body></html>\r\n";
  return html;
}

void RunFeedStage(RunContext& context) {
  int interval = 0;
  std::vector<FeedSettings> feeds;
  if (!ReadFeedSettings(context, &interval, &feeds) || feeds.empty()) return;
  const AccountSettings& s = context.settings;
  context.LogText(1, "------------- Feeds -----------");
  const std::string path = FeedStatePath(s.popHost, s.popUser);
  FeedStates states;
  std::string reason;
  if (!LoadFeedStates(path, &states, &reason)) {
    // Without the ids every item would go out again: no feed this run.
    context.Event(kEventFeedStateFailed, kEventWarning, {s.connectionName, s.accountName, path, reason});
    return;
  }
  const std::time_t now = std::time(nullptr);
  FeedAddressmode mode(context);
  context.tickerMailCount = 0;
  TickerOutbox outbox(context);
  for (const FeedSettings& feed : feeds) {
    FeedState& state = states[feed.name];
    if (state.fetched > 0 && state.fetched <= now && now - state.fetched < static_cast<int64_t>(interval) * 60) {
      context.LogString(4, "Feed not due: %s", feed.name);
      continue;
    }
    // The feed's "To" takes the place of "Ticker EMail" while its mails go out.
    const std::string tickerEMail = context.settings.tickerEMail;
    if (!feed.to.empty()) context.settings.tickerEMail = feed.to;
    FetchedFeed fetched;
    try {
      RunFeed(context, feed, state, outbox, now, &fetched);
      outbox.Flush();
    } catch (const TransferError& error) {
      context.LogNumber(2, "Feed delivery failed: %d", error.code);
    } catch (const std::bad_alloc&) {
      FeedWarning(context, feed, kEventFeedFailed, "out of memory");
    }
    if (fetched.read) {
      const bool allAccepted = std::all_of(fetched.queued.begin(), fetched.queued.end(),
                                           [&state](const std::string& id) { return state.ids.Contains(id); });
      state.etag = allAccepted ? fetched.etag : std::string();
      state.lastModified = allAccepted ? fetched.lastModified : std::string();
    }
    context.settings.tickerEMail = tickerEMail;
  }
  try {
    outbox.Flush();
  } catch (const TransferError& error) {
    context.LogNumber(2, "Feed delivery failed: %d", error.code);
  }
  if (!SaveFeedStates(path, states, &reason)) {
    context.Event(kEventFeedStateFailed, kEventWarning, {s.connectionName, s.accountName, path, reason});
  }
  DeliverMessages(context);
  PurgeMessages(context);
}

}  // namespace ferry
