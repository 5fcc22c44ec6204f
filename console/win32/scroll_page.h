// A page that scrolls vertically: a view window (the visible part) with an
// inner panel holding the controls at fixed places. Focus moved to a control
// below or above the view scrolls it into view. The panel hands the controls'
// notifications to the top-level window.
#pragma once

#include "console/win32/windows_api.h"

namespace ferry::console {

class ScrollPage {
 public:
  // Creates the view and its panel as children of `parent`.
  ScrollPage(HINSTANCE instance, HWND parent);
  ScrollPage(const ScrollPage&) = delete;
  ScrollPage& operator=(const ScrollPage&) = delete;

  HWND view() const { return view_; }
  HWND panel() const { return panel_; }
  // The height the controls need; the panel is this high.
  void SetContentHeight(int height);
  int ContentHeight() const { return contentHeight_; }
  int Position() const { return position_; }
  void Place(int x, int y, int width, int height);
  void ScrollTo(int position);
  // Scrolls so that the control (a child of the panel) is seen whole.
  void Reveal(HWND control);

  static bool RegisterClasses(HINSTANCE instance);
  static LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Update();
  int ViewHeight() const;

  HWND view_ = nullptr;
  HWND panel_ = nullptr;
  int contentHeight_ = 0;
  int position_ = 0;
};

}  // namespace ferry::console
