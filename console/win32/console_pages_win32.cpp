// The controls of the three pages and of the toolbar, placed in rows: a label
// column and a field column, frames around related rows. The texts are
// Latin-1, as the store's.
#include <array>

#include "console/win32/console_window_win32.h"

namespace ferry::console {
namespace {

constexpr int kMargin = 10;
constexpr int kLabelWidth = 250;
constexpr int kFieldWidth = 260;
constexpr int kRow = 26;
constexpr int kFieldHeight = 21;
constexpr int kFieldX = kMargin + 10 + kLabelWidth;
constexpr int kPageWidth = kFieldX + kFieldWidth + 2 * kMargin;

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

void SetFont(HWND control, HFONT font) { SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }

}  // namespace

HWND ConsoleWindowWin32::AddLabel(ScrollPage& page, const char* text, int x, int y, int width, int height) {
  HWND label = CreateWindowExA(0, "STATIC", text, kChild | SS_LEFT, x, y, width, height, page.panel(), nullptr,
                               instance_, nullptr);
  SetFont(label, font_);
  return label;
}

HWND ConsoleWindowWin32::BeginGroup(ScrollPage& page, const char* caption) {
  HWND group = CreateWindowExA(0, "BUTTON", caption, kChild | BS_GROUPBOX, kMargin, rowY_, kPageWidth - 2 * kMargin,
                               40, page.panel(), nullptr, instance_, nullptr);
  SetFont(group, font_);
  rowY_ += 22;
  return group;
}

void ConsoleWindowWin32::EndGroup(HWND group) {
  RECT box{};
  GetWindowRect(group, &box);
  MapWindowPoints(nullptr, GetParent(group), reinterpret_cast<POINT*>(&box), 2);
  SetWindowPos(group, nullptr, 0, 0, box.right - box.left, rowY_ + 6 - box.top, SWP_NOMOVE | SWP_NOZORDER);
  rowY_ += 16;
}

HWND ConsoleWindowWin32::AddLine(ScrollPage& page, Control control, const char* label, DWORD extraStyle) {
  if (label != nullptr) AddLabel(page, label, kMargin + 10, rowY_ + 3, kLabelWidth - 4, kFieldHeight);
  HWND line = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", kChild | WS_TABSTOP | ES_AUTOHSCROLL | extraStyle,
                              kFieldX, rowY_, kFieldWidth, kFieldHeight, page.panel(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000 + static_cast<int>(control))),
                              instance_, nullptr);
  SetFont(line, font_);
  controls_[control] = line;
  rowY_ += kRow;
  return line;
}

HWND ConsoleWindowWin32::AddBox(ScrollPage& page, Control control, const char* caption) {
  HWND box = CreateWindowExA(0, "BUTTON", caption, kChild | WS_TABSTOP | BS_AUTOCHECKBOX | BS_NOTIFY,
                             kMargin + 10, rowY_, kLabelWidth + kFieldWidth - 10, kFieldHeight, page.panel(),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000 + static_cast<int>(control))),
                             instance_, nullptr);
  SetFont(box, font_);
  controls_[control] = box;
  rowY_ += kRow;
  return box;
}

HWND ConsoleWindowWin32::AddSecurity(ScrollPage& page, Control control, const char* label, bool whenOffered) {
  AddLabel(page, label, kMargin + 10, rowY_ + 3, kLabelWidth - 4, kFieldHeight);
  HWND choice = CreateWindowExA(0, "COMBOBOX", "", kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kFieldX,
                                rowY_, kFieldWidth, 160, page.panel(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(1000 + static_cast<int>(control))),
                                instance_, nullptr);
  SetFont(choice, font_);
  // The item data is the stored mode; POP3 knows no "when offered".
  auto add = [choice](const char* text, int mode) {
    LRESULT index = SendMessageA(choice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(choice, CB_SETITEMDATA, static_cast<WPARAM>(index), mode);
  };
  add("keine", 0);
  if (whenOffered) add("STARTTLS wenn angeboten", 1);
  add("STARTTLS", 2);
  add("SSL/TLS", 3);
  SendMessageA(choice, CB_SETCURSEL, 0, 0);
  controls_[control] = choice;
  rowY_ += kRow;
  return choice;
}

HWND ConsoleWindowWin32::AddButton(HWND parent, Command command, const char* caption) {
  HWND button = CreateWindowExA(0, "BUTTON", caption, kChild | WS_TABSTOP | BS_PUSHBUTTON | BS_NOTIFY, 0, 0, 10, 10,
                                parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(2000 + static_cast<int>(command))),
                                instance_, nullptr);
  SetFont(button, font_);
  // As wide as its caption.
  HDC dc = GetDC(button);
  HGDIOBJ old = SelectObject(dc, font_);
  SIZE extent{};
  GetTextExtentPoint32A(dc, caption, lstrlenA(caption), &extent);
  SelectObject(dc, old);
  ReleaseDC(button, dc);
  SetWindowPos(button, nullptr, 0, 0, extent.cx + 20, 25, SWP_NOMOVE | SWP_NOZORDER);
  buttons_[command] = button;
  return button;
}

