// FerryConsole: edits the gateway service's settings, locally or on another
// computer.
#include "console/win32/console_window_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  ferry::console::ValueLibrary values;
  ferry::console::ConsoleWindowWin32 window(values);
  if (!window.Create(instance)) {
    MessageBoxA(nullptr, "Das Fenster der Konsole kann nicht angelegt werden.", "FerryConsole", MB_OK | MB_ICONSTOP);
    return 1;
  }
  window.SetQuitOnClose(true);
  window.Start();
  MSG message{};
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (window.TranslateKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
