// The feed list of the account whose page is shown: adding, changing and
// removing a feed. A change goes into the account's row at once (the list is
// no field of the page) and is written by the next save.
#include <algorithm>

#include "console/model/command_texts.h"
#include "console/model/console.h"
#include "console/model/field_rules.h"
#include "console/model/page_texts.h"
#include "console/model/store_texts.h"
#include "console/model/text_rules.h"
#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

constexpr const char* kFeedListTitle = "Newsfeeds";
constexpr const char* kAddFeedTitle = "Newsfeed hinzuf\xFCgen";
constexpr const char* kChangeFeedTitle = "Newsfeed \xE4ndern";
constexpr const char* kRemoveFeedTitle = "Newsfeed entfernen";
constexpr const char* kChooseFeedFirst = "W\xE4hlen Sie zuerst einen Newsfeed in der Liste aus.";
constexpr const char* kFeedRefused = "Diesen Newsfeed kann der Dienst so nicht verwenden:";

std::vector<FeedEntry> Entries(const std::vector<FeedRow>& feeds) { return {feeds.begin(), feeds.end()}; }

}  // namespace

AccountRow* Console::ShownAccount() {
  if (!shown_ || shown_->kind != NodeKind::Account) {
    dialogs_.MessageBox(texts::kChooseAccountFirst, texts::kNoConnectionTitle, BoxStyle::Information);
    return nullptr;
  }
  for (AccountRow& row : tables_.accounts)
    if (row.connection == shown_->connection && row.name == shown_->account) return &row;
  return nullptr;
}

std::optional<int> Console::ChosenFeed(const AccountRow& row) {
  std::optional<int> index = view_.SelectedFeed();
  if (!index || *index < 0 || *index >= static_cast<int>(row.feeds.size())) {
    dialogs_.MessageBox(kChooseFeedFirst, kFeedListTitle, BoxStyle::Information);
    return std::nullopt;
  }
  return index;
}

bool Console::AskFeed(FeedEntry& feed, const std::string& title, const AccountRow& row, std::optional<int> self) {
  std::vector<std::string> others;
  for (std::size_t i = 0; i < row.feeds.size(); ++i)
    if (!self || static_cast<int>(i) != *self) others.push_back(row.feeds[i].name);
  for (;;) {
    if (!dialogs_.FeedBox(feed, title)) return false;
    std::vector<std::string> faults = FeedFaults(feed, others);
    if (faults.empty()) {
      feed.url = Trim(feed.url);
      feed.to = Trim(feed.to);
      return true;
    }
    std::string message = kFeedRefused;
    for (const std::string& fault : faults) message += "\n\n" + fault;
    dialogs_.MessageBox(message, texts::kFieldsRefusedTitle, BoxStyle::Warning);
  }
}

void Console::AddFeed() {
  AccountRow* row = ShownAccount();
  if (row == nullptr) return;
  FeedEntry feed{{}, "https://", tables_.global.tickerEMail};
  if (!AskFeed(feed, kAddFeedTitle, *row, std::nullopt)) return;
  row->feeds.push_back(FeedRow{feed, {}});
  row->edited.insert(schema::kFeedsSubkey);
  view_.ShowFeeds(Entries(row->feeds));
}

void Console::ChangeFeed() {
  AccountRow* row = ShownAccount();
  if (row == nullptr) return;
  std::optional<int> index = ChosenFeed(*row);
  if (!index) return;
  FeedRow& stored = row->feeds[static_cast<std::size_t>(*index)];
  FeedEntry feed = stored;
  if (!AskFeed(feed, kChangeFeedTitle, *row, index) || feed == static_cast<const FeedEntry&>(stored)) return;
  static_cast<FeedEntry&>(stored) = feed;
  row->edited.insert(schema::kFeedsSubkey);
  view_.ShowFeeds(Entries(row->feeds));
}

void Console::RemoveFeed() {
  AccountRow* row = ShownAccount();
  if (row == nullptr) return;
  std::optional<int> index = ChosenFeed(*row);
  if (!index) return;
  const std::string question =
      "Den Newsfeed \"" + row->feeds[static_cast<std::size_t>(*index)].name + "\" entfernen?";
  if (dialogs_.MessageBox(question, kRemoveFeedTitle, BoxStyle::Question) != Answer::Yes) return;
  row->feeds.erase(row->feeds.begin() + *index);
  row->edited.insert(schema::kFeedsSubkey);
  view_.ShowFeeds(Entries(row->feeds));
}

}  // namespace ferry::console
