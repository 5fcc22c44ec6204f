#include "console/win32/console_window_win32.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "console/win32/control_text.h"
#include "console/win32/resource_ids.h"

namespace ferry::console {
namespace {

constexpr const char* kWindowClass = "POPConfig";
constexpr int kTreeWidth = 180;
constexpr int kGap = 6;

// The account controls (the page's account part).
constexpr std::array kAccountControls{
    Control::AccountPopSecurity,     Control::AccountPopPort,           Control::AccountSmtpSecurity,
    Control::AccountSmtpPort,        Control::AccountSmtpUser,          Control::AccountSmtpPasswort,
    Control::AccountTlsCaFile,       Control::AccountAddressMode,       Control::AccountAddressModeTicker,
    Control::AccountCommand,         Control::AccountEnableAccount,     Control::AccountEnableCommand,
    Control::AccountEnableFromUDP,   Control::AccountEnableUDP,         Control::AccountEnableWissenschaft,
    Control::AccountLogFile,         Control::AccountMaxMails,          Control::AccountPOPDelete,
    Control::AccountPOPHost,         Control::AccountPOPPasswort,       Control::AccountPOPUser,
    Control::AccountSMTPFrom,        Control::AccountSMTPHost,          Control::AccountSMTPTo,
    Control::AccountUDPPort,         Control::AccountPopAuth,           Control::AccountSmtpAuth,
    Control::AccountOAuthTokenUrl,   Control::AccountOAuthDeviceUrl,    Control::AccountOAuthAuthorizeUrl,
    Control::AccountOAuthClientId,   Control::AccountOAuthClientSecret, Control::AccountOAuthScope,
};

// The controls of the account frame besides "Account aktivieren" itself.
constexpr std::array kAccountFrameControls{
    Control::AccountPOPHost,       Control::AccountPOPUser,      Control::AccountPOPPasswort,
    Control::AccountPOPDelete,     Control::AccountSMTPHost,     Control::AccountSMTPFrom,
    Control::AccountSMTPTo,        Control::AccountAddressMode,  Control::AccountEnableCommand,
    Control::AccountCommand,       Control::AccountEnableUDP,    Control::AccountUDPPort,
    Control::AccountEnableFromUDP, Control::AccountMaxMails,     Control::AccountLogFile,
    Control::AccountPopSecurity,   Control::AccountPopPort,      Control::AccountSmtpSecurity,
    Control::AccountSmtpPort,      Control::AccountSmtpUser,     Control::AccountSmtpPasswort,
    Control::AccountTlsCaFile,     Control::AccountPopAuth,      Control::AccountSmtpAuth,
    Control::AccountOAuthTokenUrl, Control::AccountOAuthDeviceUrl, Control::AccountOAuthAuthorizeUrl,
    Control::AccountOAuthClientId, Control::AccountOAuthClientSecret, Control::AccountOAuthScope,
};

// The number in an up-down field: a decimal comma or point; no number counts 0.
double NumberIn(std::string text) {
  std::replace(text.begin(), text.end(), ',', '.');
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  return end == text.c_str() ? 0 : value;
}

bool IsComboBox(HWND control) {
  char name[32] = {};
  GetClassNameA(control, name, sizeof name);
  return lstrcmpiA(name, "COMBOBOX") == 0;
}

}  // namespace

bool RegisterConsoleClasses(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return true;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);
  WNDCLASSEXA window{};
  window.cbSize = sizeof window;
  window.lpfnWndProc = ConsoleWindowWin32::WindowProc;
  window.hInstance = instance;
  window.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_FERRY));
  window.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window.lpszClassName = kWindowClass;
  registered = RegisterClassExA(&window) != 0 && ScrollPage::RegisterClasses(instance);
  return registered;
}

ConsoleWindowWin32::ConsoleWindowWin32(ValueLibrary& values, Dialogs* dialogs) {
  if (dialogs == nullptr) {
    ownDialogs_ = std::make_unique<Win32Dialogs>();
    dialogs = ownDialogs_.get();
  }
  console_ = std::make_unique<Console>(*this, *dialogs, values);
}

ConsoleWindowWin32::~ConsoleWindowWin32() {
  if (window_ != nullptr && IsWindow(window_)) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (pictures_ != nullptr) ImageList_Destroy(pictures_);
  if (font_ != nullptr) DeleteObject(font_);
  if (markBrush_ != nullptr) DeleteObject(markBrush_);
}

