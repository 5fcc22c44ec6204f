// The Windows console window driven by window messages, as a person's clicks
// and keys arrive: tree selections, typed fields, toolbar buttons, and the
// real modal dialogs answered by a timer that finds them on the screen. The
// store is a scratch store in the system registry; the checks read what was
// stored. Also the Control Panel applet of MailFerryRes.dll.
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>
#include <string>
#include <vector>

#include "console/model/store_texts.h"
#include "console/win32/authorize_window_win32.h"
#include "console/win32/console_window_win32.h"
#include "console/win32/control_text.h"
#include "console/win32/resource_ids.h"
#include "schema/registry_schema.h"
#include "platform/system_info.h"
#include "tests/console/console_fixture.h"

// After windows.h (from the window's header), which it needs.
#include <cpl.h>

namespace ferry::test {
namespace {

using console::Command;
using console::Control;
using schema::AccountKey;
using schema::ConnectionKey;

// What a dialog showed and how it was answered.
struct SeenDialog {
  std::string title;
  std::string text;
  std::string yesButton;  // the caption of the Yes button; empty without one
};

// Answers the modal dialogs of this thread as they appear: input boxes from
// `inputs` (nullopt presses Abbrechen), questions from `answers` (true: Ja).
class DialogAnswerer {
 public:
  DialogAnswerer() {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 20, Tick);
  }
  ~DialogAnswerer() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  std::deque<std::optional<std::string>> inputs;
  std::deque<bool> answers;
  std::deque<console::FeedEntry> feeds;  // typed into the feed dialog, then OK
  std::vector<SeenDialog> seen;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current_ != nullptr) EnumThreadWindows(GetCurrentThreadId(), Visit, 0);
  }
  static BOOL CALLBACK Visit(HWND window, LPARAM) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    current_->Answer(window);
    return FALSE;
  }
  static void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  }
  void Answer(HWND dialog) {
    SeenDialog shown;
    shown.title = console::ControlText(dialog);
    if (HWND name = GetDlgItem(dialog, IDC_FEED_NAME); name != nullptr) {
      shown.text = console::ControlText(name) + "|" + console::ControlText(GetDlgItem(dialog, IDC_FEED_URL)) + "|" +
                   console::ControlText(GetDlgItem(dialog, IDC_FEED_TO));
      seen.push_back(shown);
      if (feeds.empty()) {
        ADD_FAILURE() << "unexpected feed dialog: " << shown.text;
        Press(dialog, IDCANCEL);
        return;
      }
      console::SetControlText(name, feeds.front().name);
      console::SetControlText(GetDlgItem(dialog, IDC_FEED_URL), feeds.front().url);
      console::SetControlText(GetDlgItem(dialog, IDC_FEED_TO), feeds.front().to);
      feeds.pop_front();
      Press(dialog, IDOK);
      return;
    }
    if (HWND answer = GetDlgItem(dialog, IDC_INPUT_ANSWER); answer != nullptr) {
      shown.text = console::ControlText(GetDlgItem(dialog, IDC_INPUT_PROMPT));
      seen.push_back(shown);
      if (inputs.empty()) {
        ADD_FAILURE() << "unexpected input box: " << shown.text;
        Press(dialog, IDCANCEL);
        return;
      }
      std::optional<std::string> text = inputs.front();
      inputs.pop_front();
      if (!text) {
        Press(dialog, IDCANCEL);
        return;
      }
      console::SetControlText(answer, *text);
      Press(dialog, IDOK);
      return;
    }
    shown.text = console::ControlText(GetDlgItem(dialog, 0xFFFF));  // the message box's text
    HWND yes = GetDlgItem(dialog, IDYES);
    if (yes != nullptr) shown.yesButton = console::ControlText(yes);
    seen.push_back(shown);
    if (yes == nullptr) {
      Press(dialog, IDOK);
      return;
    }
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << shown.text;
      Press(dialog, IDNO);
      return;
    }
    bool agree = answers.front();
    answers.pop_front();
    Press(dialog, agree ? IDYES : IDNO);
  }

  static inline DialogAnswerer* current_ = nullptr;
  UINT_PTR timer_ = 0;
};

