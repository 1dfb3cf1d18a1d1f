// The viewer's main window.
#include "app/UfrmMain.h"

#include <shellapi.h>

#include <memory>

#include "app/ExeConfigInfo.h"
#include "app/ULog.h"
#include "framework/base/AnsiText.h"
#include "framework/gui/Application.h"
#include "package/PackageAccess.h"

namespace leafbook {

TfrmMain* frmMain = nullptr;

namespace {

constexpr DWORD kWithoutCaption = 0xFF3FFFFF;
constexpr DWORD kFullScreenStyle = 0x00010000;  // WS_MAXIMIZEBOX alone: no caption, frame or menu
constexpr DWORD kNormalStyle = 0x00CF0000;      // WS_OVERLAPPEDWINDOW

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return text;
}

}  // namespace

TfrmMain::TfrmMain(std::string packageFile)
    : TForm(nullptr, L"TfrmMain"), packageFile_(std::move(packageFile)) {
  // Design-time values; the configuration may change them.
  SetBounds(193, 223, 1372, 575);
  SetCaption("Leafbook");
  SetColor(clBtnFace);
  SetFont(TFont{L"MS Sans Serif", -11, DEFAULT_CHARSET, 0});
  OnCreate = [this](TWinControl* sender) { FormCreate(sender); };
  OnKeyPress = [this](TWinControl* sender, char& key) { FormKeyPress(sender, key); };
  frmMain = this;
}

TfrmMain::~TfrmMain() {
  if (frmMain == this) {
    frmMain = nullptr;
  }
}

void TfrmMain::FormCreate(TWinControl*) {
  ParseCommandLine();
  LoadWindowConfig();
  if (TApplication* application = TApplication::Instance()) {
    application->SetTitle(Caption());
  }
  TLog4DP::Log("Loading book.swf...");
}

void TfrmMain::ParseCommandLine() {
  std::vector<std::string> args;
  int count = 0;
  if (LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) {
      args.push_back(WideToAnsi(argv[i]));
    }
    ::LocalFree(argv);
  }
  ParseArguments(args);
}

void TfrmMain::ParseArguments(const std::vector<std::string>& args) {
  LogEnabled = false;
  LogFileName.clear();
  for (const std::string& arg : args) {
    const std::string head = UpperAscii(arg.substr(0, 2));
    if (head == "-D") {
      LogEnabled = true;
    } else if (head == "-F") {
      LogFileName = arg.substr(2);
    }
  }
}

void TfrmMain::LoadWindowConfig() {
  TLog4DP::Log("ConfigFileName:" + TExeConfigInfo::ConfigFileName());
  try {
    std::unique_ptr<TMemoryStream> stream =
        PackageFileStream(TExeConfigInfo::ConfigFileName(), packageFile_);
    if (!stream) {
      return;
    }
    TExeConfigInfo config;
    config.LoadFromStream(*stream);
    // Applied only once the whole file was read.
    SetCaption(config.Caption);
    switch (config.OpenMode) {
      case 1:
        SetWidth(config.OpenWidth);
        SetHeight(config.OpenHeight);
        break;
      case 2:
        SetWindowState(TWindowState::Maximized);
        break;
      case 3:
        EnterFullScreen();
        break;
      default:
        break;
    }
  } catch (...) {
    // A missing or faulty configuration leaves the design-time window.
  }
}

void TfrmMain::SetStyle(DWORD style) {
  ::SetWindowLongW(Handle(), GWL_STYLE, static_cast<LONG>(style));
  // The frame is recomputed only when the system is told it changed.
  ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TfrmMain::EnterFullScreen() {
  if (IsFullScreen) {
    return;
  }
  SavedWidth = Width();
  SavedHeight = Height();
  SavedLeft = Left();
  SavedTop = Top();
  SavedWindowState = WindowState();
  if (WindowState() == TWindowState::Maximized) {
    SetWindowState(TWindowState::Normal);
  }
  IsFullScreen = true;
  SetStyle(static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_STYLE)) & kWithoutCaption);
  SetStyle(kFullScreenStyle);
  SetBorderWidth(0);
  SetWindowState(TWindowState::Maximized);
  SetWidth(ScreenWidth());
  SetHeight(ScreenHeight());
  SetLeft(0);
  SetTop(0);
}

void TfrmMain::LeaveFullScreen() {
  if (!IsFullScreen) {
    return;
  }
  IsFullScreen = false;
  SetWindowState(TWindowState::Normal);
  SetStyle(kNormalStyle);
  SetWindowState(TWindowState::Maximized);
  SetWidth(SavedWidth);
  SetHeight(SavedHeight);
  SetLeft(SavedLeft);
  SetTop(SavedTop);
  SetWindowState(SavedWindowState);
}

void TfrmMain::FlashPlayerControl1FSCommand(TWinControl*, const std::wstring& command,
                                            const std::wstring& args) {
  if (command == L"fullscreen" && args == L"true") {
    EnterFullScreen();
  } else if (command == L"fullscreen" && args == L"false") {
    LeaveFullScreen();
  }
}

void TfrmMain::FormKeyPress(TWinControl*, char& key) {
  TLog4DP::Log("FormKeyPress[" + std::string(1, key) + "]");
  if (key == 27) {
    LeaveFullScreen();
  }
}

}  // namespace leafbook