bool ConsoleWindowWin32::Create(HINSTANCE instance) {
  instance_ = instance;
  if (!RegisterConsoleClasses(instance)) return false;
  font_ = CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                      CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Tahoma");
  markBrush_ = CreateSolidBrush(RGB(0xFF, 0xD0, 0xD0));
  // 800 x 600, or the whole work area of a smaller screen, in its middle; the pages scroll.
  RECT work{0, 0, 800, 600};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int width = std::min(800, static_cast<int>(work.right - work.left));
  int height = std::min(600, static_cast<int>(work.bottom - work.top));
  window_ = CreateWindowExA(WS_EX_CONTROLPARENT, kWindowClass, "Ferrylink Gateway", WS_OVERLAPPEDWINDOW,
                            work.left + (work.right - work.left - width) / 2,
                            work.top + (work.bottom - work.top - height) / 2, width, height, nullptr, nullptr,
                            instance, this);
  if (window_ == nullptr) return false;
  if (ownDialogs_ != nullptr) ownDialogs_->SetOwner(window_);

  BuildToolbar();
  tree_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASLINES | TVS_LINESATROOT | TVS_HASBUTTONS |
                              TVS_SHOWSELALWAYS,
                          0, 0, 10, 10, window_, nullptr, instance, nullptr);
  SendMessageA(tree_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  pictures_ = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
  for (int icon : {IDI_CONNECTION, IDI_ACCOUNT}) {
    HICON picture = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(icon), IMAGE_ICON, 16, 16, 0));
    ImageList_AddIcon(pictures_, picture);
    DestroyIcon(picture);
  }
  SendMessageA(tree_, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(pictures_));

  tabs_ = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS, 0, 0, 10, 10,
                          window_, nullptr, instance, nullptr);
  SendMessageA(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  const char* captions[] = {"Global", "Verbindungen / Accounts", "Newsticker"};
  for (int i = 0; i < 3; ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(captions[i]);
    SendMessageA(tabs_, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    pages_.push_back(std::make_unique<ScrollPage>(instance, window_));
  }
  BuildGlobalPage(*pages_[0]);
  BuildConnectionPage(*pages_[1]);
  BuildNewsPage(*pages_[2]);

  status_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, window_,
                            nullptr, instance, nullptr);
  SendMessageA(status_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);

  for (Control c : kAccountControls) EnableWindow(controls_[c], FALSE);
  EnableWindow(buttons_[kTemplate], FALSE);
  EnableWindow(authorize_, FALSE);
  ShowTab(0);
  Layout();
  return true;
}

void ConsoleWindowWin32::Start() { console_->StartConsole(); }

HWND ConsoleWindowWin32::ControlWindow(Control control) const {
  auto found = controls_.find(control);
  return found == controls_.end() ? nullptr : found->second;
}

HWND ConsoleWindowWin32::CommandButton(Command command) const {
  auto found = buttons_.find(command);
  return found == buttons_.end() ? nullptr : found->second;
}

void ConsoleWindowWin32::Layout() {
  RECT client{};
  GetClientRect(window_, &client);
  SendMessageA(status_, WM_SIZE, 0, 0);
  RECT statusBox{};
  GetWindowRect(status_, &statusBox);
  int statusHeight = statusBox.bottom - statusBox.top;

  // The toolbar buttons in rows as wide as the window.
  int x = kGap;
  int y = kGap;
  int rowHeight = 0;
  for (HWND button : toolbar_) {
    RECT box{};
    GetWindowRect(button, &box);
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    if (x > kGap && x + width > client.right - kGap) {
      x = kGap;
      y += rowHeight + 4;
    }
    SetWindowPos(button, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    x += width + 4;
    rowHeight = std::max(rowHeight, height);
  }
  toolbarHeight_ = y + rowHeight + kGap;

  int top = toolbarHeight_;
  int bottom = client.bottom - statusHeight - kGap;
  int height = std::max(bottom - top, 0);
  MoveWindow(tree_, kGap, top, kTreeWidth, height, TRUE);
  int tabsLeft = kGap + kTreeWidth + kGap;
  int tabsWidth = std::max(static_cast<int>(client.right) - tabsLeft - kGap, 0);
  MoveWindow(tabs_, tabsLeft, top, tabsWidth, height, TRUE);
  RECT display{0, 0, tabsWidth, height};
  SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  for (auto& page : pages_) {
    page->Place(tabsLeft + display.left, top + display.top, display.right - display.left,
                display.bottom - display.top);
    SetWindowPos(page->view(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
}

void ConsoleWindowWin32::ShowTab(int index) {
  SendMessageA(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    ShowWindow(pages_[i]->view(), static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
  }
}

bool ConsoleWindowWin32::TranslateKeys(MSG& message) {
  if (window_ == nullptr || !IsWindow(window_)) return false;
  if (message.message == WM_KEYDOWN && (GetKeyState(VK_CONTROL) & 0x8000) != 0 &&
      (message.wParam == VK_TAB || message.wParam == VK_NEXT || message.wParam == VK_PRIOR)) {
    int count = static_cast<int>(pages_.size());
    int current = static_cast<int>(SendMessageA(tabs_, TCM_GETCURSEL, 0, 0));
    bool back = message.wParam == VK_PRIOR || (message.wParam == VK_TAB && (GetKeyState(VK_SHIFT) & 0x8000) != 0);
    ShowTab((current + (back ? count - 1 : 1)) % count);
    return true;
  }
  return IsDialogMessageA(window_, &message) != FALSE;
}

LRESULT CALLBACK ConsoleWindowWin32::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ConsoleWindowWin32*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT ConsoleWindowWin32::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize = {640, 480};
      return 0;
    }
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lParam);
      for (Control c : marked_) {
        if (controls_[c] == control) {
          SetBkColor(reinterpret_cast<HDC>(wParam), RGB(0xFF, 0xD0, 0xD0));
          return reinterpret_cast<LRESULT>(markBrush_);
        }
      }
      return DefWindowProcA(window_, message, wParam, lParam);
    }
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      if (quitOnClose_) PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window_, message, wParam, lParam);
  }
}