class ConsoleWindowWin32Test : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    values = std::make_unique<console::ValueLibrary>(std::vector<std::string>{BuiltValueLibrary()});
    window = std::make_unique<console::ConsoleWindowWin32>(*values);
    ASSERT_TRUE(window->Create(GetModuleHandleA(nullptr)));
  }
  void TearDown() override {
    window.reset();
    values.reset();
    TempHiveTest::TearDown();
  }

  // A store with the service, the permanent connection and one dial-up
  // connection with one account.
  static void WriteStore() {
    MakeKey(ConnectionKey("NORAS"));
    PutNumber(ConnectionKey("Dial"), schema::kTimeout, 600);
    PutText(AccountKey("Dial", "anna"), schema::kPopHost, "pop.example");
    PutNumber(AccountKey("Dial", "anna"), schema::kEnableAccount, 1);
  }

  HTREEITEM FindNode(const std::string& text) const {
    std::vector<HTREEITEM> pending{reinterpret_cast<HTREEITEM>(
        SendMessageA(window->tree(), TVM_GETNEXTITEM, TVGN_ROOT, 0))};
    while (!pending.empty()) {
      HTREEITEM item = pending.back();
      pending.pop_back();
      if (item == nullptr) continue;
      char buffer[260] = {};
      TVITEMA info{};
      info.mask = TVIF_TEXT;
      info.hItem = item;
      info.pszText = buffer;
      info.cchTextMax = sizeof buffer;
      SendMessageA(window->tree(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&info));
      if (text == buffer) return item;
      pending.push_back(reinterpret_cast<HTREEITEM>(
          SendMessageA(window->tree(), TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item))));
      pending.push_back(reinterpret_cast<HTREEITEM>(
          SendMessageA(window->tree(), TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))));
    }
    return nullptr;
  }
  // Selects a tree node as a click does (the tree reports the change).
  void Click(const std::string& text) {
    HTREEITEM item = FindNode(text);
    ASSERT_NE(item, nullptr) << text;
    SendMessageA(window->tree(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  }
  void Press(Command command) {
    HWND button = window->CommandButton(command);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(IsWindowEnabled(button)) << "button " << command << " is disabled";
    SendMessageA(button, BM_CLICK, 0, 0);
  }
  void Type(Control control, const std::string& text) {
    console::SetControlText(window->ControlWindow(control), text);
  }
  std::string Shown(Control control) const { return console::ControlText(window->ControlWindow(control)); }
  bool Enabled(Control control) const { return IsWindowEnabled(window->ControlWindow(control)) != FALSE; }

  // A key pressed with the focus where it is, with `held` (a shift key) down.
  void PressKey(WPARAM key, int held) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[held] = 0x80;
    SetKeyboardState(keys);
    MSG down{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
    EXPECT_TRUE(window->TranslateKeys(down));
    keys[held] = 0;
    SetKeyboardState(keys);
  }

  std::unique_ptr<console::ValueLibrary> values;
  std::unique_ptr<console::ConsoleWindowWin32> window;
};

TEST_F(ConsoleWindowWin32Test, TypedFieldsAndBoxesAreSavedWhereTheirNodeStands) {
  WriteStore();
  DialogAnswerer dialogs;
  window->Start();
  EXPECT_TRUE(IsWindowVisible(window->window()));
  ASSERT_NE(FindNode("anna"), nullptr);
  ASSERT_NE(FindNode("NORAS"), nullptr);

  Click("anna");
  EXPECT_EQ(Shown(Control::AccountPOPHost), "pop.example");
  EXPECT_TRUE(Enabled(Control::AccountPOPHost));
  // "Account aktivieren" enables the account's fields; "Befehl ausführen" its command.
  EXPECT_FALSE(Enabled(Control::AccountCommand));
  SendMessageA(window->ControlWindow(Control::AccountEnableCommand), BM_CLICK, 0, 0);
  EXPECT_TRUE(Enabled(Control::AccountCommand));

  Type(Control::AccountPOPHost, "pop.neu.example");
  Type(Control::AccountPOPPasswort, "geheim \xE4\xF6\xFC");
  Type(Control::AccountCommand, "c:\\abruf.cmd");
  SendMessageA(window->ControlWindow(Control::AccountSmtpSecurity), CB_SETCURSEL, 3, 0);  // SSL/TLS
  Click("Dial");
  EXPECT_EQ(Shown(Control::ConnectionInterval), "10");
  Type(Control::ConnectionInterval, "2");
  Press(console::kSaveSettings);

  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kPopHost), "pop.neu.example");
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kPopPassword), "geheim \xE4\xF6\xFC");
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kCommand), "c:\\abruf.cmd");
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kEnableCommand), "1");
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kSmtpSecurity), "3");
  EXPECT_EQ(Stored(ConnectionKey("Dial"), schema::kTimeout), "120");
  EXPECT_TRUE(dialogs.seen.empty()) << dialogs.seen.front().text;
  EXPECT_EQ(console::ControlText(window->status()), console::texts::kSaved);
}

