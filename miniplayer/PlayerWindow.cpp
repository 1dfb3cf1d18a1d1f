// Window classes, window procedures, the context menu and the about window.
// Each window keeps its TPlayerWindow in GWLP_USERDATA; a window whose player
// is gone has 0 there and gets only the default handling.
#include "miniplayer/PlayerWindow.h"

#include <windowsx.h>

#include <string>

#include "framework/base/ComBoundary.h"
#include "miniplayer/LoadQueue.h"
#include "miniplayer/Module.h"
#include "miniplayer/Resource.h"
#include "miniplayer/Stage.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {

constexpr wchar_t kWindowClass[] = L"MiniPlayerWindow";
constexpr char kWorkerClass[] = "MiniPlayerWorker";
constexpr wchar_t kAboutClass[] = L"MiniPlayerAbout";
bool classesRegistered = false;

// The window's player, stored from the creation parameters on WM_NCCREATE.
TPlayerWindow* PlayerOf(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<TPlayerWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Cuts the window from its player before destroying it: the messages of its
// destruction must not reach a player that is going.
void DestroyDetached(TOwnedWindow& window) {
  if (window) {
    SetWindowLongPtrW(window.Get(), GWLP_USERDATA, 0);
    window.Reset();
  }
}

}  // namespace

bool TPlayerWindow::RegisterClasses() {
  if (classesRegistered) {
    return true;
  }
  WNDCLASSEXW window{};
  window.cbSize = sizeof window;
  window.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  window.lpfnWndProc = &TPlayerWindow::WindowProc;
  window.hInstance = ModuleInstance();
  window.hCursor = LoadCursorA(ModuleInstance(), MAKEINTRESOURCEA(MINIPLAYER_CURSOR_PAGE));
  if (window.hCursor == nullptr) {
    Trace(L"page cursor missing; the arrow stands in");
    window.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  }
  window.lpszClassName = kWindowClass;
  if (RegisterClassExW(&window) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  WNDCLASSW about{};
  about.lpfnWndProc = &TPlayerWindow::AboutProc;
  about.hInstance = ModuleInstance();
  about.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  about.hCursor = window.hCursor;
  about.lpszClassName = kAboutClass;
  if (RegisterClassW(&about) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  WNDCLASSA worker{};
  worker.lpfnWndProc = &TPlayerWindow::WorkerProc;
  worker.hInstance = ModuleInstance();
  worker.lpszClassName = kWorkerClass;
  if (RegisterClassA(&worker) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  classesRegistered = true;
  return true;
}

void TPlayerWindow::UnregisterClasses() {
  if (classesRegistered) {
    UnregisterClassW(kWindowClass, ModuleInstance());
    UnregisterClassA(kWorkerClass, ModuleInstance());
    UnregisterClassW(kAboutClass, ModuleInstance());
    classesRegistered = false;
  }
}

HWND TPlayerWindow::CreateWorker() {
  RegisterClasses();
  worker_.Reset(CreateWindowExA(0, kWorkerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                ModuleInstance(), this));
  if (!worker_) {
    Trace(L"worker window not created, error " + std::to_wstring(GetLastError()));
  }
  return worker_.Get();
}

bool TPlayerWindow::Create(HWND parent, const RECT& position) {
  HWND created =
      CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP, position.left,
                      position.top, position.right - position.left, position.bottom - position.top,
                      parent, nullptr, ModuleInstance(), this);
  if (created == nullptr) {
    Trace(L"window not created, error " + std::to_wstring(GetLastError()));
    return false;
  }
  // The window procedure has usually taken the handle already, during creation.
  if (window_.Get() != created) {
    window_.Reset(created);
  }
  return true;
}

void TPlayerWindow::Destroy() {
  DestroyDetached(window_);
}

void TPlayerWindow::DestroyAll() {
  DestroyDetached(about_);
  DestroyDetached(window_);
  DestroyDetached(worker_);
}

void TPlayerWindow::Invalidate() {
  if (window_) {
    InvalidateRect(window_.Get(), nullptr, FALSE);
  }
}

LRESULT CALLBACK TPlayerWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  return Boundary("miniplayer WindowProc", LRESULT{0}, [&]() -> LRESULT {
    TPlayerWindow* self = PlayerOf(window, message, lParam);
    if (self == nullptr) {
      return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (self->window_.Get() == window) {
        self->window_.Release();  // the system destroyed it, with its parent
      }
      return DefWindowProcW(window, message, wParam, lParam);
    }
    if (!self->window_) {
      self->window_.Reset(window);  // messages sent while CreateWindowEx still runs
    }
    return self->OnMessage(message, wParam, lParam);
  });
}

LRESULT CALLBACK TPlayerWindow::WorkerProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  return Boundary("miniplayer WorkerProc", LRESULT{0}, [&]() -> LRESULT {
    if (TPlayerWindow* self = PlayerOf(window, message, lParam); self != nullptr) {
      if (message == kRunPostedMessage) {
        self->host_.RunPosted();
        return 0;
      }
      if (message == WM_TIMER && wParam == kFrameTimer) {
        self->host_.Tick();
        return 0;
      }
    }
    return DefWindowProcA(window, message, wParam, lParam);
  });
}

