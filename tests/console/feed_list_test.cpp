// The account's news feeds in the console: what a feed must be, the list's
// commands on the page, and that a save keeps, moves, writes and removes the
// feed keys in the store exactly as the list says and never loses one.
#include "console/model/field_rules.h"
#include "console/model/page_texts.h"
#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using console::Answer;
using console::Control;
using console::FeedEntry;
using schema::AccountKey;
using schema::FeedKey;

TEST(FeedFaults, NamesEveryFieldThatTheServiceCannotUse) {
  struct Case {
    const char* name;
    FeedEntry feed;
    std::vector<std::string> refused;  // the labels of the refused fields, in order
  };
  const std::vector<std::string> others{"Heise", "golem"};
  const Case cases[] = {
      {"Https", {"Tagesschau", "https://www.tagesschau.de/index~rss2.xml", "news@firma.de"}, {}},
      {"HttpInCapitals", {"Alt", "HTTP://alt.example/feed", "news@firma.de"}, {}},
      {"EmptyName", {"", "https://a.example/", "news@firma.de"}, {"Name"}},
      {"BlankName", {"  ", "https://a.example/", "news@firma.de"}, {"Name"}},
      {"Backslash", {"a\\b", "https://a.example/", "news@firma.de"}, {"Name"}},
      {"TakenInOtherCase", {"HEISE", "https://a.example/", "news@firma.de"}, {"Name"}},
      {"NotLatin1", {std::string("Caf") + console::kNotLatin1, "https://a.example/", "n@f.de"}, {"Name"}},
      {"Ftp", {"x", "ftp://a.example/feed", "news@firma.de"}, {"URL"}},
      {"SchemeOnly", {"x", "https://", "news@firma.de"}, {"URL"}},
      {"NoScheme", {"x", "www.a.example/feed", "news@firma.de"}, {"URL"}},
      {"BlankInUrl", {"x", "https://a.example/my feed", "news@firma.de"}, {"URL"}},
      {"LineBreakInUrl", {"x", "https://a.example/\nfeed", "news@firma.de"}, {"URL"}},
      {"EmptyTo", {"x", "https://a.example/", " "}, {"An"}},
      {"AllThree", {"", "gopher://a", ""}, {"Name", "URL", "An"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> faults = console::FeedFaults(c.feed, others);
    ASSERT_EQ(faults.size(), c.refused.size()) << (faults.empty() ? "" : faults[0]);
    for (std::size_t i = 0; i < faults.size(); ++i) EXPECT_TRUE(faults[i].starts_with("\"" + c.refused[i] + "\""));
  }
}

class FeedListTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    const std::string heise = FeedKey("Dial", "anna", "heise");
    PutText(heise, "URL", "https://www.heise.de/rss/heise-atom.xml");
    PutText(heise, "To", "news@firma.de");
    PutText(heise, "Note", "kept by whoever wrote it");  // a value the console does not show
    PutText(FeedKey("Dial", "anna", "golem"), "URL", "https://rss.golem.de/rss.php");
    PutText(FeedKey("Dial", "anna", "golem"), "To", "it@firma.de");
    PutText(FeedKey("Dial", "bert", "lwn"), "URL", "https://lwn.net/headlines/rss");
    PutNumber(AccountKey("Dial", "anna"), "Enable Feeds", 1);
    PutText(AccountKey("Dial", "carl"), "POP Host", "pop.carl.example");
  }

  bool Save() { return console->SaveConfiguration(); }
  std::vector<std::string> Feeds(const std::string& connection, const std::string& account) {
    return Subkeys(AccountKey(connection, account) + "\\Feeds");
  }
};

// The data that a save must never lose: the feed keys below an account stay
// through a save of other edits, move with a renamed connection and a
// copied account, and go only with their deleted account.
TEST_F(FeedListTest, ASaveKeepsMovesAndRemovesFeedKeysWithTheirAccount) {
  Start();
  ASSERT_NE(Account("Dial", "anna"), nullptr);
  EXPECT_EQ(Account("Dial", "anna")->feeds.size(), 2u);
  Click("Dial\\anna");
  page.texts[Control::AccountPOPHost] = "pop.new.example";
  ASSERT_TRUE(Save()) << LastShown();
  EXPECT_EQ(Feeds("Dial", "anna"), (std::vector<std::string>{"golem", "heise"}));
  EXPECT_EQ(Stored(FeedKey("Dial", "anna", "heise"), "Note"), "kept by whoever wrote it");

  dialogs.inputs = {"Remote", "NORAS", "anna"};
  Click("Dial");
  console->RunCommand(console::kRenameConnection);
  Click("Remote\\anna");
  console->RunCommand(console::kCopyAccount);
  Click("Remote\\bert");
  dialogs.answers = {Answer::Yes};
  console->RunCommand(console::kDeleteAccount);
  ASSERT_TRUE(Save()) << LastShown();

  EXPECT_FALSE(KeyExists(AccountKey("Dial", "anna")));
  EXPECT_FALSE(KeyExists(AccountKey("Remote", "bert")));
  for (const char* connection : {"Remote", "NORAS"}) {
    SCOPED_TRACE(connection);
    EXPECT_EQ(Feeds(connection, "anna"), (std::vector<std::string>{"golem", "heise"}));
    EXPECT_EQ(Stored(FeedKey(connection, "anna", "heise"), "URL"), "https://www.heise.de/rss/heise-atom.xml");
    EXPECT_EQ(Stored(FeedKey(connection, "anna", "heise"), "Note"), "kept by whoever wrote it");
    EXPECT_EQ(Stored(AccountKey(connection, "anna"), "Enable Feeds"), "1");
  }
}