TEST_F(ConsoleWindowWin32Test, ToolbarCommandsAskThroughTheirDialogs) {
  WriteStore();
  DialogAnswerer dialogs;
  window->Start();

  dialogs.inputs = {"Uplink", "bob"};
  Press(console::kNewConnection);
  ASSERT_NE(FindNode("Uplink"), nullptr);
  Click("Uplink");
  Press(console::kNewAccount);  // into the connection whose page is shown
  Click("bob");  // a new account is enabled
  ASSERT_TRUE(Enabled(Control::AccountPOPUser));
  Type(Control::AccountPOPUser, "bob");
  // Deleting the old account asks first; No keeps it, Yes removes it.
  dialogs.answers = {false, true};
  Click("anna");
  Press(console::kDeleteAccount);
  EXPECT_NE(FindNode("anna"), nullptr);
  Press(console::kDeleteAccount);
  EXPECT_EQ(FindNode("anna"), nullptr);
  Press(console::kSaveSettings);

  ASSERT_EQ(dialogs.seen.size(), 4u);
  EXPECT_EQ(dialogs.seen[0].title, "Neue Verbindung");
  EXPECT_EQ(dialogs.seen[1].title, "Neuer Account");
  EXPECT_EQ(dialogs.seen[2].title, "Account l\xF6schen");
  EXPECT_EQ(dialogs.seen[2].yesButton, "&Ja");  // German whatever the system's language
  EXPECT_EQ(Stored(AccountKey("Uplink", "bob"), schema::kPopUser), "bob");
  EXPECT_FALSE(KeyExists(AccountKey("Dial", "anna")));
  EXPECT_TRUE(KeyExists(ConnectionKey("Dial")));

  // Cancel makes nothing.
  dialogs.inputs = {std::nullopt};
  Press(console::kNewConnection);
  EXPECT_EQ(Subkeys(schema::kParametersKey), (std::vector<std::string>{"Dial", "NORAS", "Uplink"}));
}

