#include "console/win32/authorize_window_win32.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "console/model/text_rules.h"
#include "console/win32/console_window_win32.h"
#include "console/win32/control_text.h"
#include "console/win32/resource_ids.h"
#include "platform/system_info.h"

namespace ferry::console {
namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 360;
constexpr int kMargin = 10;
constexpr UINT_PTR kPollTimer = 1;
// How often the program's output is taken: often enough that a code shows at once.
constexpr UINT kPollMilliseconds = 50;
// The output kept in the window; a program that prints more loses its oldest lines.
constexpr std::size_t kMostShown = 128 * 1024;
// What one poll takes at most, so that a flood of output cannot hold the window.
constexpr std::size_t kMostPerPoll = 64 * 1024;
// How many of the last lines a failure shows below the output.
constexpr std::size_t kFailureLines = 3;
// The id of the "Autorisieren..." button on the account page.
constexpr int kAuthorizeButtonId = 2100;

// Appends the program's bytes to the shown text with Windows line ends,
// keeping at most `most` bytes of whole lines at the end.
void AppendOutput(std::string& shown, std::string_view bytes, std::size_t most) {
  for (char c : bytes) {
    if (c == '\r') continue;
    if (c == '\n') shown += '\r';
    shown += c;
  }
  if (shown.size() <= most) return;
  std::size_t cut = shown.find("\r\n", shown.size() - most);
  shown.erase(0, cut == std::string::npos ? shown.size() - most : cut + 2);
}

// The last `count` lines of `text` that hold more than blanks, trimmed.
std::vector<std::string> LastLines(std::string_view text, std::size_t count) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view part = text.substr(0, end);
    if (part.ends_with('\r')) part.remove_suffix(1);
    std::string line = Trim(part);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty()) lines.push_back(line);
  }
  if (lines.size() > count) lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
  return lines;
}

bool RegisterAuthorizeClass(HINSTANCE instance, WNDPROC procedure) {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSEXA window{};
  window.cbSize = sizeof window;
  window.lpfnWndProc = procedure;
  window.hInstance = instance;
  window.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_FERRY));
  window.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  window.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window.lpszClassName = AuthorizeWindow::kClass;
  registered = RegisterClassExA(&window) != 0;
  return registered;
}

}  // namespace

AuthorizeWindow::AuthorizeWindow(HINSTANCE instance, HWND owner, HFONT font)
    : instance_(instance), owner_(owner), font_(font) {}

void AuthorizeWindow::Build() {
  RECT frame{0, 0, kWidth, kHeight};
  const DWORD frameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  AdjustWindowRectEx(&frame, frameStyle, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT over{0, 0, 800, 600};
  if (owner_ != nullptr) GetWindowRect(owner_, &over);
  window_ = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClass, "Konto autorisieren", frameStyle,
                            std::max(0L, over.left + (over.right - over.left - width) / 2),
                            std::max(0L, over.top + (over.bottom - over.top - height) / 2), width, height, owner_,
                            nullptr, instance_, this);
  if (window_ == nullptr) return;
  auto add = [this](const char* kind, const char* text, DWORD style, DWORD extended, int id, RECT box) {
    HWND control = CreateWindowExA(extended, kind, text, WS_CHILD | WS_VISIBLE | style, box.left, box.top,
                                   box.right - box.left, box.bottom - box.top, window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    return control;
  };
  add("STATIC",
      "\xD6" "ffnen Sie die angezeigte Adresse in einem Browser und melden Sie sich an; ein angezeigter Code wird "
      "dort eingegeben.",
      SS_LEFT, 0, -1, {kMargin, kMargin, kWidth - kMargin, kMargin + 30});
  output_ = add("EDIT", "", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                WS_EX_CLIENTEDGE, kOutputId, {kMargin, 46, kWidth - kMargin, kHeight - 90});
  fixedFont_ = CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, "Courier New");
  SendMessageA(output_, WM_SETFONT, reinterpret_cast<WPARAM>(fixedFont_), TRUE);
  outcome_ = add("STATIC", "", SS_LEFT | SS_NOPREFIX, 0, kOutcomeId,
                 {kMargin, kHeight - 84, kWidth - kMargin, kHeight - 40});
  button_ = add("BUTTON", "Abbrechen", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, kButtonId,
                {kWidth - kMargin - 100, kHeight - 34, kWidth - kMargin, kHeight - 9});
}

