// The console's input and message boxes as modal Win32 dialogs with German
// buttons. Texts arrive and leave as Latin-1 bytes.
#pragma once

#include "console/win32/windows_api.h"

#include "console/model/console_view.h"

namespace ferry::console {

class Win32Dialogs : public Dialogs {
 public:
  explicit Win32Dialogs(HWND owner = nullptr) : owner_(owner) {}
  void SetOwner(HWND owner) { owner_ = owner; }

  std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& defaultAnswer) override;
  Answer MessageBox(const std::string& text, const std::string& title, BoxStyle style) override;
  // feed_dialog_win32.cpp
  bool FeedBox(FeedEntry& feed, const std::string& title) override;

 private:
  HWND owner_;
};

}  // namespace ferry::console