// The account page's "Newsfeeds": the list shows the stored feeds; a feed
// typed into the dialog (after a refused name) and a removed one reach the
// store with the next save, beside the box and the interval.
TEST_F(ConsoleWindowWin32Test, FeedsAreAddedInTheirDialogAndRemovedFromTheList) {
  WriteStore();
  const std::string heise = schema::FeedKey("Dial", "anna", "heise");
  PutText(heise, schema::kFeedUrl, "https://www.heise.de/rss/heise-atom.xml");
  PutText(heise, schema::kFeedTo, "news@firma.de");
  DialogAnswerer dialogs;
  window->Start();
  Click("Dial");
  EXPECT_FALSE(IsWindowEnabled(window->FeedButton(0)));
  Click("anna");
  ASSERT_TRUE(IsWindowEnabled(window->FeedButton(0)));
  auto rowText = [this](int row, int column) {
    char buffer[300] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    SendMessageA(window->FeedList(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return std::string(buffer);
  };
  ASSERT_EQ(SendMessageA(window->FeedList(), LVM_GETITEMCOUNT, 0, 0), 1);
  EXPECT_EQ(rowText(0, 1), "https://www.heise.de/rss/heise-atom.xml");

  dialogs.feeds = {{"HEISE", "https://other.example/rss", "news@firma.de"},
                   {"B\xFC" "cher", "https://buecher.example/rss", "news@firma.de"}};
  SendMessageA(window->FeedButton(0), BM_CLICK, 0, 0);
  ASSERT_EQ(dialogs.seen.size(), 3u);  // the dialog, the refusal, the dialog again with what was typed
  EXPECT_EQ(dialogs.seen[0].title, "Newsfeed hinzuf\xFCgen");
  EXPECT_NE(dialogs.seen[1].text.find("\"Name\""), std::string::npos) << dialogs.seen[1].text;
  EXPECT_EQ(dialogs.seen[2].text, "HEISE|https://other.example/rss|news@firma.de");
  ASSERT_EQ(SendMessageA(window->FeedList(), LVM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(rowText(1, 0), "B\xFC" "cher");

  SendMessageA(window->ControlWindow(Control::AccountEnableFeeds), BM_CLICK, 0, 0);
  Type(Control::AccountFeedInterval, "15");
  window->SelectFeed(0);
  dialogs.answers = {true};
  SendMessageA(window->FeedButton(2), BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageA(window->FeedList(), LVM_GETITEMCOUNT, 0, 0), 1);
  Press(console::kSaveSettings);
  EXPECT_EQ(console::ControlText(window->status()), console::texts::kSaved);

  EXPECT_FALSE(KeyExists(heise));
  EXPECT_EQ(Stored(schema::FeedKey("Dial", "anna", "B\xFC" "cher"), schema::kFeedUrl), "https://buecher.example/rss");
  EXPECT_EQ(Stored(schema::FeedKey("Dial", "anna", "B\xFC" "cher"), schema::kFeedTo), "news@firma.de");
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kEnableFeeds), "1");
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kFeedInterval), "15");
}

TEST_F(ConsoleWindowWin32Test, ATextTheStoreCannotHoldIsMarkedAndStaysOnThePage) {
  WriteStore();
  DialogAnswerer dialogs;
  window->Start();
  Click("anna");
  // A character outside the store's 8-bit character set.
  SetWindowTextW(window->ControlWindow(Control::AccountPOPHost), L"pop.\x0141" L"od\x017A.example");
  Click("Dial");
  ASSERT_EQ(dialogs.seen.size(), 1u);
  EXPECT_NE(dialogs.seen[0].text.find("POP Host"), std::string::npos) << dialogs.seen[0].text;
  EXPECT_TRUE(window->Marked(Control::AccountPOPHost));
  // The page stays with its node, the typed text with it.
  EXPECT_EQ(FindNode("anna"), reinterpret_cast<HTREEITEM>(SendMessageA(window->tree(), TVM_GETNEXTITEM, TVGN_CARET, 0)));
  EXPECT_EQ(Shown(Control::AccountPOPHost).find('\x1A'), 4u);
  Press(console::kSaveSettings);
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kPopHost), "pop.example");
}

TEST_F(ConsoleWindowWin32Test, AnotherComputerIsReachedThroughTheRemoteRegistry) {
  WriteStore();
  DialogAnswerer dialogs;
  window->Start();
  HWND local = window->LocalComputerBox();
  HWND choose = window->CommandButton(console::kChooseComputer);
  EXPECT_FALSE(IsWindowEnabled(choose));
  SendMessageA(local, BM_CLICK, 0, 0);  // untick "lokaler Rechner"
  EXPECT_TRUE(IsWindowEnabled(choose));
  dialogs.inputs = {"elsewhere"};
  Press(console::kChooseComputer);
  ASSERT_EQ(dialogs.seen.size(), 2u);
  EXPECT_EQ(dialogs.seen[1].title, console::texts::kNoConnectionTitle);
  EXPECT_EQ(dialogs.seen[1].text, "Verbindung mit Computer ELSEWHERE kann nicht hergestellt werden.");
  EXPECT_EQ(console::ControlText(window->ComputerNameField()), "ELSEWHERE");
  EXPECT_EQ(FindNode("Dial"), nullptr);

  // Ticking the box again reads this computer's store.
  SendMessageA(local, BM_CLICK, 0, 0);
  EXPECT_NE(FindNode("anna"), nullptr);
  EXPECT_FALSE(IsWindowEnabled(choose));
}

