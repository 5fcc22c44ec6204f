// The Win32 headers as the window's code uses them: ANSI calls named with
// their "A" suffix, and no macro that renames the console's own MessageBox.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#undef MessageBox
