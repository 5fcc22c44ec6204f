#include "console/win32/win32_dialogs.h"

#include "console/win32/control_text.h"
#include "console/win32/resource_ids.h"

namespace ferry::console {
namespace {

struct InputState {
  const std::string* prompt;
  const std::string* title;
  const std::string* defaultAnswer;
  std::string answer;
};

INT_PTR CALLBACK InputProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<InputState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, state->title->c_str());
      SetDlgItemTextA(dialog, IDC_INPUT_PROMPT, state->prompt->c_str());
      HWND answer = GetDlgItem(dialog, IDC_INPUT_ANSWER);
      SetControlText(answer, *state->defaultAnswer);
      SendMessageA(answer, EM_SETSEL, 0, -1);
      SetFocus(answer);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrA(dialog, DWLP_USER));
        state->answer = ControlText(GetDlgItem(dialog, IDC_INPUT_ANSWER));
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

// The message box's buttons read German whatever the system's language.
thread_local HHOOK tButtonHook = nullptr;

LRESULT CALLBACK GermanButtons(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    SetDlgItemTextA(box, IDYES, "&Ja");
    SetDlgItemTextA(box, IDNO, "&Nein");
    SetDlgItemTextA(box, IDOK, "OK");
  }
  return CallNextHookEx(tButtonHook, code, wParam, lParam);
}

}  // namespace

std::optional<std::string> Win32Dialogs::InputBox(const std::string& prompt, const std::string& title,
                                                  const std::string& defaultAnswer) {
  InputState state{&prompt, &title, &defaultAnswer, {}};
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INPUT), owner_, InputProc,
                                   reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return std::nullopt;
  return state.answer;
}

Answer Win32Dialogs::MessageBox(const std::string& text, const std::string& title, BoxStyle style) {
  UINT flags = MB_OK;
  switch (style) {
    case BoxStyle::Information: flags = MB_OK | MB_ICONINFORMATION; break;
    case BoxStyle::Question: flags = MB_YESNO | MB_ICONQUESTION; break;
    case BoxStyle::Warning: flags = MB_OK | MB_ICONWARNING; break;
    case BoxStyle::Stop: flags = MB_OK | MB_ICONSTOP; break;
    case BoxStyle::Plain: flags = MB_OK; break;
  }
  tButtonHook = SetWindowsHookExA(WH_CBT, GermanButtons, nullptr, GetCurrentThreadId());
  int pressed = MessageBoxA(owner_, text.c_str(), title.c_str(), flags);
  if (tButtonHook != nullptr) UnhookWindowsHookEx(tButtonHook);
  tButtonHook = nullptr;
  if (style != BoxStyle::Question) return Answer::Ok;
  return pressed == IDYES ? Answer::Yes : Answer::No;
}

}  // namespace ferry::console
