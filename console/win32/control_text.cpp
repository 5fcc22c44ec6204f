#include "console/win32/control_text.h"

#include <vector>

#include "console/model/console_view.h"

namespace ferry::console {

std::string ControlText(HWND control) {
  int length = GetWindowTextLengthW(control);
  if (length <= 0) return {};
  std::vector<wchar_t> wide(static_cast<std::size_t>(length) + 1);
  length = GetWindowTextW(control, wide.data(), length + 1);
  std::string text;
  text.reserve(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    char bytes[8] = {};
    BOOL lost = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wide[static_cast<std::size_t>(i)], 1, bytes,
                                sizeof bytes, nullptr, &lost);
    if (n != 1 || lost) {
      text.push_back(kNotLatin1);
    } else {
      text.push_back(bytes[0]);
    }
  }
  return text;
}

void SetControlText(HWND control, const std::string& text) { SetWindowTextA(control, text.c_str()); }

}  // namespace ferry::console