HWND ConsoleWindowWin32::AddUpDown(ScrollPage& page, HWND buddy, int maximum) {
  RECT box{};
  GetWindowRect(buddy, &box);
  MapWindowPoints(nullptr, page.panel(), reinterpret_cast<POINT*>(&box), 2);
  // Beside the field, not attached to it: the field may hold a text that is no number.
  HWND upDown = CreateWindowExA(0, UPDOWN_CLASSA, "", kChild, box.right + 2, box.top, 16, box.bottom - box.top,
                                page.panel(), nullptr, instance_, nullptr);
  SendMessageA(upDown, UDM_SETRANGE32, 0, maximum);
  upDownMaximum_[upDown] = maximum;
  upDownBuddy_[upDown] = buddy;
  return upDown;
}

void ConsoleWindowWin32::BuildToolbar() {
  for (auto [command, caption] : std::array<std::pair<Command, const char*>, 8>{{
           {kNewConnection, "Neue &Verbindung"},
           {kNewAccount, "Neuer &Account"},
           {kReadSettings, "&Einstellungen einlesen"},
           {kSaveSettings, "Einstellungen &speichern"},
           {kDeleteAccount, "Accou&nt l\xF6schen"},
           {kDeleteConnection, "Verbindung &l\xF6schen"},
           {kCopyAccount, "Account &kopieren"},
           {kQuit, "&Beenden"},
       }}) {
    toolbar_.push_back(AddButton(window_, command, caption));
  }
}

void ConsoleWindowWin32::BuildGlobalPage(ScrollPage& page) {
  rowY_ = kMargin;
  HWND computer = BeginGroup(page, "Rechner");
  computerName_ = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", kChild | WS_TABSTOP | ES_AUTOHSCROLL | WS_DISABLED,
                                  kMargin + 10, rowY_, 200, kFieldHeight, page.panel(), nullptr, instance_, nullptr);
  SetFont(computerName_, font_);
  computerLocal_ = CreateWindowExA(0, "BUTTON", "lokaler &Rechner", kChild | WS_TABSTOP | BS_AUTOCHECKBOX | BS_NOTIFY,
                                   kMargin + 220, rowY_, 120, kFieldHeight, page.panel(), nullptr, instance_,
                                   nullptr);
  SetFont(computerLocal_, font_);
  SendMessageA(computerLocal_, BM_SETCHECK, BST_CHECKED, 0);
  HWND choose = AddButton(page.panel(), kChooseComputer, "Rechner ausw\xE4hlen");
  SetWindowPos(choose, nullptr, kMargin + 345, rowY_ - 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EnableWindow(choose, FALSE);
  rowY_ += kRow + 4;
  EndGroup(computer);

  HWND global = BeginGroup(page, "globale Einstellungen");
  AddBox(page, Control::GlobalListenRAS, "RAS-Verbindung benutzen");
  HWND level = AddLine(page, Control::GlobalDebugLevel, "Protokoll Level :");
  SetWindowPos(level, nullptr, 0, 0, 60, kFieldHeight, SWP_NOMOVE | SWP_NOZORDER);
  AddUpDown(page, level, 9);
  AddLine(page, Control::GlobalProxyHost, "Proxy Host :");
  AddLine(page, Control::GlobalProxyPort, "Proxy Port :");
  AddLine(page, Control::GlobalTriggerPort, "Port f\xFCr UDP Messages :");
  AddLine(page, Control::GlobalTlsCaFile, "CA-Datei :");
  AddLabel(page,
           "Wenn Sie RAS Verbindungen benutzen m\xF6" "chten mu\xDF die Verbindung den selben Namen haben, wie der "
           "RAS-Eintrag. \xD6" "ffnet sich die RAS Verbindung werden die Accounts in der Verbindung abgeholt und "
           "zugestellt. M\xF6" "chten Sie kein RAS benutzen verweden Sie die Verbindung 'NoRAS' um \xFC" "ber "
           "Standleitung Mails zu bekommen.",
           kMargin + 10, rowY_, kLabelWidth + kFieldWidth - 10, 70);
  rowY_ += 74;
  EndGroup(global);
  page.SetContentHeight(rowY_);
}

