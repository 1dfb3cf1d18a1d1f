// Loading a module's icon group at a given size, and setting a window's icons.
#include "framework/gui/WindowIcons.h"

#include <string>

namespace leafbook {

namespace {

constexpr WORD kBookIconGroup = 1;

LPCWSTR GroupIconType() {
  return MAKEINTRESOURCEW(14);  // RT_GROUP_ICON
}

BOOL CALLBACK TakeFirstName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR data) {
  auto& first = *reinterpret_cast<std::wstring*>(data);
  if (IS_INTRESOURCE(name)) {
    first = L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name));
  } else {
    first = name;
  }
  return FALSE;  // the first is enough
}

HICON LoadIconGroup(HMODULE module, LPCWSTR name, int size) {
  return static_cast<HICON>(::LoadImageW(module, name, IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace

TOwnedIcon LoadModuleIcon(HMODULE module, int size) {
  if (!module) {
    module = ::GetModuleHandleW(nullptr);
  }
  if (::FindResourceW(module, MAKEINTRESOURCEW(kBookIconGroup), GroupIconType())) {
    return TOwnedIcon(LoadIconGroup(module, MAKEINTRESOURCEW(kBookIconGroup), size));
  }
  std::wstring first;
  ::EnumResourceNamesW(module, GroupIconType(), TakeFirstName, reinterpret_cast<LONG_PTR>(&first));
  if (first.empty()) {
    return TOwnedIcon();
  }
  return TOwnedIcon(LoadIconGroup(module, first.c_str(), size));
}

TWindowIcons LoadModuleIcons(HMODULE module) {
  return TWindowIcons{LoadModuleIcon(module, ::GetSystemMetrics(SM_CXICON)),
                      LoadModuleIcon(module, ::GetSystemMetrics(SM_CXSMICON))};
}

void SetWindowIcons(HWND window, const TWindowIcons& icons) {
  if (icons.Big) {
    ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.Big.Get()));
  }
  if (icons.Small) {
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.Small.Get()));
  }
}

}  // namespace leafbook