// The list edited on the page and saved in the same transaction as the rest:
// refused entries are named and stay in the dialog, a renamed feed takes its
// key's other values along, a removed one goes; the store reads back as shown.
TEST_F(FeedListTest, AddChangeAndRemoveAreWrittenAsTheListStands) {
  Start();
  // On a connection page the list belongs to no account.
  dialogs.feedAnswers = {};
  console->AddFeed();
  EXPECT_EQ(LastShown(), "W\xE4hlen Sie zuerst einen Account aus");
  EXPECT_TRUE(page.feeds.empty());

  Click("Dial\\anna");
  EXPECT_EQ(page.feeds, (std::vector<FeedEntry>{{"golem", "https://rss.golem.de/rss.php", "it@firma.de"},
                                               {"heise", "https://www.heise.de/rss/heise-atom.xml", "news@firma.de"}}));
  EXPECT_TRUE(page.boxes[Control::AccountEnableFeeds]);
  EXPECT_EQ(page.texts[Control::AccountFeedInterval], "30");

  // A name taken in other letters and a URL that is no web address: one
  // message names both; the dialog opens again with what was typed.
  const FeedEntry typed{"GOLEM", "rss.example/feed", "news@firma.de"};
  const FeedEntry fixed{"Tagesschau", " https://www.tagesschau.de/index~rss2.xml ", "news@firma.de"};
  dialogs.feedAnswers = {typed, fixed};
  console->AddFeed();
  const auto refusal = dialogs.shown.end() - 2;
  EXPECT_NE(refusal->text.find("\"Name\""), std::string::npos) << refusal->text;
  EXPECT_NE(refusal->text.find("\"URL\""), std::string::npos) << refusal->text;
  EXPECT_EQ(dialogs.shown.back().text, "GOLEM|rss.example/feed|news@firma.de");
  ASSERT_EQ(page.feeds.size(), 3u);
  EXPECT_EQ(page.feeds[2].url, "https://www.tagesschau.de/index~rss2.xml");

  // Nothing selected; then Cancel; then "heise" renamed and sent elsewhere.
  page.selectedFeed.reset();
  console->ChangeFeed();
  EXPECT_NE(LastShown().find("zuerst einen Newsfeed"), std::string::npos);
  page.selectedFeed = 1;
  dialogs.feedAnswers = {std::nullopt};
  console->ChangeFeed();
  EXPECT_EQ(page.feeds[1].name, "heise");
  dialogs.feedAnswers = {FeedEntry{"Heise online", "https://www.heise.de/rss/heise-atom.xml", "chef@firma.de"}};
  console->ChangeFeed();

  // "golem": No keeps it, Yes removes it.
  page.selectedFeed = 0;
  dialogs.answers = {Answer::No, Answer::Yes};
  console->RemoveFeed();
  EXPECT_EQ(page.feeds.size(), 3u);
  console->RemoveFeed();
  EXPECT_EQ(page.feeds.size(), 2u);

  page.boxes[Control::AccountEnableFeeds] = false;
  page.texts[Control::AccountFeedInterval] = "0";
  EXPECT_FALSE(console->StorePage());
  EXPECT_TRUE(page.marked.contains(Control::AccountFeedInterval));
  page.texts[Control::AccountFeedInterval] = "45";
  console->RunCommand(console::kSaveSettings);
  ASSERT_EQ(page.status, "Einstellungen gespeichert") << LastShown();

  EXPECT_EQ(Feeds("Dial", "anna"), (std::vector<std::string>{"Heise online", "Tagesschau"}));
  const std::string renamed = FeedKey("Dial", "anna", "Heise online");
  EXPECT_EQ(Stored(renamed, "To"), "chef@firma.de");
  EXPECT_EQ(Stored(renamed, "Note"), "kept by whoever wrote it");
  EXPECT_EQ(Stored(FeedKey("Dial", "anna", "Tagesschau"), "URL"), "https://www.tagesschau.de/index~rss2.xml");
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), "Enable Feeds"), "0");
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), "Feed Interval"), "45");
  // Bert's feeds were not touched, nor his page's absent values written.
  EXPECT_EQ(Feeds("Dial", "bert"), std::vector<std::string>{"lwn"});
  EXPECT_EQ(Stored(AccountKey("Dial", "bert"), "Enable Feeds"), std::nullopt);

  // Read again: the list as saved. Removing the last feed leaves an empty "Feeds".
  console->RunCommand(console::kReadSettings);
  Click("Dial\\anna");
  EXPECT_EQ(page.feeds.size(), 2u);
  dialogs.answers = {Answer::Yes, Answer::Yes};
  page.selectedFeed = 0;
  console->RemoveFeed();
  console->RemoveFeed();
  ASSERT_TRUE(Save()) << LastShown();
  EXPECT_TRUE(Feeds("Dial", "anna").empty());
}

}  // namespace
}  // namespace ferry::test
