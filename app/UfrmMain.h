// TfrmMain: the viewer's one main window. It reads the command line and the
// window configuration at creation, and switches in and out of full screen on
// the movie's "fullscreen" command and on Escape.
#pragma once

#include <string>
#include <vector>

#include "framework/gui/Forms.h"

namespace leafbook {

class TfrmMain : public TForm {
 public:
  // packageFile names the file that carries the book; empty (the viewer's
  // case) is the running executable.
  explicit TfrmMain(std::string packageFile = "");
  ~TfrmMain() override;

  // The host control; created by the playback start.
  TWinControl* FlashPlayerControl1 = nullptr;
  bool IsFullScreen = false;
  int SavedWidth = 0;
  int SavedHeight = 0;
  TWindowState SavedWindowState = TWindowState::Normal;
  int SavedLeft = 0;
  int SavedTop = 0;

  void FormCreate(TWinControl* sender);
  void FormKeyPress(TWinControl* sender, char& key);
  void FlashPlayerControl1FSCommand(TWinControl* sender, const std::wstring& command,
                                    const std::wstring& args);

  void ParseCommandLine();
  // The switches of an argument list (program path excluded).
  static void ParseArguments(const std::vector<std::string>& args);
  void LoadWindowConfig();
  void EnterFullScreen();
  void LeaveFullScreen();

 private:
  void SetStyle(DWORD style);

  std::string packageFile_;
};

// The form instance while it exists.
extern TfrmMain* frmMain;

}  // namespace leafbook
