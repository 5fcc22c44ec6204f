// Shared pieces of the console tests: a page that keeps its controls in
// memory (the window without Qt), dialogs that answer from a script (the
// person in front of it), and a fixture with a throwaway store and the
// build's value library.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "console/model/console.h"
#include "platform/registry.h"
#include "platform/store_location.h"
#include "platform/system_info.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {

class MemoryPage : public console::ConsoleView {
 public:
  std::string Text(console::Control c) const override {
    auto f = texts.find(c);
    return f == texts.end() ? std::string() : f->second;
  }
  void SetText(console::Control c, const std::string& t) override { texts[c] = t; }
  bool Checked(console::Control c) const override {
    auto f = boxes.find(c);
    return f != boxes.end() && f->second;
  }
  void SetChecked(console::Control c, bool v) override { boxes[c] = v; }
  void MarkControl(console::Control c, bool bad) override {
    if (bad) {
      marked.insert(c);
    } else {
      marked.erase(c);
    }
  }
  void SetAccountFrameEnabled(bool e) override { accountFrameEnabled = e; }
  void SetAccountControlsEnabled(bool e) override { accountControlsEnabled = e; }
  void ShowTree(const std::vector<console::TreeNode>& n) override {
    nodes = n;
    selected.reset();
  }
  void SelectNode(const std::optional<std::string>& key) override { selected = key; }
  std::optional<std::string> SelectedNodeKey() const override { return selected; }
  void ShowFeeds(const std::vector<console::FeedEntry>& f) override { feeds = f; }
  std::optional<int> SelectedFeed() const override { return selectedFeed; }
  void SetStatus(const std::string& t) override { status = t; }
  void ShowComputerName(const std::string& n) override { computerName = n; }
  void Close() override { closed = true; }

  std::map<console::Control, std::string> texts;
  std::map<console::Control, bool> boxes;
  std::set<console::Control> marked;
  bool accountFrameEnabled = false;
  bool accountControlsEnabled = false;
  std::vector<console::TreeNode> nodes;
  std::optional<std::string> selected;
  std::vector<console::FeedEntry> feeds;
  std::optional<int> selectedFeed;
  std::string status;
  std::string computerName;
  bool closed = false;
};

class ScriptedDialogs : public console::Dialogs {
 public:
  struct Shown {
    std::string text;  // prompt or message
    std::string title;
    std::string defaultAnswer;
    std::optional<console::BoxStyle> style;  // empty for an input box
  };

  std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& def) override {
    shown.push_back({prompt, title, def, std::nullopt});
    if (inputs.empty()) {
      ADD_FAILURE() << "unexpected input box: " << prompt;
      return std::nullopt;
    }
    std::optional<std::string> answer = inputs.front();
    inputs.pop_front();
    return answer;
  }
  console::Answer MessageBox(const std::string& text, const std::string& title, console::BoxStyle style) override {
    shown.push_back({text, title, {}, style});
    if (style != console::BoxStyle::Question) return console::Answer::Ok;
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return console::Answer::No;
    }
    console::Answer a = answers.front();
    answers.pop_front();
    return a;
  }

  bool FeedBox(console::FeedEntry& feed, const std::string& title) override {
    shown.push_back({feed.name + "|" + feed.url + "|" + feed.to, title, {}, std::nullopt});
    if (feedAnswers.empty()) {
      ADD_FAILURE() << "unexpected feed dialog: " << title;
      return false;
    }
    std::optional<console::FeedEntry> answer = feedAnswers.front();
    feedAnswers.pop_front();
    if (!answer) return false;
    feed = *answer;
    return true;
  }

  std::deque<std::optional<std::string>> inputs;  // nullopt: Cancel
  std::deque<std::optional<console::FeedEntry>> feedAnswers;  // nullopt: Cancel
  std::deque<console::Answer> answers;
  std::vector<Shown> shown;
};

// Writes store values below HKEY_LOCAL_MACHINE of the local hive.
void PutText(const std::string& path, const std::string& name, const std::string& text);
void PutNumber(const std::string& path, const std::string& name, uint32_t number);
void MakeKey(const std::string& path);
// Reads a store value as text (numbers as signed decimal); nullopt when absent.
std::optional<std::string> Stored(const std::string& path, const std::string& name);
bool KeyExists(const std::string& path);
// The subkey names of a key in store order.
std::vector<std::string> Subkeys(const std::string& path);

// The path of the value library built with the tests.
std::string BuiltValueLibrary();

class ConsoleTest : public TempHiveTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The service key exists (the service is installed).
  void InstallService();
  // Connects to the local store and reads it; builds the tree and shows the
  // first connection, as the start routine does.
  void Start();
  // Selects the tree node with this path (mouse or keyboard: the window
  // reports either as a change of the selection).
  void Click(const std::string& path);
  // Selects no node, as a click on the tree's empty space may.
  void ClickEmptySpace();
  const console::AccountRow* Account(const std::string& connection, const std::string& name) const;
  const console::ConnectionRow* Connection(const std::string& name) const;
  std::vector<std::string> ConnectionNames() const;
  // (connection, account) of the used account rows.
  std::vector<std::pair<std::string, std::string>> AccountNames() const;
  std::string LastShown() const { return dialogs.shown.empty() ? std::string() : dialogs.shown.back().text; }

  MemoryPage page;
  ScriptedDialogs dialogs;
  std::unique_ptr<console::ValueLibrary> values;
  std::unique_ptr<console::Console> console;
};

}  // namespace ferry::test
