// Windowed controls over Win32: one window procedure for every window the
// framework owns or takes over, the object found through a window property
// set at WM_NCCREATE (or when an existing window is subclassed). A control
// handles a message by overriding WndProc and passing the rest to its base;
// what nobody handles goes to the window's own procedure (a subclassed
// window's original one, or DefWindowProc).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/base/Resources.h"

namespace leafbook {

// The one window procedure of every framework window.
LRESULT CALLBACK FrameworkWndProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

class TForm;

struct TMessage {
  UINT Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

enum class TAlign { None, Client };

enum class TMouseButton { Left, Right, Middle };

// Added to the key flags of a mouse event raised by a double click.
constexpr WPARAM kMouseDoubleClick = 0x10000;

// The framework's own messages between controls. Notifications a parent
// reflects back to the control they concern arrive at kCnBase + the message
// (a reflected WM_KEYDOWN is kCnBase + WM_KEYDOWN).
constexpr UINT kCmBase = 0xB000;
constexpr UINT kCmDialogKey = kCmBase + 0x0100;  // wParam: virtual key, lParam: key data
constexpr UINT kCmUIActivate = kCmBase + 0x0101;
constexpr UINT kCmUIDeactivate = kCmBase + 0x0102;
constexpr UINT kCmParentFontChanged = kCmBase + 0x0103;
constexpr UINT kCmParentColorChanged = kCmBase + 0x0104;
constexpr UINT kCnBase = 0xBC00;

// A colour: an RGB value, or a system colour given as 0x80000000 | COLOR_xxx.
using TColor = uint32_t;
constexpr TColor clBtnFace = 0x80000000u | COLOR_BTNFACE;
constexpr TColor clWindow = 0x80000000u | COLOR_WINDOW;
COLORREF ColorToRGB(TColor color);

struct TFont {
  std::wstring Name = L"MS Sans Serif";
  int Height = -11;
  BYTE Charset = DEFAULT_CHARSET;
  COLORREF Color = 0;
  bool operator==(const TFont&) const = default;
};

class TPopupMenu {
 public:
  TPopupMenu();
  ~TPopupMenu();
  TPopupMenu(const TPopupMenu&) = delete;
  TPopupMenu& operator=(const TPopupMenu&) = delete;
  HMENU Handle() const { return menu_.Get(); }
  // Items run their action when chosen.
  void AddItem(const std::wstring& caption, std::function<void()> action);
  void Popup(HWND owner, int x, int y);

 private:
  TOwnedMenu menu_;
  std::vector<std::function<void()>> actions_;
};

struct TCreateParams {
  std::wstring ClassName;
  std::wstring Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  UINT ClassStyle = CS_DBLCLKS;
  HCURSOR Cursor = nullptr;
};

class TWinControl {
 public:
  using TNotifyEvent = std::function<void(TWinControl* sender)>;
  using TMouseEvent =
      std::function<void(TWinControl* sender, TMouseButton button, WPARAM keys, int x, int y)>;
  using TMouseMoveEvent = std::function<void(TWinControl* sender, WPARAM keys, int x, int y)>;

  explicit TWinControl(TWinControl* owner);
  virtual ~TWinControl();
  TWinControl(const TWinControl&) = delete;
  TWinControl& operator=(const TWinControl&) = delete;

  // The window, created on first need.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  // Takes over a window created elsewhere: its messages pass through this
  // control first, then to the window's own procedure.
  void Subclass(HWND window);
  // Gives a subclassed window its own procedure back.
  void Unsubclass();
  bool Subclassed() const { return originalProc_ != nullptr; }

  // Runs a message through this control's handlers directly.
  LRESULT Perform(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // The control whose window this is, or null.
  static TWinControl* FromHandle(HWND window);
  // The control of window or of its nearest ancestor that has one: the
  // control a message to a window inside a taken-over one belongs to.
  static TWinControl* Owning(HWND window);

  TWinControl* Owner() const { return owner_; }
  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);
  const std::vector<TWinControl*>& Controls() const { return controls_; }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);

  int Left() { return Bounds().left; }
  int Top() { return Bounds().top; }
  int Width() { return Bounds().right - Bounds().left; }
  int Height() { return Bounds().bottom - Bounds().top; }
  void SetLeft(int value);
  void SetTop(int value);
  void SetWidth(int value);
  void SetHeight(int value);
  virtual void SetBounds(int left, int top, int width, int height);
  // Left/top relative to the parent's client area (the screen for a
  // top-level window), width and height of the whole window.
  virtual RECT Bounds();

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value);
  const TFont& Font() const { return font_; }
  void SetFont(const TFont& font);
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);

  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value) { tabStop_ = value; }
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }
  // The program never designs; tests put a control in that state.
  bool Designing() const { return designing_; }
  void SetDesigning(bool value) { designing_ = value; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  // The form this control sits on, or null.
  TForm* ParentForm() const;

  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnClick;

  // Fits client-aligned children to the client area.
  void Realign();
  // The form's palette changed (foreground: it may realise its own); true
  // when this control realised a palette.
  virtual bool PaletteChanged(bool /*foreground*/) { return false; }

 protected:
  virtual void CreateParams(TCreateParams& params);
  virtual void CreateWnd();
  // Destroys a window the control made; a window taken over is left alone
  // (Unsubclass gives it back).
  virtual void DestroyWnd();
  void DestroyHandle() { DestroyWnd(); }
  // The message handlers; override, handle, and call the base for the rest.
  virtual void WndProc(TMessage& message);
  // What no handler took: the window's own procedure.
  virtual void DefaultHandler(TMessage& message);
  // The procedure of a subclassed window, as it was before.
  WNDPROC OriginalProc() const { return originalProc_; }
  // Called after Color or Font changed, also through ParentColor / ParentFont.
  virtual void ColorChanged() {}
  virtual void FontChanged() {}
  virtual RECT ClientRectForAlign();
  // How ShowWindow shows the window when it becomes visible.
  virtual int ShowCommand() { return SW_SHOW; }

 private:
  friend LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
  void Attach(HWND window);
  void Detach();
  void ApplyColor(TColor color);
  void ApplyFont(const TFont& font);
  void ApplyBounds();

  TWinControl* owner_;
  TWinControl* parent_ = nullptr;
  std::vector<TWinControl*> controls_;
  HWND handle_ = nullptr;
  WNDPROC originalProc_ = nullptr;
  bool creating_ = false;
  TAlign align_ = TAlign::None;
  bool visible_ = true;
  RECT bounds_{0, 0, 0, 0};
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  TFont font_;
  bool parentFont_ = false;
  bool tabStop_ = false;
  TPopupMenu* popupMenu_ = nullptr;
  bool designing_ = false;
  std::string name_;
};

// A hidden message-only window that hands every message to a function first;
// what the function does not take goes to DefWindowProc.
class TUtilityWindow : public TWinControl {
 public:
  using THandler = std::function<bool(TMessage& message)>;
  explicit TUtilityWindow(THandler handler);

 protected:
  void CreateParams(TCreateParams& params) override;
  void WndProc(TMessage& message) override;

 private:
  THandler handler_;
};

}  // namespace leafbook