void AuthorizeWindow::Run(const std::vector<std::string>& argv) {
  if (!RegisterAuthorizeClass(instance_, WindowProc)) return;
  Build();
  if (window_ == nullptr) return;
  program_ = argv.empty() ? std::string() : argv.front();
  if (owner_ != nullptr) EnableWindow(owner_, FALSE);
  ShowWindow(window_, SW_SHOW);
  SetFocus(button_);
  ShowOutcome("Autorisierung l\xE4uft ...");
  if (child_.Start(argv)) {
    running_ = true;
    SetTimer(window_, kPollTimer, kPollMilliseconds, nullptr);
  } else {
    ShowOutcome("Das Programm " + program_ + " kann nicht gestartet werden: " + child_.Error());
    SetControlText(button_, "Schlie\xDF" "en");
  }
  MSG message{};
  bool quit = false;
  while (!done_) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got <= 0) {
      quit = got == 0;
      break;
    }
    if (IsDialogMessageA(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (running_) {
    child_.Stop();  // the window goes; the program does not outlive it
    running_ = false;
  }
  if (owner_ != nullptr) EnableWindow(owner_, TRUE);
  DestroyWindow(window_);
  window_ = nullptr;
  if (fixedFont_ != nullptr) DeleteObject(fixedFont_);
  fixedFont_ = nullptr;
  if (owner_ != nullptr) SetActiveWindow(owner_);
  if (quit) PostQuitMessage(static_cast<int>(message.wParam));
}

LRESULT CALLBACK AuthorizeWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<AuthorizeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ != window) return DefWindowProcA(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT AuthorizeWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kPollTimer) Take();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kButtonId) Press();
      return 0;
    case WM_CLOSE:
      // Closing ends a running program as "Abbrechen" does, and the window with it.
      done_ = true;
      return 0;
    default:
      return DefWindowProcA(window_, message, wParam, lParam);
  }
}

void AuthorizeWindow::Take() {
  std::string bytes;
  const bool alive = child_.Poll(bytes, kMostPerPoll);
  if (!bytes.empty()) {
    AppendOutput(shown_, bytes, kMostShown);
    SetControlText(output_, shown_);
    const auto end = static_cast<WPARAM>(shown_.size());
    SendMessageA(output_, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageA(output_, EM_SCROLLCARET, 0, 0);
  }
  if (alive) return;
  KillTimer(window_, kPollTimer);
  running_ = false;
  Finished();
}

void AuthorizeWindow::Finished() {
  const int code = child_.ExitCode();
  if (cancelled_) {
    ShowOutcome("Abgebrochen; das Konto ist nicht autorisiert.");
  } else if (code == 0) {
    ShowOutcome("Konto autorisiert.");
  } else {
    std::string outcome = "Nicht autorisiert (Ende mit " + std::to_string(code) + ").";
    for (const std::string& line : LastLines(shown_, kFailureLines)) outcome += "\r\n" + line;
    ShowOutcome(outcome);
  }
  SetControlText(button_, "Schlie\xDF" "en");
}

void AuthorizeWindow::ShowOutcome(const std::string& text) { SetControlText(outcome_, text); }

void AuthorizeWindow::Press() {
  if (running_) {
    cancelled_ = true;
    child_.Stop();  // the next poll sees the end and shows it
  } else {
    done_ = true;
  }
}

// ---- The button on the account page ----

void ConsoleWindowWin32::AddAuthorizeButton(ScrollPage& page, int x) {
  const char caption[] = "Autorisieren...";
  authorize_ = CreateWindowExA(0, "BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY,
                               x, rowY_, 110, 25, page.panel(),
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kAuthorizeButtonId)), instance_, nullptr);
  SendMessageA(authorize_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  rowY_ += 30;
}

void ConsoleWindowWin32::AuthorizeAccount() {
  const std::string folder = std::filesystem::path(ModulePath()).parent_path().string();
  std::vector<std::string> argv = console_->AuthorizeShownAccount(folder);
  if (argv.empty()) return;
  AuthorizeWindow window(instance_, window_, font_);
  window.Run(argv);
}

}  // namespace ferry::console
