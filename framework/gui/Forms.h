// Top-level forms: bounds, caption, window state, border, key events and the
// OnCreate hook, plus the record of the active OLE control and a main menu.
#pragma once

#include <string>

#include "framework/gui/Controls.h"
#include "framework/gui/WindowIcons.h"

namespace leafbook {

enum class TWindowState { Normal, Minimized, Maximized };

class TForm : public TWinControl {
 public:
  using TKeyEvent = std::function<void(TWinControl* sender, WORD& key, UINT shift)>;
  using TKeyPressEvent = std::function<void(TWinControl* sender, char& key)>;

  // className names the window class, so that a form can be found from outside.
  explicit TForm(TWinControl* owner = nullptr, std::wstring className = L"TForm");

  // 8-bit text in the system's ANSI code page.
  std::string Caption();
  void SetCaption(const std::string& caption);

  TWindowState WindowState();
  void SetWindowState(TWindowState state);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int width);
  // Key events reach the form only for its own window: no key preview.
  bool KeyPreview() const { return false; }

  // While the window is maximised or minimised its bounds are the ones it
  // returns to; otherwise the window's rectangle.
  RECT Bounds() override;
  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  void Show() { SetVisible(true); }
  void Close();

  TWinControl* ActiveOleControl() const { return activeOleControl_; }
  void SetActiveOleControl(TWinControl* control) { activeOleControl_ = control; }
  HMENU Menu() const { return menu_; }
  void SetMenu(HMENU menu);
  // The window's big and small icons, kept while the form lives; given to the
  // window now if it exists (call it again for a window made later).
  void SetIcons(TWindowIcons icons);

  // Runs OnCreate; the application calls it once the form is constructed.
  void DoCreate();
  // The main form ends the message loop when its window goes.
  void SetMainForm(bool value) { mainForm_ = value; }

  TNotifyEvent OnCreate;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& message) override;
  RECT ClientRectForAlign() override;
  int ShowCommand() override;

 private:
  bool KeyMessage(TMessage& message);

  std::wstring className_;
  std::string caption_;
  TWindowState windowState_ = TWindowState::Normal;
  int borderWidth_ = 0;
  TWinControl* activeOleControl_ = nullptr;
  HMENU menu_ = nullptr;
  bool mainForm_ = false;
  TWindowIcons icons_;
};

// The primary screen's size in pixels.
int ScreenWidth();
int ScreenHeight();
// The screen's logical pixels per inch (what HIMETRIC sizes convert with).
int ScreenPixelsPerInch();

// Modifier keys held now, as the key events report them.
constexpr UINT kShiftKey = 1;
constexpr UINT kAltKey = 2;
constexpr UINT kControlKey = 4;
UINT KeyboardShiftState();

}  // namespace leafbook
