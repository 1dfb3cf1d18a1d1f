// The player's windows: the control's own child window (painting, keys, mouse
// and the context menu), a message-only worker window that receives the posted
// work and the frame timer, and the small about window. The window classes are
// registered once per mapping of the module.
#pragma once

#include <windows.h>

#include "framework/base/Resources.h"

namespace leafbook::miniplayer {

// What the windows ask of the player.
class IPlayerWindowHost {
 public:
  virtual void PaintWindow(HDC dc) = 0;
  virtual void TurnPage(bool forward) = 0;
  // A command of the context menu or of a WM_COMMAND (the about box is the
  // window's own business, done before this is called).
  virtual void RunCommand(int command) = 0;
  // The long menu, or (with the Menu property off) the short one.
  virtual bool FullMenu() = 0;
  virtual void RunPosted() = 0;
  virtual void Tick() = 0;
  // A left click on the control's window, before it takes the focus: an OLE
  // control UI-activates itself on it.
  virtual void Clicked() = 0;

 protected:
  ~IPlayerWindowHost() = default;
};

class TPlayerWindow {
 public:
  explicit TPlayerWindow(IPlayerWindowHost& host) : host_(host) {}
  // The windows must be gone (DestroyAll) before their host is.
  ~TPlayerWindow() { DestroyAll(); }
  TPlayerWindow(const TPlayerWindow&) = delete;
  TPlayerWindow& operator=(const TPlayerWindow&) = delete;

  // Once per mapping of the module; unregistered when the module is unloaded,
  // since the window procedures go with its image.
  static bool RegisterClasses();
  static void UnregisterClasses();

  // The worker window; null (with a trace line) when it cannot be made.
  HWND CreateWorker();
  // The control's window inside parent; false (with a trace line) when it cannot be made.
  bool Create(HWND parent, const RECT& position);
  void Destroy();
  // About window, control window, worker: each told first that its player is gone.
  void DestroyAll();

  HWND Handle() const { return window_.Get(); }
  void Invalidate();
  void ShowAbout();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK WorkerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void ShowContextMenu(LPARAM lParam);
  void Command(int command);

  IPlayerWindowHost& host_;
  TOwnedWindow window_;
  TOwnedWindow worker_;
  TOwnedWindow about_;
};

}  // namespace leafbook::miniplayer
