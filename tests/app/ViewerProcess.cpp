// Driving the real viewer from a test.
#include "tests/app/ViewerProcess.h"

#include <wincodec.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "framework/base/AnsiText.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Resources.h"

namespace leafbook::testing {

namespace {

std::wstring Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
    return AnsiToWide(arg);
  }
  return L"\"" + AnsiToWide(arg) + L"\"";
}

struct TSearch {
  DWORD processId;
  const wchar_t* className;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TSearch*>(context);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t className[64] = {};
  ::GetClassNameW(window, className, 64);
  if (owner == search->processId && std::wstring(className) == search->className &&
      (!search->visibleOnly || ::IsWindowVisible(window))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

std::string EnvironmentVariable(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::string() : WideToAnsi(value);
}

uintmax_t FileSize(const std::string& path) {
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

INPUT KeyInput(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  switch (key) {
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
      input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;  // the keys beside the numeric pad
      break;
    default:
      break;
  }
  return input;
}

bool Send(std::vector<INPUT>& inputs) {
  return ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
         inputs.size();
}

}  // namespace

TWindowFacts InspectWindow(HWND window) {
  TWindowFacts facts;
  ::GetWindowRect(window, &facts.Rect);
  facts.Style = static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE));
  facts.Zoomed = ::IsZoomed(window) != 0;
  facts.Visible = ::IsWindowVisible(window) != 0;
  char caption[512] = {};
  int length = ::GetWindowTextA(window, caption, sizeof caption);
  facts.Caption.assign(caption, static_cast<size_t>(length));
  return facts;
}

TViewerProcess::TViewerProcess(const std::string& program, const std::vector<std::string>& args,
                               const std::string& folder) {
  tracePath_ = EnvironmentVariable(L"MINIPLAYER_TRACE");
  if (tracePath_.empty()) {
    wchar_t folderName[MAX_PATH] = {};
    wchar_t file[MAX_PATH] = {};
    if (::GetTempPathW(MAX_PATH, folderName) != 0 &&
        ::GetTempFileNameW(folderName, L"lbt", 0, file) != 0) {
      tracePath_ = WideToAnsi(file);
      ownTrace_ = true;
      ::SetEnvironmentVariableW(L"MINIPLAYER_TRACE", file);
    }
  }
  traceStart_ = FileSize(tracePath_);
  std::wstring commandLine = Quoted(program);
  for (const std::string& arg : args) {
    commandLine += L" " + Quoted(arg);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::wstring directory = AnsiToWide(folder);
  if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.empty() ? nullptr : directory.c_str(), &startup, &info)) {
    process_.Reset(info.hProcess);
    ::CloseHandle(info.hThread);
    processId_ = info.dwProcessId;
  }
  if (ownTrace_) {
    ::SetEnvironmentVariableW(L"MINIPLAYER_TRACE", nullptr);
  }
}

TViewerProcess::~TViewerProcess() {
  if (process_ && !closed_ && Close() == STILL_ACTIVE) {
    ::TerminateProcess(process_.Get(), 99);
    ::WaitForSingleObject(process_.Get(), 5000);
  }
  if (ownTrace_) {
    ::DeleteFileW(AnsiToWide(tracePath_).c_str());
  }
}

HWND TViewerProcess::FindWindowOfClass(const wchar_t* className, bool visibleOnly) {
  TSearch search{processId_, className, visibleOnly, nullptr};
  ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND TViewerProcess::MainWindow(DWORD timeoutMs) {
  HWND window = VisibleWindow(timeoutMs);
  if (window) {
    Settle();
  }
  return window;
}

HWND TViewerProcess::VisibleWindow(DWORD timeoutMs) {
  const ULONGLONG start = ::GetTickCount64();
  while (process_ && ::GetTickCount64() - start < timeoutMs) {
    if (HWND window = FindWindowOfClass(L"TfrmMain", true)) {
      return window;
    }
    if (::WaitForSingleObject(process_.Get(), 5) == WAIT_OBJECT_0) {
      break;
    }
  }
  return nullptr;
}

HWND TViewerProcess::ApplicationWindow() {
  return FindWindowOfClass(L"LeafbookApplication", false);
}

void TViewerProcess::Settle() {
  ::WaitForInputIdle(process_.Get(), 5000);
  // A message sent from another process is handled only when the viewer next
  // asks for messages: it returns once the viewer finished what it was doing.
  if (HWND window = FindWindowOfClass(L"TfrmMain", false)) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
  }
  ::Sleep(100);
}

DWORD TViewerProcess::Close(DWORD timeoutMs) {
  closed_ = true;
  if (HWND window = FindWindowOfClass(L"TfrmMain", false)) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
  }
  ::WaitForSingleObject(process_.Get(), timeoutMs);
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.Get(), &code);
  ReportForeignThreadCalls();
  return code;
}

