// The replacements for window classes, windows, cursors, menus, code pages,
// sound and GetProcAddress. A call written here as ::Name is the system's
// function reached through the host's own import.
#include "runtime/Replacements.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "framework/base/AnsiText.h"
#include "framework/base/ComBoundary.h"
#include "runtime/FlashOCXCodeProvider.h"
#include "runtime/ImageQueries.h"
#include "runtime/RuntimeUnit.h"

namespace leafbook::replacements {
namespace {

bool IsString(const void* name) {
  return reinterpret_cast<uintptr_t>(name) >= 0x10000;
}

std::string GeneratedName(const std::string& requested) {
  return "FlashPlayerControl_" + requested + "_" + std::to_string(HostCopyNumber());
}

std::wstring GeneratedName(const std::wstring& requested) {
  return AnsiToWide(GeneratedName(WideToAnsi(requested)));
}

void RememberClass(const std::wstring& requested, const std::wstring& generated) {
  if (TMapString2String* names = RuntimeUnit().windowClassNames.get()) {
    names->Add(requested, generated);
  }
}

// The registered name of a class the runtime asked for, when it is a name
// (not an atom) the map knows.
bool RegisteredName(const void* className, bool wide, std::wstring& registered) {
  TMapString2String* names = RuntimeUnit().windowClassNames.get();
  if (names == nullptr || !IsString(className)) {
    return false;
  }
  const std::wstring requested = wide ? std::wstring(static_cast<LPCWSTR>(className))
                                      : AnsiToWide(static_cast<LPCSTR>(className));
  return names->Find(requested, registered);
}

// Registers a copy of record under the generated name for the host module
// instance, replacing a class registered earlier under that name. A class
// named by an atom has no name to generate from: it is registered as given,
// for the host module instance.
template <class Record, class Char>
ATOM RegisterCopy(const Record* record, ATOM(WINAPI* registerClass)(const Record*),
                  BOOL(WINAPI* unregisterClass)(const Char*, HINSTANCE)) {
  if (record == nullptr) {
    return registerClass(record);
  }
  Record copy = *record;
  copy.hInstance = HostModuleInstance();
  if (!IsString(copy.lpszClassName)) {
    return registerClass(&copy);
  }
  const std::basic_string<Char> requested(copy.lpszClassName);
  const std::basic_string<Char> generated = GeneratedName(requested);
  if constexpr (sizeof(Char) == 1) {
    RememberClass(AnsiToWide(requested), AnsiToWide(generated));
  } else {
    RememberClass(requested, generated);
  }
  copy.lpszClassName = generated.c_str();
  unregisterClass(generated.c_str(), copy.hInstance);
  return registerClass(&copy);
}

HINSTANCE TranslatedInstance(HINSTANCE instance) {
  return instance == nullptr ? nullptr : HostModuleInstance();
}

// A lock that is there only between the unit's start-up and its shutdown.
class TSoundGuard {
 public:
  TSoundGuard() : lock_(RuntimeUnit().soundLock.get()) {
    if (lock_ != nullptr) {
      lock_->Enter();
    }
  }
  ~TSoundGuard() {
    if (lock_ != nullptr) {
      lock_->Leave();
    }
  }
  TSoundGuard(const TSoundGuard&) = delete;
  TSoundGuard& operator=(const TSoundGuard&) = delete;

 private:
  TCriticalSection* lock_;
};

// Scales each whole sample's distance from silence by volume percent and
// saturates at the sample's range. 8-bit wave samples are unsigned with
// silence at 128, 16-bit ones signed with silence at 0; a trailing part of a
// sample is left as it is.
template <class Sample, int32_t Silence>
void Scale(void* data, DWORD bytes, int32_t volume) {
  auto* bytesOf = static_cast<uint8_t*>(data);
  const DWORD count = bytes / sizeof(Sample);
  for (DWORD i = 0; i < count; ++i) {
    Sample sample;
    std::memcpy(&sample, bytesOf + i * sizeof(Sample), sizeof sample);
    const int64_t scaled = Silence + (static_cast<int64_t>(sample) - Silence) * volume / 100;
    sample = static_cast<Sample>(std::clamp<int64_t>(scaled, std::numeric_limits<Sample>::min(),
                                                     std::numeric_limits<Sample>::max()));
    std::memcpy(bytesOf + i * sizeof(Sample), &sample, sizeof sample);
  }
}

}  // namespace

int HostCopyNumber() {
  return static_cast<int>(reinterpret_cast<intptr_t>(RuntimeCodeProviderVariable()));
}

HINSTANCE HostModuleInstance() {
  // The host code is part of the executable.
  return ::GetModuleHandleA(nullptr);
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* record) {
  return Boundary("RegisterClassExA", ATOM{0}, [&] {
    return RegisterCopy<WNDCLASSEXA, char>(record, &::RegisterClassExA, &::UnregisterClassA);
  });
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* record) {
  return Boundary("RegisterClassA", ATOM{0}, [&] {
    return RegisterCopy<WNDCLASSA, char>(record, &::RegisterClassA, &::UnregisterClassA);
  });
}

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* record) {
  return Boundary("RegisterClassExW", ATOM{0}, [&] {
    return RegisterCopy<WNDCLASSEXW, wchar_t>(record, &::RegisterClassExW, &::UnregisterClassW);
  });
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* record) {
  return Boundary("RegisterClassW", ATOM{0}, [&] {
    return RegisterCopy<WNDCLASSW, wchar_t>(record, &::RegisterClassW, &::UnregisterClassW);
  });
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID parameter) {
  return Boundary("CreateWindowExA", HWND{nullptr}, [&] {
    std::wstring registered;
    std::string registeredAnsi;
    if (RegisteredName(className, false, registered)) {
      registeredAnsi = WideToAnsi(registered);
      className = registeredAnsi.c_str();
    }
    return ::CreateWindowExA(exStyle, className, windowName, style, x, y, width, height, parent,
                             menu, TranslatedInstance(instance), parameter);
  });
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID parameter) {
  return Boundary("CreateWindowExW", HWND{nullptr}, [&] {
    std::wstring registered;
    if (RegisteredName(className, true, registered)) {
      className = registered.c_str();
    }
    return ::CreateWindowExW(exStyle, className, windowName, style, x, y, width, height, parent,
                             menu, TranslatedInstance(instance), parameter);
  });
}