void ConsoleWindowWin32::BuildConnectionPage(ScrollPage& page) {
  rowY_ = kMargin;
  HWND connection = BeginGroup(page, "Verbindung");
  HWND name = AddLine(page, Control::ConnectionName, "Name :");
  EnableWindow(name, FALSE);
  HWND interval = AddLine(page, Control::ConnectionInterval, "Intervall in dem Nachrichten abgeholt werden (min) :");
  SetWindowPos(interval, nullptr, 0, 0, 120, kFieldHeight, SWP_NOMOVE | SWP_NOZORDER);
  AddUpDown(page, interval, 9999);
  AddBox(page, Control::ConnectionEnableLogging, "&Protokollierung aktivieren");
  HWND rename = AddButton(page.panel(), kRenameConnection, "Umbenennen...");
  SetWindowPos(rename, nullptr, kMargin + 10, rowY_, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  rowY_ += kRow + 4;
  EndGroup(connection);

  HWND account = BeginGroup(page, "Account");
  AddLine(page, Control::AccountPOPHost, "POP Host :");
  AddLine(page, Control::AccountPOPUser, "Benutzer :");
  AddLine(page, Control::AccountPOPPasswort, "Passwort :", ES_PASSWORD);
  AddSecurity(page, Control::AccountPopSecurity, "Verschl\xFCsselung :", false);
  AddLine(page, Control::AccountPopPort, "Port :");
  AddBox(page, Control::AccountPOPDelete, "Nachrichten nach \xDC" "bertragung l\xF6schen");
  AddLine(page, Control::AccountSMTPHost, "SMTP Host :");
  AddSecurity(page, Control::AccountSmtpSecurity, "Verschl\xFCsselung :", true);
  AddLine(page, Control::AccountSmtpPort, "Port :");
  AddLine(page, Control::AccountSmtpUser, "Benutzer :");
  AddLine(page, Control::AccountSmtpPasswort, "Passwort :", ES_PASSWORD);
  AddLine(page, Control::AccountTlsCaFile, "CA-Datei :");
  // OAuth sign-in: 0 password, 1 XOAUTH2, 2 OAUTHBEARER; "mailferry2 -authorize" fetches the token.
  AddLine(page, Control::AccountPopAuth, "POP Anmeldung :");
  AddLine(page, Control::AccountSmtpAuth, "SMTP Anmeldung :");
  AddLine(page, Control::AccountOAuthTokenUrl, "OAuth Token-URL :");
  AddLine(page, Control::AccountOAuthDeviceUrl, "OAuth Ger\xE4te-URL :");
  AddLine(page, Control::AccountOAuthAuthorizeUrl, "OAuth Anmelde-URL :");
  AddLine(page, Control::AccountOAuthClientId, "OAuth Client-ID :");
  AddLine(page, Control::AccountOAuthClientSecret, "OAuth Client-Secret :", ES_PASSWORD);
  AddLine(page, Control::AccountOAuthScope, "OAuth Scope :");
  AddAuthorizeButton(page, kFieldX);
  AddLine(page, Control::AccountSMTPFrom, "From Adresse :");
  AddLine(page, Control::AccountSMTPTo, "To Adresse :");
  AddLine(page, Control::AccountAddressMode, "Adress Modus :");
  AddBox(page, Control::AccountEnableAccount, "Account aktivieren");
  // A box in the label column with its field beside it.
  for (auto [box, line, caption] : std::array<std::tuple<Control, Control, const char*>, 2>{{
           {Control::AccountEnableCommand, Control::AccountCommand, "Befehl ausf\xFChren :"},
           {Control::AccountEnableUDP, Control::AccountUDPPort, "Benachrichtigung \xFC" "ber UDP-Broadcast auf Port :"},
       }}) {
    HWND b = AddBox(page, box, caption);
    SetWindowPos(b, nullptr, 0, 0, kLabelWidth - 4, kFieldHeight, SWP_NOMOVE | SWP_NOZORDER);
    rowY_ -= kRow;
    AddLine(page, line, nullptr);
  }
  AddBox(page, Control::AccountEnableFromUDP, "erw. Benachrichtigung \xFC" "ber UDP (Angabe des Absenders)");
  AddLine(page, Control::AccountMaxMails, "max. Mails pro Thread :");
  AddLine(page, Control::AccountLogFile, "Protokollpfad (lokal auf Server) :");
  HWND fill = AddButton(page.panel(), kTemplate, "Template einf\xFCgen...");
  SetWindowPos(fill, nullptr, kMargin + 10, rowY_, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  rowY_ += kRow + 4;
  EndGroup(account);
  BuildFeedGroup(page);
  page.SetContentHeight(rowY_);
}

void ConsoleWindowWin32::BuildNewsPage(ScrollPage& page) {
  rowY_ = kMargin;
  HWND frame = BeginGroup(page, "Newsticker");
  AddLine(page, Control::GlobalTickerEMail, "Adresse f\xFCr Newsticker :");
  AddLine(page, Control::GlobalBDWDir, "Pfad f\xFCr HTML-Seiten :");
  AddBox(page, Control::AccountEnableWissenschaft, "Newsticker aktivieren");
  AddLine(page, Control::AccountAddressModeTicker, "Adress Modus :");
  EndGroup(frame);
  page.SetContentHeight(rowY_);
}

}  // namespace ferry::console
