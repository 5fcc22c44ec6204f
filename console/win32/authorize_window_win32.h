// The window of "Autorisieren..." on Windows: runs the gateway program's
// authorisation, shows what it prints as it comes (the address to open and
// the code to enter), lets the person end it with "Abbrechen", and shows how
// it ended. Modal over the console's window.
#pragma once

#include <string>
#include <vector>

#include "console/win32/windows_api.h"
#include "platform/child_process.h"

namespace ferry::console {

class AuthorizeWindow {
 public:
  // The window's class name, as the tests find it on the screen.
  static constexpr const char* kClass = "FerryAuthorize";
  // The numbers of its controls.
  static constexpr int kOutputId = 101;
  static constexpr int kOutcomeId = 102;
  static constexpr int kButtonId = IDCANCEL;

  AuthorizeWindow(HINSTANCE instance, HWND owner, HFONT font);
  AuthorizeWindow(const AuthorizeWindow&) = delete;
  AuthorizeWindow& operator=(const AuthorizeWindow&) = delete;

  // Runs `argv` (Latin-1 words, argv[0] the program) and shows the window
  // until the person closes it; the owner is disabled meanwhile.
  void Run(const std::vector<std::string>& argv);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Build();
  void Take();
  void Finished();
  void ShowOutcome(const std::string& text);
  void Press();

  HINSTANCE instance_;
  HWND owner_;
  HFONT font_;
  HFONT fixedFont_ = nullptr;
  HWND window_ = nullptr;
  HWND output_ = nullptr;
  HWND outcome_ = nullptr;
  HWND button_ = nullptr;
  WatchedChild child_;
  std::string program_;
  std::string shown_;  // the output as shown, lines ending in "\r\n"
  bool running_ = false;
  bool cancelled_ = false;
  bool done_ = false;  // the window is closed
};

}  // namespace ferry::console
