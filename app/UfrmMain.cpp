// The viewer's main window.
#include "app/UfrmMain.h"

#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "app/DamageLog.h"
#include "app/ExeConfigInfo.h"
#include "app/Notices.h"
#include "app/ULog.h"
#include "framework/base/AnsiText.h"
#include "content/ContentManager.h"
#include "framework/gui/Application.h"
#include "framework/gui/Monitors.h"
#include "package/PackageAccess.h"
#include "package/PackageCache.h"
#include "runtime/FlashOCXCodeProvider.h"
#include "runtime/RuntimeUnit.h"

namespace leafbook {

TfrmMain* frmMain = nullptr;

namespace {

constexpr DWORD kWithoutCaption = 0xFF3FFFFF;
constexpr DWORD kFullScreenStyle = 0x00010000;  // WS_MAXIMIZEBOX alone: no caption, frame or menu
constexpr DWORD kNormalStyle = 0x00CF0000;      // WS_OVERLAPPEDWINDOW

// Room left between a notice and the window's edges.
constexpr int kNoticeMargin = 24;

// A book checked block by block is also checked whole in the background,
// once its first pages are up: the reader's first requests go first.
constexpr uint32_t kWholeCheckDelayMs = 3000;

// A name the movie asked for, as the package's 8-bit names are written.
std::string PackageName(const std::wstring& text) {
  return WideToAnsi(text);
}

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return text;
}

// A file of the book that could not be read whole is not served.
void LogNotServed(const std::string& name) {
  TLog4DP::Log("Cannot read [" + name + "] whole: not served");
}

// Whether the book carries its own runtime, listed as "flash.ocx" (even
// empty): then the runtime in use is its, not the installed one.
bool CarriesRuntime(const std::string& packageFile) {
  return PackageFileIndex("flash.ocx", packageFile) > 0;
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
  OnKeyDown = [this](TWinControl* sender, WORD& key, UINT shift) {
    FormKeyDown(sender, key, shift);
  };
  OnKeyUp = [this](TWinControl* sender, WORD& key, UINT shift) { FormKeyUp(sender, key, shift); };
  frmMain = this;
}

TfrmMain::~TfrmMain() {
  // The slot would point at a form that is gone: the content manager and the
  // runtime outlive it.
  if (globalHandlerSet_) {
    if (TContentManager* manager = ContentManager()) {
      manager->SetGlobalOnLoadExternalResourceEx(nullptr);
    }
  }
  if (TApplication* application = TApplication::Instance(); application && escapeWatched_) {
    application->OnMessage = nullptr;
  }
  if (frmMain == this) {
    frmMain = nullptr;
  }
}

// Escape leaves full screen wherever the focus is, the runtime's window too,
// before the runtime is asked whether the key is one of its accelerators; the
// key goes on as ever.
void TfrmMain::WatchEscape() {
  TApplication* application = TApplication::Instance();
  if (!application) {
    return;
  }
  application->OnMessage = [this](MSG& msg, bool&) {
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      LeaveFullScreen();
    }
  };
  escapeWatched_ = true;
}

void TfrmMain::FormCreate(TWinControl*) {
  ParseCommandLine();
  LoadWindowConfig();
  if (TApplication* application = TApplication::Instance()) {
    application->SetTitle(Caption());
  }
  TLog4DP::Log("Loading book.swf...");
  WatchEscape();
  StartPlayback();
}

void UseBookRuntime(const std::string& packageFile) {
  if (!CarriesRuntime(packageFile)) {
    return;  // the installed runtime stays
  }
  // Listed counts, even empty: the provider it makes then has no module.
  std::unique_ptr<TMemoryStream> stream = PackageFileStream("flash.ocx", packageFile);
  TMemoryStream empty;
  SetRuntimeModuleStream(stream ? stream.get() : &empty);
}

void TfrmMain::CreatePlayerControl() {
  control_ = std::make_unique<TFlashPlayerControl>(this);
  FlashPlayerControl1 = control_.get();
  FlashPlayerControl1->OnFSCommand = [this](TFlashPlayerControl* sender,
                                            const std::wstring& command, const std::wstring& args) {
    FlashPlayerControl1FSCommand(sender, command, args);
  };
  FlashPlayerControl1->OnLoadExternalResource = [this](TFlashPlayerControl* sender,
                                                       const std::wstring& url, TStream* stream) {
    FlashPlayerControl1LoadExternalResource(sender, url, stream);
  };
  FlashPlayerControl1->OnLoadExternalResourceEx =
      [this](TFlashPlayerControl* sender, const std::wstring& url, TStream* stream, bool& handled) {
        FlashPlayerControl1LoadExternalResourceEx(sender, url, stream, handled);
      };
  FlashPlayerControl1->OnLoadExternalResourceAsync =
      [this](TFlashPlayerControl* sender, const std::wstring& path, TStream*& stream) {
        FlashPlayerControl1LoadExternalResourceAsync(sender, path, stream);
      };
  FlashPlayerControl1->SetParent(this);
  FlashPlayerControl1->SetAlign(TAlign::Client);
}