std::string TViewerProcess::Trace() const {
  std::ifstream file(tracePath_, std::ios::binary);
  if (!file) {
    return {};
  }
  file.seekg(static_cast<std::streamoff>(traceStart_));
  const std::string head = "miniplayer " + std::to_string(processId_) + ": ";
  std::string lines;
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind(head, 0) == 0) {
      lines += line.substr(head.size()) + "\n";
    }
  }
  return lines;
}

void TViewerProcess::ReportForeignThreadCalls() const {
  std::istringstream lines(Trace());
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find(kForeignThreadCall) != std::string::npos) {
      ReportForeignThreadCall(line);
    }
  }
}

bool BringToForeground(HWND window) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (::GetForegroundWindow() == window) {
      return true;
    }
    ::SetForegroundWindow(window);
    ::Sleep(20);
  }
  return ::GetForegroundWindow() == window;
}

POINT ClientMiddle(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  return POINT{client.right / 2, client.bottom / 2};
}

bool ClickAt(HWND window, POINT client) {
  if (!BringToForeground(window)) {
    return false;
  }
  POINT at = client;
  ::ClientToScreen(window, &at);
  // Absolute positions run from 0 to 65535 across the primary screen.
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  std::vector<INPUT> inputs(3);
  for (INPUT& input : inputs) {
    input.type = INPUT_MOUSE;
    input.mi.dx = ::MulDiv(at.x, 65535, width - 1);
    input.mi.dy = ::MulDiv(at.y, 65535, height - 1);
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  return Send(inputs);
}

bool PressKey(HWND window, WORD key, const std::vector<WORD>& modifiers) {
  if (!BringToForeground(window)) {
    return false;
  }
  std::vector<INPUT> inputs;
  for (WORD modifier : modifiers) {
    inputs.push_back(KeyInput(modifier, false));
  }
  inputs.push_back(KeyInput(key, false));
  inputs.push_back(KeyInput(key, true));
  for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier) {
    inputs.push_back(KeyInput(*modifier, true));
  }
  return Send(inputs);
}

COLORREF ClientCentre(HWND window) {
  RECT client{};
  ::GetClientRect(window, &client);
  POINT centre{client.right / 2, client.bottom / 2};
  ::ClientToScreen(window, &centre);
  HDC screen = ::GetDC(nullptr);
  const COLORREF colour = ::GetPixel(screen, centre.x, centre.y);
  ::ReleaseDC(nullptr, screen);
  return colour;
}

std::vector<uint32_t> ScreenPixels(int x, int y, int width, int height) {
  std::vector<uint32_t> pixels;
  if (width <= 0 || height <= 0) {
    return pixels;
  }
  const TWindowDC screen(nullptr);
  const TOwnedDC memory(::CreateCompatibleDC(screen.Get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const TGdiObject<HBITMAP> bitmap(
      ::CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!memory || !bitmap || !bits) {
    return pixels;
  }
  {
    const TSelectedObject selected(memory.Get(), bitmap.Get());
    ::BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), x, y, SRCCOPY);
    ::GdiFlush();
  }
  const auto* first = static_cast<const uint32_t*>(bits);
  pixels.assign(first, first + static_cast<size_t>(width) * static_cast<size_t>(height));
  return pixels;
}

bool SaveScreenPng(const std::string& path) {
  const int width = ::GetSystemMetrics(SM_CXSCREEN);
  const int height = ::GetSystemMetrics(SM_CYSCREEN);
  std::vector<uint32_t> pixels = ScreenPixels(0, 0, width, height);
  if (pixels.empty()) {
    return false;
  }

  bool saved = false;
  const bool comStarted = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  TComPtr<IWICImagingFactory> factory;
  if (SUCCEEDED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWICImagingFactory, factory.PutVoid()))) {
    TComPtr<IWICStream> stream;
    TComPtr<IWICBitmapEncoder> encoder;
    TComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    std::wstring file = AnsiToWide(path);
    saved = SUCCEEDED(factory->CreateStream(stream.Put())) &&
            SUCCEEDED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) &&
            SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Put())) &&
            SUCCEEDED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) &&
            SUCCEEDED(encoder->CreateNewFrame(frame.Put(), nullptr)) &&
            SUCCEEDED(frame->Initialize(nullptr)) &&
            SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
            SUCCEEDED(frame->SetPixelFormat(&format)) &&
            SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), static_cast<UINT>(width) * 4,
                                         static_cast<UINT>(width * height * 4),
                                         reinterpret_cast<BYTE*>(pixels.data()))) &&
            SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
  }
  factory.Reset();
  if (comStarted) {
    ::CoUninitialize();
  }
  return saved;
}

}  // namespace leafbook::testing
