// The dialog of one news feed (resource IDD_FEED): its name, address and
// recipient as Latin-1 texts.
#include "console/win32/control_text.h"
#include "console/win32/resource_ids.h"
#include "console/win32/win32_dialogs.h"

namespace ferry::console {
namespace {

struct FeedState {
  FeedEntry* feed;
  const std::string* title;
};

INT_PTR CALLBACK FeedProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* state = reinterpret_cast<FeedState*>(lParam);
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      SetWindowTextA(dialog, state->title->c_str());
      SetControlText(GetDlgItem(dialog, IDC_FEED_NAME), state->feed->name);
      SetControlText(GetDlgItem(dialog, IDC_FEED_URL), state->feed->url);
      SetControlText(GetDlgItem(dialog, IDC_FEED_TO), state->feed->to);
      SetFocus(GetDlgItem(dialog, IDC_FEED_NAME));
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* state = reinterpret_cast<FeedState*>(GetWindowLongPtrA(dialog, DWLP_USER));
        *state->feed = FeedEntry{ControlText(GetDlgItem(dialog, IDC_FEED_NAME)),
                                 ControlText(GetDlgItem(dialog, IDC_FEED_URL)),
                                 ControlText(GetDlgItem(dialog, IDC_FEED_TO))};
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

}  // namespace

bool Win32Dialogs::FeedBox(FeedEntry& feed, const std::string& title) {
  FeedEntry typed = feed;
  FeedState state{&typed, &title};
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FEED), owner_, FeedProc,
                                   reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return false;
  feed = typed;
  return true;
}

}  // namespace ferry::console