void TfrmMain::DropPlayerControl(const std::exception& error) {
  TLog4DP::Log(std::string("Cannot start the movie runtime: ") + error.what());
  FlashPlayerControl1 = nullptr;
  control_.reset();
  ShowNotice(TNotice::RuntimeRefused);
}

void TfrmMain::ShowNotice(TNotice notice) {
  notice_ = NoticeText(notice);
  TLog4DP::Log(notice_);
  if (HandleAllocated()) {
    ::InvalidateRect(Handle(), nullptr, TRUE);
  }
}

void TfrmMain::CreateWnd() {
  try {
    TForm::CreateWnd();
  } catch (const std::exception& error) {
    // The control's window comes with the form's: a runtime that will not
    // activate in it fails here, after the form's own window exists.
    if (!HandleAllocated() || !control_) {
      throw;
    }
    DropPlayerControl(error);
    Realign();
  }
  // The book's own icon (the one leafpack wrote into its copy of the viewer),
  // on the form and on the application window the task bar may show.
  SetIcons(LoadModuleIcons(nullptr));
  if (TApplication* application = TApplication::Instance()) {
    application->SetIcons(LoadModuleIcons(nullptr));
  }
}

// Of several faults the reader is told the one that stops the book first:
// no package, or a damaged one, hides everything else; a book without its
// movie cannot be shown by any runtime; only then does a missing or broken
// runtime count, and last a runtime that will not start.
void TfrmMain::StartPlayback() {
  LogPackageDamage();  // the log is on now: a runtime read from a damaged book is told
  switch (PackageState(packageFile_)) {
    case TPackageState::None:
      ShowNotice(TNotice::NoBook);
      return;
    case TPackageState::Damaged:
      ShowNotice(TNotice::DamagedBook);
      return;
    case TPackageState::Intact:
      break;
  }
  std::unique_ptr<TMemoryStream> movie = PackageFileStream("book.swf", packageFile_);
  // A book checked block by block shows a damaged block only when it is read.
  if (!movie && PackageState(packageFile_) == TPackageState::Damaged) {
    ShowNotice(TNotice::DamagedBook);
    return;
  }
  const TFlashOCXCodeProviderBasedOnStream* provider = RuntimeCodeProvider();
  if (movie && (!provider || !provider->HasModule())) {
    // The provider came from the book when it carries a runtime (see
    // UseBookRuntime): then that copy is what failed to map.
    ShowNotice(CarriesRuntime(packageFile_) ? TNotice::BrokenRuntime : TNotice::NoRuntime);
    return;
  }
  try {
    CreatePlayerControl();
  } catch (const std::exception& error) {
    DropPlayerControl(error);
    return;
  }
  if (TContentManager* manager = ContentManager()) {
    manager->SetGlobalOnLoadExternalResourceEx(
        [this](const std::wstring& url, std::unique_ptr<TStream>& stream, bool& handled) {
          GlobalLoadExternalResource(url, stream, handled);
        });
    globalHandlerSet_ = true;
  }
  if (!movie) {
    // A reader is better told than shown an empty window.
    ShowNotice(TNotice::NoMovie);
    FlashPlayerControl1->SetVisible(false);
    return;
  }
  try {
    FlashPlayerControl1->PlayMovieFromStream(*movie);
  } catch (const std::exception& error) {
    // The window stays open; the log says why nothing plays.
    TLog4DP::Log(std::string("Cannot play book.swf: ") + error.what());
  }
  CheckWholeInBackground(packageFile_, kWholeCheckDelayMs);
}

void TfrmMain::WndProc(TMessage& message) {
  if (message.Msg == WM_PAINT && !notice_.empty()) {
    const TPaintDC dc(Handle());
    RECT client{};
    ::GetClientRect(Handle(), &client);
    ::FillRect(dc.Get(), &client, ::GetSysColorBrush(COLOR_BTNFACE));
    ::SetBkMode(dc.Get(), TRANSPARENT);
    // Wrapped to the window; DrawText centres only a single line
    // vertically, so the wrapped block is measured and placed itself.
    constexpr UINT kFormat = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    RECT text = client;
    ::InflateRect(&text, -kNoticeMargin, -kNoticeMargin);
    RECT measured = text;
    ::DrawTextA(dc.Get(), notice_.c_str(), -1, &measured, kFormat | DT_CALCRECT);
    const int height = measured.bottom - measured.top;
    text.top = std::max(text.top, client.top + (client.bottom - client.top - height) / 2);
    text.bottom = text.top + height;
    ::DrawTextA(dc.Get(), notice_.c_str(), -1, &text, kFormat);
    message.Result = 0;
    return;
  }
  TForm::WndProc(message);
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
  // The monitor that holds most of the window; a window not shown yet (open
  // mode 3) has no place of its own and takes the primary one.
  fullScreenArea_ = HandleAllocated() && ::IsWindowVisible(Handle()) ? MonitorOfWindow(Handle())
                                                                     : PrimaryMonitorRect();
  if (WindowState() == TWindowState::Maximized) {
    SetWindowState(TWindowState::Normal);
  }
  IsFullScreen = true;
  SetStyle(static_cast<DWORD>(::GetWindowLongW(Handle(), GWL_STYLE)) & kWithoutCaption);
  SetStyle(kFullScreenStyle);
  SetBorderWidth(0);
  SetWindowState(TWindowState::Maximized);
  SetWidth(fullScreenArea_.right - fullScreenArea_.left);
  SetHeight(fullScreenArea_.bottom - fullScreenArea_.top);
  SetLeft(fullScreenArea_.left);
  SetTop(fullScreenArea_.top);
  CoverScreen();
}

