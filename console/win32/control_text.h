// Texts of Win32 controls as the console's Latin-1 bytes (the system's ANSI
// code page, as the store keeps them).
#pragma once

#include "console/win32/windows_api.h"

#include <string>

namespace ferry::console {

// The control's text; a character the ANSI code page cannot hold becomes
// kNotLatin1, so that the console refuses it instead of storing another one.
std::string ControlText(HWND control);
void SetControlText(HWND control, const std::string& text);

}  // namespace ferry::console
