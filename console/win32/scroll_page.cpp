#include "console/win32/scroll_page.h"

#include <algorithm>

namespace ferry::console {
namespace {

constexpr const char* kViewClass = "FerryPageView";
constexpr const char* kPanelClass = "FerryPagePanel";
constexpr int kLine = 24;  // one row of controls

}  // namespace

bool ScrollPage::RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXA view{};
  view.cbSize = sizeof view;
  view.lpfnWndProc = ViewProc;
  view.hInstance = instance;
  view.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  view.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  view.lpszClassName = kViewClass;
  WNDCLASSEXA panel = view;
  panel.lpfnWndProc = PanelProc;
  panel.lpszClassName = kPanelClass;
  return RegisterClassExA(&view) != 0 && RegisterClassExA(&panel) != 0;
}

ScrollPage::ScrollPage(HINSTANCE instance, HWND parent) {
  view_ = CreateWindowExA(WS_EX_CONTROLPARENT, kViewClass, "", WS_CHILD | WS_VSCROLL | WS_CLIPCHILDREN, 0, 0, 10,
                          10, parent, nullptr, instance, this);
  panel_ = CreateWindowExA(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, view_,
                           nullptr, instance, nullptr);
}

int ScrollPage::ViewHeight() const {
  RECT client{};
  GetClientRect(view_, &client);
  return client.bottom - client.top;
}

void ScrollPage::SetContentHeight(int height) {
  contentHeight_ = height;
  Update();
}

void ScrollPage::Place(int x, int y, int width, int height) {
  MoveWindow(view_, x, y, width, height, TRUE);
  Update();
}

void ScrollPage::Update() {
  RECT client{};
  GetClientRect(view_, &client);
  int viewHeight = client.bottom - client.top;
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 0;
  info.nMax = std::max(contentHeight_ - 1, 0);
  info.nPage = static_cast<UINT>(std::max(viewHeight, 0));
  position_ = std::clamp(position_, 0, std::max(contentHeight_ - viewHeight, 0));
  info.nPos = position_;
  SetScrollInfo(view_, SB_VERT, &info, TRUE);
  GetClientRect(view_, &client);  // the scroll bar may have come or gone
  MoveWindow(panel_, 0, -position_, client.right - client.left, std::max(contentHeight_, viewHeight), TRUE);
}

void ScrollPage::ScrollTo(int position) {
  position_ = position;
  Update();
}

void ScrollPage::Reveal(HWND control) {
  RECT box{};
  GetWindowRect(control, &box);
  MapWindowPoints(nullptr, panel_, reinterpret_cast<POINT*>(&box), 2);
  int view = ViewHeight();
  if (box.top < position_) {
    ScrollTo(box.top - 8);
  } else if (box.bottom > position_ + view) {
    ScrollTo(box.bottom - view + 8);
  }
}

LRESULT CALLBACK ScrollPage::ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* page = reinterpret_cast<ScrollPage*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (page != nullptr) {
    switch (message) {
      case WM_SIZE:
        if (page->panel_ != nullptr) page->Update();
        return 0;
      case WM_VSCROLL: {
        int view = page->ViewHeight();
        int position = page->position_;
        switch (LOWORD(wParam)) {
          case SB_LINEUP: position -= kLine; break;
          case SB_LINEDOWN: position += kLine; break;
          case SB_PAGEUP: position -= view; break;
          case SB_PAGEDOWN: position += view; break;
          case SB_TOP: position = 0; break;
          case SB_BOTTOM: position = page->contentHeight_; break;
          case SB_THUMBTRACK:
          case SB_THUMBPOSITION: {
            SCROLLINFO info{};
            info.cbSize = sizeof info;
            info.fMask = SIF_TRACKPOS;
            GetScrollInfo(window, SB_VERT, &info);
            position = info.nTrackPos;
            break;
          }
          default: break;
        }
        page->ScrollTo(position);
        return 0;
      }
      case WM_MOUSEWHEEL:
        page->ScrollTo(page->position_ - GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA * 3 * kLine);
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK ScrollPage::PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_VSCROLL:  // from up-down controls
      return SendMessageA(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    case WM_MOUSEWHEEL:
      return SendMessageA(GetParent(window), message, wParam, lParam);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace ferry::console
