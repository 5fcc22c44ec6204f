// The account page's "Newsfeeds" group on Windows: the box, the interval, the
// feed list (a report-view ListView: Name, URL, An) and its three buttons.
// The buttons hand their clicks to the console; the list shows what it says.
#include <array>

#include "console/win32/console_window_win32.h"

namespace ferry::console {
namespace {

constexpr int kMargin = 10;
constexpr int kListWidth = 500;
constexpr int kListHeight = 120;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

}  // namespace

void ConsoleWindowWin32::BuildFeedGroup(ScrollPage& page) {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&controls);

  HWND group = BeginGroup(page, "Newsfeeds");
  AddBox(page, Control::AccountEnableFeeds, "Newsfeeds abrufen");
  HWND interval = AddLine(page, Control::AccountFeedInterval, "Abrufintervall (Minuten) :");
  SetWindowPos(interval, nullptr, 0, 0, 80, 21, SWP_NOMOVE | SWP_NOZORDER);
  feedList_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                              kChild | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, kMargin + 10,
                              rowY_, kListWidth, kListHeight, page.panel(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFeedListId)), instance_, nullptr);
  SendMessageA(feedList_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  SendMessageA(feedList_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  const std::array<std::pair<const char*, int>, 3> columns{{{"Name", 110}, {"URL", 250}, {"An", 120}}};
  for (std::size_t i = 0; i < columns.size(); ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(columns[i].first);
    column.cx = columns[i].second;
    SendMessageA(feedList_, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  rowY_ += kListHeight + 6;
  int x = kMargin + 10;
  for (auto [id, caption] : std::array<std::pair<int, const char*>, 3>{{
           {kFeedAddId, "&Hinzuf\xFCgen..."}, {kFeedChangeId, "\xC4&ndern..."}, {kFeedRemoveId, "Ent&fernen"}}}) {
    HWND button = CreateWindowExA(0, "BUTTON", caption, kChild | WS_TABSTOP | BS_PUSHBUTTON, x, rowY_, 100, 25,
                                  page.panel(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    feedButtons_.push_back(button);
    x += 106;
  }
  rowY_ += 25 + 4;
  EndGroup(group);
  EnableFeedGroup(false);
}

void ConsoleWindowWin32::EnableFeedGroup(bool enabled) {
  EnableWindow(controls_[Control::AccountEnableFeeds], enabled);
  EnableWindow(controls_[Control::AccountFeedInterval], enabled);
  EnableWindow(feedList_, enabled);
  for (HWND button : feedButtons_) EnableWindow(button, enabled);
}

bool ConsoleWindowWin32::OnFeedCommand(int id, int code) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case kFeedAddId: console_->AddFeed(); return true;
    case kFeedChangeId: console_->ChangeFeed(); return true;
    case kFeedRemoveId: console_->RemoveFeed(); return true;
    default: return false;
  }
}

void ConsoleWindowWin32::ShowFeeds(const std::vector<FeedEntry>& feeds) {
  const auto selected = SelectedFeed();
  SendMessageA(feedList_, LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t row = 0; row < feeds.size(); ++row) {
    const std::array<const std::string*, 3> texts{&feeds[row].name, &feeds[row].url, &feeds[row].to};
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(row);
    item.pszText = const_cast<char*>(texts[0]->c_str());
    SendMessageA(feedList_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (int column = 1; column < 3; ++column) {
      item.iSubItem = column;
      item.pszText = const_cast<char*>(texts[static_cast<std::size_t>(column)]->c_str());
      SendMessageA(feedList_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    }
  }
  if (selected && *selected < static_cast<int>(feeds.size())) SelectFeed(*selected);
}

std::optional<int> ConsoleWindowWin32::SelectedFeed() const {
  LRESULT index = SendMessageA(feedList_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
  if (index < 0) return std::nullopt;
  return static_cast<int>(index);
}

void ConsoleWindowWin32::SelectFeed(int row) {
  LVITEMA state{};
  state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  state.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(feedList_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
}

}  // namespace ferry::console
