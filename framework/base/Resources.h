// An owner for every other kind of system resource the program holds, beside
// TOwnedHandle's file and kernel handles and TComPtr's COM references: windows,
// menus, icons, GDI objects and the object selected into a DC, device contexts,
// VARIANTs, global memory, registry keys, modules and the COM / OLE
// initialisation pairs. Each releases exactly once, moves but never copies.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

#include "framework/base/Handle.h"

namespace leafbook {

template <class T, auto CloseFunction>
struct TNullInvalidTraits {
  using Native = T;
  static Native Invalid() noexcept { return nullptr; }
  static void Close(Native handle) noexcept { CloseFunction(handle); }
};

using TOwnedWindow = TOwnedHandle<TNullInvalidTraits<HWND, ::DestroyWindow>>;
using TOwnedMenu = TOwnedHandle<TNullInvalidTraits<HMENU, ::DestroyMenu>>;
// An icon of one's own (LoadImage without LR_SHARED, CreateIconIndirect).
using TOwnedIcon = TOwnedHandle<TNullInvalidTraits<HICON, ::DestroyIcon>>;
// Pens, brushes, fonts, bitmaps, regions: anything DeleteObject frees.
template <class T = HGDIOBJ>
using TGdiObject = TOwnedHandle<TNullInvalidTraits<T, ::DeleteObject>>;
// A DC of one's own (CreateCompatibleDC, CreateDC).
using TOwnedDC = TOwnedHandle<TNullInvalidTraits<HDC, ::DeleteDC>>;
using TOwnedHGlobal = TOwnedHandle<TNullInvalidTraits<HGLOBAL, ::GlobalFree>>;
using TOwnedRegKey = TOwnedHandle<TNullInvalidTraits<HKEY, ::RegCloseKey>>;
using TOwnedModule = TOwnedHandle<TNullInvalidTraits<HMODULE, ::FreeLibrary>>;

// A window's DC, borrowed with GetDC and given back with ReleaseDC.
class TWindowDC {
 public:
  explicit TWindowDC(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  ~TWindowDC() {
    if (dc_) {
      ::ReleaseDC(window_, dc_);
    }
  }
  HDC Get() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint / EndPaint of one WM_PAINT.
class TPaintDC {
 public:
  explicit TPaintDC(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  ~TPaintDC() { ::EndPaint(window_, &paint_); }
  HDC Get() const noexcept { return dc_; }
  const PAINTSTRUCT& Paint() const noexcept { return paint_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// Selects an object into a DC and selects the previous one back on leaving, so
// that the object can be deleted afterwards.
class TSelectedObject {
 public:
  TSelectedObject(HDC dc, HGDIOBJ object) noexcept
      : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
  TSelectedObject(const TSelectedObject&) = delete;
  TSelectedObject& operator=(const TSelectedObject&) = delete;
  ~TSelectedObject() {
    if (previous_ && previous_ != HGDI_ERROR) {
      ::SelectObject(dc_, previous_);
    }
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// GlobalLock / GlobalUnlock of a global memory block.
class TGlobalLock {
 public:
  explicit TGlobalLock(HGLOBAL memory) noexcept : memory_(memory), data_(::GlobalLock(memory)) {}
  TGlobalLock(const TGlobalLock&) = delete;
  TGlobalLock& operator=(const TGlobalLock&) = delete;
  ~TGlobalLock() {
    if (data_) {
      ::GlobalUnlock(memory_);
    }
  }
  void* Get() const noexcept { return data_; }

 private:
  HGLOBAL memory_;
  void* data_;
};

// A VARIANT that is cleared exactly once. The builders make the values the
// program hands to automation calls and events.
class TVariant {
 public:
  TVariant() noexcept { ::VariantInit(&value_); }
  TVariant(TVariant&& other) noexcept : value_(other.value_) { ::VariantInit(&other.value_); }
  TVariant& operator=(TVariant&& other) noexcept {
    if (this != &other) {
      ::VariantClear(&value_);
      value_ = other.value_;
      ::VariantInit(&other.value_);
    }
    return *this;
  }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  ~TVariant() { ::VariantClear(&value_); }

  static TVariant Int(LONG value) noexcept {
    TVariant result;
    result.value_.vt = VT_I4;
    result.value_.lVal = value;
    return result;
  }
  static TVariant Bool(bool value) noexcept {
    TVariant result;
    result.value_.vt = VT_BOOL;
    result.value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return result;
  }
  static TVariant Double(double value) noexcept {
    TVariant result;
    result.value_.vt = VT_R8;
    result.value_.dblVal = value;
    return result;
  }
  // VT_BSTR; a null text when the system has no memory for the string.
  static TVariant String(const std::wstring& text) noexcept {
    TVariant result;
    result.value_.vt = VT_BSTR;
    result.value_.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return result;
  }

  VARIANT* Get() noexcept { return &value_; }
  const VARIANT* Get() const noexcept { return &value_; }
  // For out parameters: clears what is held, then gives the slot.
  VARIANT* Put() noexcept {
    ::VariantClear(&value_);
    return &value_;
  }
  // Hands the value to a caller that clears it (an out VARIANT).
  VARIANT Detach() noexcept {
    VARIANT result = value_;
    ::VariantInit(&value_);
    return result;
  }

 private:
  VARIANT value_;
};

// OleInitialize / OleUninitialize, balanced only when the first succeeded.
class TOleInitialization {
 public:
  TOleInitialization() noexcept : result_(::OleInitialize(nullptr)) {}
  TOleInitialization(const TOleInitialization&) = delete;
  TOleInitialization& operator=(const TOleInitialization&) = delete;
  ~TOleInitialization() {
    if (SUCCEEDED(result_)) {
      ::OleUninitialize();
    }
  }
  HRESULT Result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

// CoInitializeEx / CoUninitialize, likewise.
class TComInitialization {
 public:
  explicit TComInitialization(DWORD model = COINIT_APARTMENTTHREADED) noexcept
      : result_(::CoInitializeEx(nullptr, model)) {}
  TComInitialization(const TComInitialization&) = delete;
  TComInitialization& operator=(const TComInitialization&) = delete;
  ~TComInitialization() {
    if (SUCCEEDED(result_)) {
      ::CoUninitialize();
    }
  }
  HRESULT Result() const noexcept { return result_; }

 private:
  HRESULT result_;
};

}  // namespace leafbook
