// The icon probe module (see IconProbe.h): a WH_GETMESSAGE hook that draws a
// window's icon inside the viewer's own process.
#include "tests/app/IconProbe.h"

#include <algorithm>
#include <string>
#include <vector>

namespace leafbook::testing {
namespace {

std::vector<uint32_t> DrawIcon(HICON icon, int size) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = ::CreateCompatibleDC(nullptr);
  std::vector<uint32_t> result;
  if (bitmap && dc) {
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    auto* pixels = static_cast<uint32_t*>(bits);
    const size_t count = static_cast<size_t>(size) * size;
    std::fill(pixels, pixels + count, kIconProbeBackground);
    if (::DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL)) {
      ::GdiFlush();
      for (size_t i = 0; i < count; ++i) {
        result.push_back(pixels[i] & 0xFFFFFF);
      }
    }
    ::SelectObject(dc, old);
  }
  if (dc) {
    ::DeleteDC(dc);
  }
  if (bitmap) {
    ::DeleteObject(bitmap);
  }
  return result;
}

void Probe(HWND window, WPARAM which, int size) {
  wchar_t out[MAX_PATH];
  if (!::GetEnvironmentVariableW(kIconProbeOutVariable, out, MAX_PATH)) {
    return;
  }
  const std::wstring path = std::wstring(out) + L"." + std::to_wstring(which) + L"." +
                            std::to_wstring(reinterpret_cast<ULONG_PTR>(window));
  HICON icon = reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, which, 0));
  const std::vector<uint32_t> pixels = icon ? DrawIcon(icon, size) : std::vector<uint32_t>{};
  // Written under another name first: the test sees the whole file or none.
  const std::wstring partial = path + L".part";
  HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  DWORD written = 0;
  ::WriteFile(file, pixels.data(), static_cast<DWORD>(pixels.size() * sizeof(uint32_t)), &written,
              nullptr);
  ::CloseHandle(file);
  ::MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace
}  // namespace leafbook::testing

extern "C" __declspec(dllexport) LRESULT CALLBACK
    IconProbeHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    static const UINT probe = ::RegisterWindowMessageW(leafbook::testing::kIconProbeMessage);
    const MSG& msg = *reinterpret_cast<const MSG*>(lParam);
    if (msg.message == probe) {
      leafbook::testing::Probe(msg.hwnd, msg.wParam, static_cast<int>(msg.lParam));
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}
