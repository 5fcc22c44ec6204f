// The feed stage of an account run: after the mail run and the tickers, each
// feed of the account's "Feeds" subkey that is due (fetched at most once per
// "Feed Interval" minutes) is asked for with a conditional GET, and each item
// not mailed before goes out as an HTML mail, in feed order, under
// "Addressmode Ticker". An item is recorded as mailed only once the SMTP
// server accepted it. A feed that fails is a warning event; the others go on.
// Does nothing without "Enable Feeds".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace ferry {

class RunContext;
struct FeedItem;

inline constexpr std::size_t kMaxFeedsPerAccount = 100;
inline constexpr std::size_t kMaxFeedBodyBytes = 4 * 1024 * 1024;
inline constexpr int kFeedTimeoutMs = 60000;

struct FeedSettings {
  std::string name;
  std::string url;
  std::string to;
};

// The account's "Enable Feeds", "Feed Interval" (minutes) and feeds, read from
// the store (bounded: kMaxFeedsPerAccount feeds; a feed without a URL is left out).
bool ReadFeedSettings(const RunContext& context, int* intervalMinutes, std::vector<FeedSettings>* feeds);

// The HTML body of an item's mail: title, link, date and content.
std::string FeedItemHtml(const FeedItem& item, const std::string& feedTitle);

void RunFeedStage(RunContext& context);

}  // namespace ferry