void ConsoleWindowWin32::OnCommand(int id, int code, HWND from) {
  if (code == EN_SETFOCUS || code == BN_SETFOCUS || code == CBN_SETFOCUS) {
    // A control reached with the keyboard is scrolled into view.
    for (auto& page : pages_) {
      if (from != nullptr && GetParent(from) == page->panel()) page->Reveal(from);
    }
    return;
  }
  if (from == computerLocal_ && code == BN_CLICKED) {
    bool ticked = SendMessageA(computerLocal_, BM_GETCHECK, 0, 0) == BST_CHECKED;
    EnableWindow(buttons_[kChooseComputer], !ticked);
    console_->ChooseLocalComputer(ticked);
    return;
  }
  if (OnFeedCommand(id, code)) return;
  if (from == authorize_ && code == BN_CLICKED) {
    AuthorizeAccount();
    return;
  }
  if (id >= 2000 && id < 2100 && code == BN_CLICKED) {
    console_->RunCommand(static_cast<Command>(id - 2000));
    return;
  }
  if (code == BN_CLICKED &&
      (id == 1000 + static_cast<int>(Control::AccountEnableAccount) ||
       id == 1000 + static_cast<int>(Control::AccountEnableCommand) ||
       id == 1000 + static_cast<int>(Control::ConnectionEnableLogging))) {
    ApplyBoxRules();
  }
}

LRESULT ConsoleWindowWin32::OnNotify(const NMHDR& header) {
  if (header.hwndFrom == tabs_ && header.code == TCN_SELCHANGE) {
    ShowTab(static_cast<int>(SendMessageA(tabs_, TCM_GETCURSEL, 0, 0)));
    return 0;
  }
  if (header.hwndFrom == tree_ && (header.code == TVN_SELCHANGEDA || header.code == TVN_SELCHANGEDW)) {
    // Every change of the selection (mouse, keyboard) goes to the console,
    // which stores the page and shows the new node's page.
    if (!selecting_) console_->SelectionChanged();
    return 0;
  }
  if (header.code == UDN_DELTAPOS) {
    const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
    Step(header.hwndFrom, -change.iDelta);
    return 1;  // the field's text is set here, not by the control
  }
  return 0;
}

void ConsoleWindowWin32::Step(HWND upDown, int delta) {
  auto buddy = upDownBuddy_.find(upDown);
  if (buddy == upDownBuddy_.end()) return;
  double maximum = upDownMaximum_[upDown];
  double value = NumberIn(ControlText(buddy->second));
  int step = delta > 0 ? 1 : -1;
  double next = std::clamp(std::floor(value) + step, 0.0, maximum);
  if (step < 0 && value != std::floor(value)) next = std::clamp(std::floor(value), 0.0, maximum);
  SetControlText(buddy->second, std::to_string(static_cast<long>(next)));
}

void ConsoleWindowWin32::ApplyBoxRules() {
  // While no account is shown its controls stay disabled; otherwise
  // "Account aktivieren" enables the rest of the account frame and its
  // button, "Befehl ausführen" the command and "Protokollierung" the log path.
  bool frame = accountFrameEnabled_;
  bool account = frame && accountShown_ && Checked(Control::AccountEnableAccount);
  for (Control c : kAccountFrameControls) EnableWindow(controls_[c], account);
  EnableWindow(buttons_[kTemplate], account);
  EnableWindow(authorize_, account);
  EnableWindow(controls_[Control::AccountCommand], account && Checked(Control::AccountEnableCommand));
  EnableWindow(controls_[Control::AccountLogFile], account && Checked(Control::ConnectionEnableLogging));
  EnableWindow(controls_[Control::AccountEnableAccount], frame && accountShown_);
  EnableWindow(controls_[Control::AccountEnableWissenschaft], accountShown_);
  EnableWindow(controls_[Control::AccountAddressModeTicker], accountShown_);
  EnableFeedGroup(accountShown_);
}

