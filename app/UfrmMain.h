// TfrmMain: the viewer's one main window. It reads the command line and the
// window configuration at creation, then plays the book: the host control
// fills the window, plays "book.swf" from the package and gets every file the
// movie asks for from the package through the handlers here. It switches in
// and out of full screen on the movie's "fullscreen" command and on Escape.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/Notices.h"
#include "flashhost/FlashPlayerControl.h"
#include "framework/gui/Forms.h"

namespace leafbook {

class TfrmMain : public TForm {
 public:
  // packageFile names the file that carries the book; empty (the viewer's
  // case) is the running executable.
  explicit TfrmMain(std::string packageFile = "");
  ~TfrmMain() override;

  // The host control; created by the playback start, owned by the form.
  TFlashPlayerControl* FlashPlayerControl1 = nullptr;
  bool IsFullScreen = false;
  int SavedWidth = 0;
  int SavedHeight = 0;
  TWindowState SavedWindowState = TWindowState::Normal;
  int SavedLeft = 0;
  int SavedTop = 0;

  void FormCreate(TWinControl* sender);
  void FormKeyPress(TWinControl* sender, char& key);
  void FormKeyDown(TWinControl* sender, WORD& key, UINT shift);
  void FormKeyUp(TWinControl* sender, WORD& key, UINT shift);
  void FlashPlayerControl1LoadExternalResource(TFlashPlayerControl* sender, const std::wstring& url,
                                               TStream* stream);
  void FlashPlayerControl1LoadExternalResourceEx(TFlashPlayerControl* sender,
                                                 const std::wstring& url, TStream* stream,
                                                 bool& handled);
  void FlashPlayerControl1LoadExternalResourceAsync(TFlashPlayerControl* sender,
                                                    const std::wstring& path, TStream*& stream);
  // The process-wide handler, for URLs outside the movie's in-memory folders.
  void GlobalLoadExternalResource(const std::wstring& url, std::unique_ptr<TStream>& stream,
                                  bool& handled);
  void FlashPlayerControl1FSCommand(TWinControl* sender, const std::wstring& command,
                                    const std::wstring& args);

  void ParseCommandLine();
  // The switches of an argument list (program path excluded).
  static void ParseArguments(const std::vector<std::string>& args);
  void LoadWindowConfig();
  void EnterFullScreen();
  void LeaveFullScreen();
  void SetVisible(bool visible) override;

 protected:
  void WndProc(TMessage& message) override;
  void CreateWnd() override;

 private:
  void StartPlayback();
  // The runtime's control, its handlers, in the window.
  void CreatePlayerControl();
  // A runtime that fails while it is being set up leaves the window open with
  // a notice for the reader, and closing it works as ever; the log says why.
  void DropPlayerControl(const std::exception& error);
  // Shows the reader's sentence in place of the book, and logs it.
  void ShowNotice(TNotice notice);
  void CoverScreen();
  void SetStyle(DWORD style);
  void WatchEscape();
  // The named file appended to supply, or nothing (with a log line) when it
  // cannot be read whole.
  void ReadWhole(const std::string& name, TStream& supply);

  std::string packageFile_;
  std::unique_ptr<TFlashPlayerControl> control_;
  std::string notice_;
  bool globalHandlerSet_ = false;
  bool escapeWatched_ = false;
  // The monitor full screen covers, chosen when it is entered.
  RECT fullScreenArea_{};
};

// The form instance while it exists.
extern TfrmMain* frmMain;

// The start-up step of the main window's unit: a book that carries its own
// runtime as "flash.ocx" (listed, even when empty) has the runtime come from
// there; otherwise the installed one stays. Runs after the program's unit has
// started and before any host control exists.
void UseBookRuntime(const std::string& packageFile = "");

}  // namespace leafbook
