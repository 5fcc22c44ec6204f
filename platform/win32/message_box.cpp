#include "platform/message_box.h"

#include <windows.h>

namespace ferry {

void ShowWarning(const std::string& text, const std::string& title) {
  MessageBoxA(nullptr, text.c_str(), title.c_str(), MB_OK);
}

}  // namespace ferry
