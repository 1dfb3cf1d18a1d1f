// The application object: owns the forms, runs the message loop (which also
// drains the main-thread call queue), keeps the title on a hidden application
// window, and gives timers.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/gui/Forms.h"

namespace leafbook {

class TApplication {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  static TApplication* Instance() { return instance_; }

  std::string Title();
  void SetTitle(const std::string& title);
  // The hidden application window that carries the title.
  HWND Handle();
  // That window's icons, which the task bar may show for the program; kept
  // while the application lives.
  void SetIcons(TWindowIcons icons);

  // Constructs a form and runs its OnCreate; the first form is the main form.
  template <class T, class... Args>
  T& CreateForm(Args&&... args) {
    auto form = std::make_unique<T>(std::forward<Args>(args)...);
    T& result = *form;
    if (forms_.empty()) {
      form->SetMainForm(true);
    }
    forms_.push_back(std::move(form));
    result.DoCreate();
    return result;
  }
  TForm* MainForm() const { return forms_.empty() ? nullptr : forms_.front().get(); }

  // Shows the main form and dispatches messages until it closes or Terminate.
  // Each key message is first offered to OnMessage, then to the control that
  // holds the focus as its reflected form (kCnBase + message) and, for a key
  // down nobody took, to that control's form as a dialog key; only then is
  // it translated and dispatched.
  void Run();
  // Dispatches what is waiting, without blocking.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Sees every message the loop takes before anything else does; setting
  // handled ends its way there.
  std::function<void(MSG& msg, bool& handled)> OnMessage;

 private:
  bool HandleMessage(MSG& msg);
  // True when the focus control or its form took the key message.
  static bool KeyMessageTaken(const MSG& msg);

  static TApplication* instance_;
  std::unique_ptr<TWinControl> window_;
  TWindowIcons icons_;
  std::vector<std::unique_ptr<TForm>> forms_;
  bool terminated_ = false;
};

// Calls OnTimer on the main thread every Interval milliseconds while enabled.
class TTimer {
 public:
  TTimer(UINT interval, std::function<void()> onTimer);
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  UINT Interval() const { return interval_; }

 private:
  UINT interval_;
  std::function<void()> onTimer_;
  TUtilityWindow window_;
  bool enabled_ = false;
};

}  // namespace leafbook
