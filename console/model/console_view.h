// What the console's logic needs of its window and of the person in front of
// it. The Qt window implements both; tests drive the logic with a page that
// keeps its fields in memory and a dialogs object that answers from a script.
// All texts are Latin-1 bytes; a character the person typed that Latin-1
// cannot hold arrives as kNotLatin1 (the SUB control character), so that it is
// refused instead of silently becoming another character.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ferry::console {

inline constexpr char kNotLatin1 = '\x1A';

// The controls that show table fields.
enum class Control {
  GlobalBDWDir,
  GlobalDebugLevel,
  GlobalListenRAS,  // box
  GlobalProxyHost,
  GlobalProxyPort,
  GlobalTickerEMail,
  GlobalTriggerPort,
  GlobalTlsCaFile,
  ConnectionName,
  ConnectionInterval,  // minutes, "nie (nur Trigger)" for no periodic run
  ConnectionEnableLogging,  // box
  AccountAddressMode,
  AccountAddressModeTicker,
  AccountCommand,
  AccountEnableAccount,  // box
  AccountEnableCommand,  // box
  AccountEnableFromUDP,  // box
  AccountEnableUDP,      // box
  AccountEnableWissenschaft,  // box
  AccountLogFile,
  AccountMaxMails,
  AccountPOPDelete,  // box
  AccountPOPHost,
  AccountPOPPasswort,
  AccountPOPUser,
  AccountSMTPFrom,
  AccountSMTPHost,
  AccountSMTPTo,
  AccountUDPPort,
  // TLS and the SMTP login; a security control's text is the mode's number.
  AccountPopSecurity,
  AccountPopPort,
  AccountSmtpSecurity,
  AccountSmtpPort,
  AccountSmtpUser,
  AccountSmtpPasswort,
  AccountTlsCaFile,
  // OAuth sign-in: the login mechanisms' numbers and the authorization server.
  AccountPopAuth,
  AccountSmtpAuth,
  AccountOAuthTokenUrl,
  AccountOAuthDeviceUrl,
  AccountOAuthAuthorizeUrl,
  AccountOAuthClientId,
  AccountOAuthClientSecret,
  AccountOAuthScope,
  // News feeds: the box, the minutes between two fetches of one feed.
  AccountEnableFeeds,  // box
  AccountFeedInterval,
};

// One news feed of an account as the page lists it and its dialog edits it.
struct FeedEntry {
  std::string name;  // the feed's key below the account's "Feeds"
  std::string url;
  std::string to;
  bool operator==(const FeedEntry&) const = default;
};

enum class NodeKind { Connection = 1, Account = 2 };  // the node's picture

struct TreeNode {
  std::string key;     // "A" + connection name (+ account name)
  std::string text;    // connection or account name
  NodeKind kind = NodeKind::Connection;
  std::string parentKey;  // accounts only
  std::string parentText;
  // The node's full path: its text, or connection "\" account.
  std::string Path() const { return kind == NodeKind::Account ? parentText + "\\" + text : text; }
};

class ConsoleView {
 public:
  virtual ~ConsoleView() = default;

  virtual std::string Text(Control control) const = 0;
  virtual void SetText(Control control, const std::string& text) = 0;
  virtual bool Checked(Control control) const = 0;
  // Applies the box's rule of dependent fields when the value changes.
  virtual void SetChecked(Control control, bool checked) = 0;
  // Marks a control whose text the store cannot take (or whose stored value
  // lies outside its range), or clears the mark.
  virtual void MarkControl(Control control, bool bad) = 0;

  virtual void SetAccountFrameEnabled(bool enabled) = 0;
  // The account controls.
  virtual void SetAccountControlsEnabled(bool enabled) = 0;

  // Replaces the tree's nodes; a node whose key is taken is left out. The
  // window tells the console of every change of the selection that the
  // console did not make itself (mouse, keyboard, a click on empty space)
  // through Console::SelectionChanged.
  virtual void ShowTree(const std::vector<TreeNode>& nodes) = 0;
  // Selects the node with this key; nullopt selects none.
  virtual void SelectNode(const std::optional<std::string>& key) = 0;
  virtual std::optional<std::string> SelectedNodeKey() const = 0;

  // Replaces the feed list's rows (empty on a connection page).
  virtual void ShowFeeds(const std::vector<FeedEntry>& feeds) = 0;
  // The row of the feed list the person selected.
  virtual std::optional<int> SelectedFeed() const = 0;

  virtual void SetStatus(const std::string& text) = 0;
  virtual void ShowComputerName(const std::string& name) = 0;
  // Shows the window (once, at start).
  virtual void Show() {}
  // Ends the console at once.
  virtual void Close() = 0;
};

enum class BoxStyle { Information, Question, Warning, Plain, Stop };
enum class Answer { Ok, Yes, No };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Cancel answers nothing.
  virtual std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                               const std::string& defaultAnswer) = 0;
  virtual Answer MessageBox(const std::string& text, const std::string& title, BoxStyle style) = 0;
  // The dialog of one feed: its name, address and recipient, filled with
  // `feed`; false on Cancel, else `feed` holds what was typed.
  virtual bool FeedBox(FeedEntry& feed, const std::string& title) = 0;
};

}  // namespace ferry::console
