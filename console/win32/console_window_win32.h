// The console window on Windows: the tree, the three tabs with their frames
// and fields (each a page that scrolls, so that a small screen reaches every
// control), the toolbar buttons and the status bar. It shows what the
// console's logic (console/model) tells it and hands it the clicks; it holds
// no logic of its own beyond which control enables which.
#pragma once

#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "console/model/console.h"
#include "console/win32/scroll_page.h"
#include "console/win32/win32_dialogs.h"
#include "console/win32/windows_api.h"

namespace ferry::console {

class ConsoleWindowWin32 : public ConsoleView {
 public:
  // `dialogs` answers the input and message boxes; null uses real modal boxes.
  explicit ConsoleWindowWin32(ValueLibrary& values, Dialogs* dialogs = nullptr);
  ~ConsoleWindowWin32() override;
  ConsoleWindowWin32(const ConsoleWindowWin32&) = delete;
  ConsoleWindowWin32& operator=(const ConsoleWindowWin32&) = delete;

  // Creates the window (hidden); false when the system refuses.
  bool Create(HINSTANCE instance);
  // The start routine: read the local computer's settings, show the window.
  void Start();
  // Handles the keyboard of the window's controls (Tab, arrows, Alt+letter,
  // Ctrl+Tab between the tabs); true when the message was taken.
  bool TranslateKeys(MSG& message);
  // End the message loop when the window closes (the program; not tests).
  void SetQuitOnClose(bool quit) { quitOnClose_ = quit; }

  Console& console() { return *console_; }
  HWND window() const { return window_; }
  HWND tree() const { return tree_; }
  HWND tabs() const { return tabs_; }
  HWND status() const { return status_; }
  // The control showing a field, and the button of a toolbar command.
  HWND ControlWindow(Control control) const;
  HWND CommandButton(Command command) const;
  HWND LocalComputerBox() const { return computerLocal_; }
  // "Autorisieren..." on the account page (authorize_window_win32.cpp).
  HWND AuthorizeButton() const { return authorize_; }
  HWND ComputerNameField() const { return computerName_; }
  // The page of tab `index` (its scrolling view).
  const ScrollPage& Page(int index) const { return *pages_[static_cast<std::size_t>(index)]; }
  // The account page's feed list and its buttons (0 Hinzufuegen, 1 Aendern, 2 Entfernen).
  HWND FeedList() const { return feedList_; }
  HWND FeedButton(int which) const { return feedButtons_.at(static_cast<std::size_t>(which)); }
  // Selects a row of the feed list, as a click does.
  void SelectFeed(int row);
  // Whether the control is marked as holding a text the store cannot take.
  bool Marked(Control control) const { return marked_.count(control) != 0; }

  // ---- ConsoleView ----
  std::string Text(Control control) const override;
  void SetText(Control control, const std::string& text) override;
  bool Checked(Control control) const override;
  void SetChecked(Control control, bool checked) override;
  void MarkControl(Control control, bool bad) override;
  void SetAccountFrameEnabled(bool enabled) override;
  void SetAccountControlsEnabled(bool enabled) override;
  void ShowTree(const std::vector<TreeNode>& nodes) override;
  void SelectNode(const std::optional<std::string>& key) override;
  std::optional<std::string> SelectedNodeKey() const override;
  void ShowFeeds(const std::vector<FeedEntry>& feeds) override;
  std::optional<int> SelectedFeed() const override;
  void SetStatus(const std::string& text) override;
  void ShowComputerName(const std::string& name) override;
  void Show() override;
  void Close() override;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(int id, int code, HWND from);
  LRESULT OnNotify(const NMHDR& header);
  void Layout();
  void ShowTab(int index);

  // ---- Building the pages (console_pages_win32.cpp) ----
  void BuildToolbar();
  void BuildGlobalPage(ScrollPage& page);
  void BuildConnectionPage(ScrollPage& page);
  void BuildNewsPage(ScrollPage& page);
  HWND AddLine(ScrollPage& page, Control control, const char* label, DWORD extraStyle = 0);
  HWND AddBox(ScrollPage& page, Control control, const char* caption);
  HWND AddSecurity(ScrollPage& page, Control control, const char* label, bool whenOffered);
  HWND AddButton(HWND parent, Command command, const char* caption);
  HWND AddUpDown(ScrollPage& page, HWND buddy, int maximum);
  HWND AddLabel(ScrollPage& page, const char* text, int x, int y, int width, int height);
  HWND BeginGroup(ScrollPage& page, const char* caption);
  void EndGroup(HWND group);
  // The rules of the three boxes that enable dependent fields.
  void ApplyBoxRules();
  void Step(HWND upDown, int delta);
  // "Autorisieren..." at `x` in the row being built, and its click.
  void AddAuthorizeButton(ScrollPage& page, int x);
  void AuthorizeAccount();

  // ---- The account's "Newsfeeds" (feed_list_win32.cpp) ----
  static constexpr int kFeedListId = 3000;
  static constexpr int kFeedAddId = 3001;
  static constexpr int kFeedChangeId = 3002;
  static constexpr int kFeedRemoveId = 3003;
  void BuildFeedGroup(ScrollPage& page);
  void EnableFeedGroup(bool enabled);
  // True when the command came from the group's buttons.
  bool OnFeedCommand(int id, int code);

  std::unique_ptr<Win32Dialogs> ownDialogs_;
  std::unique_ptr<Console> console_;
  HINSTANCE instance_ = nullptr;
  HWND window_ = nullptr;
  HWND tree_ = nullptr;
  HWND tabs_ = nullptr;
  HWND status_ = nullptr;
  HWND computerName_ = nullptr;
  HWND computerLocal_ = nullptr;
  HWND authorize_ = nullptr;
  HFONT font_ = nullptr;
  HIMAGELIST pictures_ = nullptr;
  HBRUSH markBrush_ = nullptr;
  std::vector<std::unique_ptr<ScrollPage>> pages_;
  std::vector<HWND> toolbar_;  // the buttons of the strip above, in order
  std::map<Command, HWND> buttons_;
  std::map<Control, HWND> controls_;
  std::map<HWND, int> upDownMaximum_;  // up-down control -> its buddy's maximum
  std::map<HWND, HWND> upDownBuddy_;
  std::map<HTREEITEM, std::string> nodeKeys_;
  std::set<Control> marked_;
  HWND feedList_ = nullptr;
  std::vector<HWND> feedButtons_;
  bool accountShown_ = false;
  bool accountFrameEnabled_ = false;
  bool selecting_ = false;  // the console itself moves the tree's selection
  bool quitOnClose_ = false;
  int toolbarHeight_ = 0;
  int rowY_ = 0;  // where the next row of the page being built goes
};

// Registers the window classes and loads the common controls; once per process.
bool RegisterConsoleClasses(HINSTANCE instance);

}  // namespace ferry::console