std::string ConsoleWindowWin32::Text(Control control) const {
  HWND found = ControlWindow(control);
  if (found == nullptr) return {};
  if (IsComboBox(found)) {
    LRESULT index = SendMessageA(found, CB_GETCURSEL, 0, 0);
    LRESULT mode = index == CB_ERR ? 0 : SendMessageA(found, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    return std::to_string(mode);
  }
  return ControlText(found);
}

void ConsoleWindowWin32::SetText(Control control, const std::string& text) {
  HWND found = ControlWindow(control);
  if (found == nullptr) return;
  if (IsComboBox(found)) {
    // A mode the choice does not list (POP3's 1 acts as 2) shows as the next one it does.
    int mode = std::atoi(text.c_str());
    LRESULT count = SendMessageA(found, CB_GETCOUNT, 0, 0);
    LRESULT chosen = 0;
    for (int wanted : {mode, mode + 1}) {
      bool hit = false;
      for (LRESULT i = 0; i < count && !hit; ++i) {
        if (SendMessageA(found, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == wanted) {
          chosen = i;
          hit = true;
        }
      }
      if (hit) break;
    }
    SendMessageA(found, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
    return;
  }
  SetControlText(found, text);
}

bool ConsoleWindowWin32::Checked(Control control) const {
  HWND found = ControlWindow(control);
  return found != nullptr && SendMessageA(found, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ConsoleWindowWin32::SetChecked(Control control, bool checked) {
  HWND found = ControlWindow(control);
  if (found == nullptr) return;
  SendMessageA(found, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  ApplyBoxRules();
}

void ConsoleWindowWin32::MarkControl(Control control, bool bad) {
  HWND found = ControlWindow(control);
  if (found == nullptr) return;
  if (bad) {
    marked_.insert(control);
  } else {
    marked_.erase(control);
  }
  InvalidateRect(found, nullptr, TRUE);
}

void ConsoleWindowWin32::SetAccountFrameEnabled(bool enabled) {
  accountFrameEnabled_ = enabled;
  ApplyBoxRules();
}

void ConsoleWindowWin32::SetAccountControlsEnabled(bool enabled) {
  accountShown_ = enabled;
  ApplyBoxRules();
}

void ConsoleWindowWin32::ShowTree(const std::vector<TreeNode>& nodes) {
  selecting_ = true;
  SendMessageA(tree_, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  nodeKeys_.clear();
  std::map<std::string, HTREEITEM> items;
  for (const TreeNode& node : nodes) {
    if (items.count(node.key) != 0) continue;  // a taken key is left out
    HTREEITEM parent = TVI_ROOT;
    if (node.kind == NodeKind::Account) {
      auto found = items.find(node.parentKey);
      if (found == items.end()) continue;
      parent = found->second;
    }
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<char*>(node.text.c_str());
    insert.item.iImage = insert.item.iSelectedImage = static_cast<int>(node.kind) - 1;
    auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (item == nullptr) continue;
    items[node.key] = item;
    nodeKeys_[item] = node.key;
  }
  for (const auto& [key, item] : items) SendMessageA(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
  SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, 0);
  selecting_ = false;
}

void ConsoleWindowWin32::SelectNode(const std::optional<std::string>& key) {
  selecting_ = true;
  HTREEITEM chosen = nullptr;
  if (key) {
    for (const auto& [item, itemKey] : nodeKeys_) {
      if (itemKey == *key) chosen = item;
    }
  }
  SendMessageA(tree_, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(chosen));
  selecting_ = false;
}

std::optional<std::string> ConsoleWindowWin32::SelectedNodeKey() const {
  auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tree_, TVM_GETNEXTITEM, TVGN_CARET, 0));
  auto found = nodeKeys_.find(item);
  if (item == nullptr || found == nodeKeys_.end()) return std::nullopt;
  return found->second;
}

void ConsoleWindowWin32::SetStatus(const std::string& text) {
  SendMessageA(status_, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ConsoleWindowWin32::ShowComputerName(const std::string& name) { SetControlText(computerName_, name); }

void ConsoleWindowWin32::Show() {
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  SetFocus(tree_);
}

void ConsoleWindowWin32::Close() {
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
}

}  // namespace ferry::console