LRESULT CALLBACK TPlayerWindow::AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return Boundary("miniplayer AboutProc", LRESULT{0}, [&]() -> LRESULT {
    TPlayerWindow* self = PlayerOf(window, message, lParam);
    switch (message) {
      case WM_PAINT: {
        TPaintDC dc(window);
        RECT box;
        GetClientRect(window, &box);
        const TModuleVersion v = ModuleVersion();
        const std::wstring text = L"Leafbook miniplayer\nversion " + std::to_wstring(v.major) +
                                  L"." + std::to_wstring(v.minor) + L"." +
                                  std::to_wstring(v.build) + L"." + std::to_wstring(v.revision);
        SelectObject(dc.Get(), GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc.Get(), TRANSPARENT);
        InflateRect(&box, -8, -8);
        DrawTextW(dc.Get(), text.c_str(), -1, &box, DT_LEFT | DT_TOP);
        return 0;
      }
      case WM_LBUTTONDOWN:
      case WM_KEYDOWN:
        DestroyWindow(window);  // a click or a key closes it
        return 0;
      case WM_NCDESTROY:
        if (self != nullptr && self->about_.Get() == window) {
          self->about_.Release();
        }
        break;
      default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  });
}

LRESULT TPlayerWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      TPaintDC dc(window_.Get());
      host_.PaintWindow(dc.Get());
      return 0;
    }
    case WM_PRINTCLIENT:
      host_.PaintWindow(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYUP:
      Trace(L"key up " + std::to_wstring(wParam));
      return 0;
    case WM_KEYDOWN:
      Trace(L"key " + std::to_wstring(wParam));
      if (wParam == VK_RIGHT || wParam == VK_NEXT) {
        host_.TurnPage(true);
      } else if (wParam == VK_LEFT || wParam == VK_PRIOR) {
        host_.TurnPage(false);
      }
      return 0;
    case WM_LBUTTONDOWN:
      Trace(L"mouse left click");
      host_.Clicked();
      SetFocus(window_.Get());
      host_.TurnPage(true);
      return 0;
    case WM_CONTEXTMENU:
      ShowContextMenu(lParam);
      return 0;
    case WM_COMMAND:
      Command(LOWORD(wParam));
      return 0;
    default:
      return DefWindowProcW(window_.Get(), message, wParam, lParam);
  }
}

void TPlayerWindow::ShowContextMenu(LPARAM lParam) {
  TOwnedMenu menu(LoadMenuA(ModuleInstance(), MAKEINTRESOURCEA(MINIPLAYER_MENU_CONTEXT)));
  if (!menu) {
    Trace(L"context menu missing");
    return;
  }
  // With the Menu property off only the short menu is offered.
  HMENU popup = GetSubMenu(menu.Get(), host_.FullMenu() ? 0 : 1);
  POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  if (lParam == -1) {
    RECT client;
    GetClientRect(window_.Get(), &client);
    at = {client.right / 2, client.bottom / 2};
    ClientToScreen(window_.Get(), &at);
  }
  Trace(L"context menu shown");
  const int command = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x,
                                     at.y, 0, window_.Get(), nullptr);
  Command(command);
}

void TPlayerWindow::Command(int command) {
  if (command == MINIPLAYER_CMD_ABOUT) {
    ShowAbout();
  }
  host_.RunCommand(command);
}

void TPlayerWindow::ShowAbout() {
  if (!about_) {
    POINT at{20, 20};
    if (window_) {
      ClientToScreen(window_.Get(), &at);
    }
    about_.Reset(CreateWindowExW(WS_EX_TOOLWINDOW, kAboutClass, L"About miniplayer",
                                 WS_POPUP | WS_CAPTION | WS_SYSMENU, at.x, at.y, 240, 96,
                                 window_.Get(), nullptr, ModuleInstance(), this));
  }
  if (about_) {
    ShowWindow(about_.Get(), SW_SHOWNORMAL);
    Trace(L"about shown");
  }
}

}  // namespace leafbook::miniplayer