TEST_F(ConsoleWindowWin32Test, TheKeyboardReachesEveryAccountFieldOnASmallScreen) {
  WriteStore();
  DialogAnswerer dialogs;
  window->Start();
  SetWindowPos(window->window(), nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER);
  Click("anna");
  // Ctrl+Tab goes from the first page to the account page.
  EXPECT_EQ(SendMessageA(window->tabs(), TCM_GETCURSEL, 0, 0), 0);
  PressKey(VK_TAB, VK_CONTROL);
  EXPECT_EQ(SendMessageA(window->tabs(), TCM_GETCURSEL, 0, 0), 1);
  const console::ScrollPage& page = window->Page(1);
  EXPECT_TRUE(IsWindowVisible(page.view()));
  EXPECT_FALSE(IsWindowVisible(window->Page(0).view()));
  RECT view{};
  GetClientRect(page.view(), &view);
  ASSERT_LT(view.bottom, page.ContentHeight()) << "the account page fits; nothing to scroll";

  SetFocus(window->ControlWindow(Control::AccountPOPHost));
  HWND last = window->ControlWindow(Control::AccountLogFile);
  bool reachedLast = false;
  for (int key = 0; key < 60 && !reachedLast; ++key) {
    MSG tab{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    ASSERT_TRUE(window->TranslateKeys(tab));
    HWND focus = GetFocus();
    ASSERT_NE(focus, nullptr);
    if (GetParent(focus) != page.panel()) continue;
    // The control with the focus is seen whole.
    RECT box{};
    GetWindowRect(focus, &box);
    MapWindowPoints(nullptr, page.view(), reinterpret_cast<POINT*>(&box), 2);
    EXPECT_GE(box.top, 0);
    EXPECT_LE(box.bottom, view.bottom);
    reachedLast = reachedLast || focus == last || focus == window->CommandButton(console::kTemplate);
  }
  EXPECT_TRUE(reachedLast);
  EXPECT_GT(page.Position(), 0);

  // Alt with the underlined letter presses a button: Einstellungen &speichern.
  Type(Control::AccountPOPUser, "anna");
  MSG alt{window->window(), WM_SYSCHAR, 's', 0, 0, {}};
  EXPECT_TRUE(window->TranslateKeys(alt));
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), schema::kPopUser), "anna");
}