// A maximised window takes the work area, which stops at the task bar; full
// screen is the whole monitor, so the window is put there itself, also when a
// hidden form (open mode 3) is shown maximised later.
void TfrmMain::CoverScreen() {
  if (IsFullScreen && HandleAllocated() && ::IsWindowVisible(Handle())) {
    const RECT& area = fullScreenArea_;
    ::SetWindowPos(Handle(), HWND_TOP, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
}

void TfrmMain::SetVisible(bool visible) {
  TForm::SetVisible(visible);
  CoverScreen();
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

// Keys the form gets (the control has no focus) go on to the runtime; the
// form's own handling goes on too.
void TfrmMain::FormKeyDown(TWinControl*, WORD& key, UINT) {
  TLog4DP::Log("FormKeyDown[" + std::to_string(key) + "]");
  if (FlashPlayerControl1) {
    FlashPlayerControl1->Perform(WM_KEYDOWN, key, 0);
  }
}

void TfrmMain::FormKeyUp(TWinControl*, WORD& key, UINT) {
  TLog4DP::Log("FormKeyUp[" + std::to_string(key) + "]");
  if (FlashPlayerControl1) {
    FlashPlayerControl1->Perform(WM_KEYUP, key, 0);
  }
}

void TfrmMain::FlashPlayerControl1LoadExternalResource(TFlashPlayerControl*,
                                                       const std::wstring& url, TStream* stream) {
  const std::string name = PackageName(url);
  TLog4DP::Log("To load url2[" + name + "]");
  if (PackageFileIndex(name, packageFile_) != 0) {
    TLog4DP::Log("Got .. url2[" + name + "]");
    ReadWhole(name, *stream);
    return;
  }
  if (url.rfind(L"./", 0) == 0) {
    const std::string shortened = PackageName(url.substr(2));
    if (PackageFileIndex(shortened, packageFile_) != 0) {
      TLog4DP::Log("Got .. url2_2[" + shortened + "]");
      ReadWhole(shortened, *stream);
    }
  }
}

// A file read part-way is no file: the supply goes back to empty, which
// leaves the request unanswered (the control's other sources follow).
void TfrmMain::ReadWhole(const std::string& name, TStream& supply) {
  const int64_t start = supply.GetSize();
  if (!PackageReadFile(name, supply, packageFile_)) {
    supply.SetSize(start);
    LogNotServed(name);
  }
}

void TfrmMain::FlashPlayerControl1LoadExternalResourceEx(TFlashPlayerControl*,
                                                         const std::wstring& url, TStream*, bool&) {
  TLog4DP::Log("To load url 333[" + PackageName(url) + "]");
}

void TfrmMain::FlashPlayerControl1LoadExternalResourceAsync(TFlashPlayerControl*,
                                                            const std::wstring& path,
                                                            TStream*& stream) {
  const std::string name = PackageName(path);
  TLog4DP::Log("To load url 44[" + name + "]");
  if (PackageFileIndex(name, packageFile_) == 0) {
    return;
  }
  TLog4DP::Log("To load url 44_________[" + name + "]");
  // Read where it lies in the package: a large file costs no memory.
  stream = PackageEntryStream(name, packageFile_).release();  // the control's from here on
}

void TfrmMain::GlobalLoadExternalResource(const std::wstring& url, std::unique_ptr<TStream>& stream,
                                          bool& handled) {
  const std::string name = PackageName(url);
  TLog4DP::Log("ContentProvider url[" + name + "]");
  if (PackageFileIndex(name, packageFile_) > 0) {
    if (!PackageReadFile(name, *stream, packageFile_)) {
      // Not handled: the content manager tells the runtime that what it
      // got, if anything, is not the file.
      LogNotServed(name);
      return;
    }
    handled = true;
    stream.reset();  // the data is complete
  }
}

void TfrmMain::FormKeyPress(TWinControl*, char& key) {
  // Built by appending: GCC 12 at -O3 takes the prepend of operator+(const
  // char*, std::string&&) for an overlapping copy (a false -Wrestrict report).
  std::string line = "FormKeyPress[";
  line += key;
  line += ']';
  TLog4DP::Log(line);
  if (key == 27) {
    LeaveFullScreen();
  }
}

}  // namespace leafbook