HCURSOR WINAPI LoadCursorA(HINSTANCE module, LPCSTR name) {
  if (module == nullptr) {
    return ::LoadCursorA(nullptr, name);
  }
  return Boundary("LoadCursorA", HCURSOR{nullptr}, [&]() -> HCURSOR {
    TSavedCursors* saved = RuntimeUnit().savedCursors.get();
    if (saved != nullptr) {
      if (HCURSOR cursor = saved->Find(module, name)) {
        return cursor;
      }
    }
    const void* group = nullptr;
    uint32_t groupSize = 0;
    if (!FindImageResource(module, 12, name, group, groupSize)) {
      return nullptr;
    }
    const int id = ::LookupIconIdFromDirectory(static_cast<PBYTE>(const_cast<void*>(group)), FALSE);
    if (id == 0) {
      return nullptr;
    }
    const void* image = nullptr;
    uint32_t imageSize = 0;
    if (!FindImageResource(module, 1, MAKEINTRESOURCEA(id), image, imageSize)) {
      return nullptr;
    }
    HCURSOR cursor = reinterpret_cast<HCURSOR>(::CreateIconFromResource(
        static_cast<PBYTE>(const_cast<void*>(image)), imageSize, FALSE, 0x00030000));
    if (saved != nullptr) {
      saved->Add(cursor, module, name);
    }
    return cursor;
  });
}

HMENU WINAPI LoadMenuA(HINSTANCE module, LPCSTR name) {
  const void* data = nullptr;
  uint32_t size = 0;
  if (module == nullptr || !FindImageResource(module, 4, name, data, size)) {
    return nullptr;
  }
  return ::LoadMenuIndirectA(data);
}

BOOL WINAPI FlushInstructionCache(HANDLE process, LPCVOID address, SIZE_T size) {
  // Code the runtime wrote and now flushes becomes executable; the previous
  // protection is not restored.
  DWORD previous = 0;
  ::VirtualProtect(const_cast<LPVOID>(address), size, PAGE_EXECUTE_READWRITE, &previous);
  return ::FlushInstructionCache(process, address, size);
}

LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protection) {
  if (address != nullptr && (protection & PAGE_GUARD) != 0) {
    protection &= ~static_cast<DWORD>(PAGE_GUARD);
    MEMORY_BASIC_INFORMATION region{};
    if (::VirtualQuery(address, &region, sizeof region) != 0) {
      size = region.RegionSize;
    }
  }
  return ::VirtualAlloc(address, size, allocationType, protection);
}

MMRESULT WINAPI waveOutOpen(LPHWAVEOUT device, UINT deviceId, LPCWAVEFORMATEX format,
                            DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  TSoundGuard guard;
  const MMRESULT result = ::waveOutOpen(device, deviceId, format, callback, instance, flags);
  TMapCardinal2Cardinal* formats = RuntimeUnit().waveFormats.get();
  if (result == MMSYSERR_NOERROR && device != nullptr && format != nullptr && formats != nullptr) {
    // The device is open whatever happens here; without its format its
    // buffers are played unscaled.
    Boundary("waveOutOpen", [&] {
      formats->Add(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(*device)),
                   format->wBitsPerSample / 8u);
    });
  }
  return result;
}

MMRESULT WINAPI waveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT headerSize) {
  TSoundGuard guard;
  const TRuntimeUnitState& unit = RuntimeUnit();
  if (header != nullptr && header->lpData != nullptr) {
    uint32_t bytesPerSample = 0;
    if (!unit.soundEnabled) {
      ::ZeroMemory(header->lpData, header->dwBufferLength);
    } else if (unit.waveFormats != nullptr &&
               unit.waveFormats->Find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(device)),
                                      bytesPerSample)) {
      if (bytesPerSample == 1) {
        Scale<uint8_t, 128>(header->lpData, header->dwBufferLength, unit.volume);
      } else if (bytesPerSample == 2) {
        Scale<int16_t, 0>(header->lpData, header->dwBufferLength, unit.volume);
      }
    }
  }
  return ::waveOutWrite(device, header, headerSize);
}

MMRESULT WINAPI waveOutClose(HWAVEOUT device) {
  TSoundGuard guard;
  return ::waveOutClose(device);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  return Boundary("GetProcAddress", FARPROC{nullptr}, [&] {
    if (IsString(name)) {
      if (TFlashOCXCodeProviderBasedOnStream* provider = RuntimeCodeProvider()) {
        if (TFlashOCXLoader* loader = provider->Loader()) {
          if (void* replacement = loader->GetImportReplacement(nullptr, name)) {
            return reinterpret_cast<FARPROC>(replacement);
          }
        }
      }
    }
    return ::GetProcAddress(module, name);
  });
}

}  // namespace leafbook::replacements