// What the authorisation window showed when its program had ended; it presses
// "Abbrechen" first when `cancel` is set, once the code shows.
class AuthorizeWatcher {
 public:
  explicit AuthorizeWatcher(bool cancel, HWND console) : cancel_(cancel), console_(console) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 20, Tick);
  }
  ~AuthorizeWatcher() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  AuthorizeWatcher(const AuthorizeWatcher&) = delete;
  AuthorizeWatcher& operator=(const AuthorizeWatcher&) = delete;

  bool appeared = false;
  bool consoleDisabled = false;  // the console's window took no input meanwhile
  bool cancelled = false;
  std::string output;
  std::string outcome;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (current_ != nullptr) EnumThreadWindows(GetCurrentThreadId(), Visit, 0);
  }
  static BOOL CALLBACK Visit(HWND window, LPARAM) {
    char name[32] = {};
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, console::AuthorizeWindow::kClass) != 0 || !IsWindowVisible(window)) return TRUE;
    current_->Watch(window);
    return FALSE;
  }
  void Watch(HWND window) {
    appeared = true;
    consoleDisabled = IsWindowEnabled(console_) == FALSE;
    HWND button = GetDlgItem(window, console::AuthorizeWindow::kButtonId);
    const std::string shown = console::ControlText(GetDlgItem(window, console::AuthorizeWindow::kOutputId));
    const std::string caption = console::ControlText(button);
    if (cancel_ && !cancelled && shown.find("WDJB-MJHT") != std::string::npos) {
      EXPECT_EQ(caption, "Abbrechen");
      cancelled = true;
      PostMessageA(window, WM_COMMAND, MAKEWPARAM(console::AuthorizeWindow::kButtonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
      return;
    }
    if (caption != "Schlie\xDF" "en") return;  // still running
    output = shown;
    outcome = console::ControlText(GetDlgItem(window, console::AuthorizeWindow::kOutcomeId));
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(console::AuthorizeWindow::kButtonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  }

  static inline AuthorizeWatcher* current_ = nullptr;
  bool cancel_;
  HWND console_;
  UINT_PTR timer_ = 0;
};

// "Autorisieren..." runs the program the console's settings file names, with
// that file in the user's settings folder (%APPDATA%\MailFerry).
class AuthorizeButtonTest : public ConsoleWindowWin32Test {
 protected:
  void SetUp() override {
    const char* data = std::getenv("APPDATA");
    oldAppData_ = data != nullptr ? data : "";
    appData_ = MakeTempFolder("appdata");
    std::filesystem::create_directories(appData_ / "MailFerry");
    const std::filesystem::path helper = std::filesystem::path(ModulePath()).parent_path() / "authorize_helper.exe";
    ASSERT_TRUE(std::filesystem::exists(helper)) << helper;
    std::ofstream(appData_ / "MailFerry" / "FerryConsole.conf", std::ios::binary)
        << "# the gateway program\r\nAuthorizeCommand = \"" << helper.string() << "\"\r\n";
    SetEnvironment("APPDATA", appData_.string());
    ConsoleWindowWin32Test::SetUp();
  }
  void TearDown() override {
    ConsoleWindowWin32Test::TearDown();
    SetEnvironment("APPDATA", oldAppData_);
    std::error_code ignored;
    std::filesystem::remove_all(appData_, ignored);
  }
  void PressAuthorize() {
    ASSERT_TRUE(IsWindowEnabled(window->AuthorizeButton()));
    SendMessageA(window->AuthorizeButton(), BM_CLICK, 0, 0);
  }

 private:
  std::string oldAppData_;
  std::filesystem::path appData_;
};

TEST_F(AuthorizeButtonTest, ShowsTheProgramsLinesAsTheyComeAndHowItEnded) {
  MakeKey(ConnectionKey("NORAS"));
  for (const char* account : {"anna", "bert \"b\"", "carl"}) {
    PutNumber(AccountKey("Dial", account), schema::kPopAuth, 1);
    PutNumber(AccountKey("Dial", account), schema::kEnableAccount, 1);
  }
  DialogAnswerer dialogs;
  window->Start();
  struct Case {
    const char* account;
    bool cancel;
    const char* outcome;
  };
  const Case cases[] = {
      {"anna", false, "Konto autorisiert."},
      {"bert \"b\"", false,
       "Nicht autorisiert (Ende mit 1).\r\nCode WDJB-MJHT bei https://auth.example.test/device eingeben\r\n"
       "Worte: [-authorize] [Dial] [bert \"b\"]\r\ninvalid_client: unbekannte Client-ID"},
      {"carl", true, "Abgebrochen; das Konto ist nicht autorisiert."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.account);
    Click(c.account);
    AuthorizeWatcher watcher(c.cancel, window->window());
    PressAuthorize();
    ASSERT_TRUE(watcher.appeared);
    EXPECT_TRUE(watcher.consoleDisabled);
    EXPECT_TRUE(IsWindowEnabled(window->window()));
    EXPECT_EQ(watcher.outcome, c.outcome);
    // Each line as the program wrote it, on a line of its own.
    EXPECT_EQ(watcher.output.rfind("Code WDJB-MJHT bei https://auth.example.test/device eingeben\r\nWorte: "
                                   "[-authorize] [Dial] [" + std::string(c.account) + "]\r\n", 0),
              0u)
        << watcher.output;
  }
  EXPECT_TRUE(dialogs.seen.empty()) << dialogs.seen.front().text;
}

TEST_F(AuthorizeButtonTest, AnAccountWithoutOAuthLoginIsRefusedWithTheReason) {
  WriteStore();  // anna signs in with a password
  DialogAnswerer dialogs;
  window->Start();
  Click("anna");
  AuthorizeWatcher watcher(false, window->window());
  PressAuthorize();
  EXPECT_FALSE(watcher.appeared);
  ASSERT_EQ(dialogs.seen.size(), 1u);
  EXPECT_EQ(dialogs.seen[0].title, "Autorisieren");
  EXPECT_NE(dialogs.seen[0].text.find("keine OAuth-Anmeldung gew\xE4hlt"), std::string::npos) << dialogs.seen[0].text;
}

// The Control Panel applet in MailFerryRes.dll: one entry that starts the console.
class ControlPanelAppletTest : public TempHiveTest {
 protected:
  // The console windows on the screen by the process that shows them.
  static std::map<DWORD, HWND> ConsoleWindows() {
    std::map<DWORD, HWND> found;
    EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
          char name[32] = {};
          GetClassNameA(window, name, sizeof name);
          if (lstrcmpA(name, "POPConfig") != 0) return TRUE;
          DWORD process = 0;
          GetWindowThreadProcessId(window, &process);
          (*reinterpret_cast<std::map<DWORD, HWND>*>(list))[process] = window;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
  }
};

TEST_F(ControlPanelAppletTest, OneEntryThatOpensTheConsole) {
  // The console started below reads this scratch store, where the service is installed.
  MakeKey(schema::kParametersKey);
  HMODULE library = LoadLibraryA(BuiltValueLibrary().c_str());
  ASSERT_NE(library, nullptr);
  using Applet = LONG(APIENTRY*)(HWND, UINT, LPARAM, LPARAM);
  auto applet = reinterpret_cast<Applet>(reinterpret_cast<void*>(GetProcAddress(library, "CPlApplet")));
  ASSERT_NE(applet, nullptr);
  EXPECT_NE(applet(nullptr, CPL_INIT, 0, 0), 0);
  EXPECT_EQ(applet(nullptr, CPL_GETCOUNT, 0, 0), 1);
  CPLINFO info{};
  applet(nullptr, CPL_INQUIRE, 0, reinterpret_cast<LPARAM>(&info));
  char name[64] = {};
  ASSERT_GT(LoadStringA(library, static_cast<UINT>(info.idName), name, sizeof name), 0);
  EXPECT_STREQ(name, "Ferrylink Gateway");
  EXPECT_NE(LoadIconA(library, MAKEINTRESOURCEA(info.idIcon)), nullptr);
  // The same file is the value library and the event message file.
  EXPECT_NE(GetProcAddress(library, "GetValue"), nullptr);
  EXPECT_NE(GetProcAddress(library, "SetValue"), nullptr);
  EXPECT_NE(FindResourceA(library, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(11) /* RT_MESSAGETABLE */), nullptr);

  // A double click starts FerryConsole.exe from beside the library.
  std::filesystem::path program = std::filesystem::path(BuiltValueLibrary()).parent_path() / "FerryConsole.exe";
  ASSERT_TRUE(std::filesystem::exists(program)) << program;
  const std::map<DWORD, HWND> before = ConsoleWindows();
  EXPECT_EQ(applet(nullptr, CPL_DBLCLK, 0, 0), 0);
  DWORD started = 0;
  HWND console = nullptr;
  for (int wait = 0; wait < 200 && console == nullptr; ++wait) {
    Sleep(50);
    for (const auto& [process, window] : ConsoleWindows()) {
      if (before.count(process) == 0) std::tie(started, console) = std::pair(process, window);
    }
  }
  ASSERT_NE(console, nullptr) << "no console window appeared";
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, started);
  ASSERT_NE(process, nullptr);
  PostMessageA(console, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
  CloseHandle(process);
  applet(nullptr, CPL_EXIT, 0, 0);
  FreeLibrary(library);
}

}  // namespace
}  // namespace ferry::test
