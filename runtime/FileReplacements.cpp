// The replacements for the runtime's file functions and CreateURLMoniker.
// Opens go to the content manager; a handle it gave out as fake is served
// from its stream, every other handle reaches the system unchanged. Stream
// failures become the failure result of the function replaced.
#include "framework/base/ComBoundary.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Exceptions.h"
#include "runtime/Replacements.h"
#include "runtime/RuntimeUnit.h"

namespace leafbook::replacements {
namespace {

constexpr BOOL kTrue = static_cast<BOOL>(~0u);

// Decided once at entry: the stream of a fake handle, or null.
TStream* FakeStream(HANDLE handle) {
  TContentManager* manager = ContentManager();
  return manager == nullptr ? nullptr : manager->FindFakeHandleStream(handle);
}

bool Origin(DWORD method, TSeekOrigin& origin) {
  switch (method) {
    case FILE_BEGIN:
      origin = TSeekOrigin::Beginning;
      return true;
    case FILE_CURRENT:
      origin = TSeekOrigin::Current;
      return true;
    case FILE_END:
      origin = TSeekOrigin::End;
      return true;
    default:
      return false;
  }
}

// The stream's position after a seek by a 32-bit signed distance; raises
// for a move method the system does not know, as for a stream failure.
int64_t SeekStream(TStream& stream, LONG distance, DWORD method) {
  TSeekOrigin origin = TSeekOrigin::Beginning;
  if (!Origin(method, origin)) {
    throw Exception("unknown move method");
  }
  stream.Seek(distance, origin);
  return stream.GetPosition();
}

void* Lookup(const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name));
}

}  // namespace

HRESULT WINAPI CreateURLMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker) {
  const TComPtr<IMoniker> hold(context);
  if (moniker != nullptr) {
    *moniker = nullptr;
  }
  TContentManager* manager = ContentManager();
  return manager == nullptr ? E_FAIL : manager->CreateMoniker(context, url, moniker);
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  TContentManager* manager = ContentManager();
  if (manager == nullptr) {
    return ::CreateFileA(path, access, share, security, disposition, flags, templateFile);
  }
  return Boundary("CreateFileA", INVALID_HANDLE_VALUE, [&] {
    return manager->OpenFileA(path, access, share, security, disposition, flags, templateFile);
  });
}

HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
  TContentManager* manager = ContentManager();
  if (manager == nullptr) {
    return ::CreateFileW(path, access, share, security, disposition, flags, templateFile);
  }
  return manager->OpenFileW(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped) {
  TStream* stream = FakeStream(file);
  if (stream == nullptr) {
    return ::ReadFile(file, buffer, count, bytesRead, overlapped);
  }
  return Boundary("ReadFile", FALSE, [&] {
    // A stream reads at most 2^31 - 1 bytes at a time; the runtime reads on.
    const auto wanted = static_cast<int32_t>(count > 0x7FFFFFFFu ? 0x7FFFFFFFu : count);
    const int32_t read = stream->Read(buffer, wanted);
    if (bytesRead != nullptr) {
      *bytesRead = static_cast<DWORD>(read);
    }
    return kTrue;
  });
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  TContentManager* manager = ContentManager();
  if (manager != nullptr && manager->ReleaseFakeHandle(handle)) {
    return kTrue;
  }
  return ::CloseHandle(handle);
}

DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  TStream* stream = FakeStream(file);
  if (stream == nullptr) {
    return ::GetFileSize(file, sizeHigh);
  }
  return Boundary("GetFileSize", DWORD{0}, [&] {
    const auto size = static_cast<uint64_t>(stream->GetSize());
    if (sizeHigh != nullptr) {
      *sizeHigh = static_cast<DWORD>(size >> 32);
    }
    return static_cast<DWORD>(size);
  });
}

BOOL WINAPI GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
  TStream* stream = FakeStream(file);
  if (stream == nullptr) {
    // Older systems lack it: looked up at each call.
    using TGetFileSizeEx = BOOL(WINAPI*)(HANDLE, PLARGE_INTEGER);
    if (auto system = reinterpret_cast<TGetFileSizeEx>(Lookup("GetFileSizeEx"))) {
      return system(file, size);
    }
    if (size != nullptr) {
      DWORD high = 0;
      size->LowPart = GetFileSize(file, &high);
      size->HighPart = static_cast<LONG>(high);
    }
    return kTrue;
  }
  return Boundary("GetFileSizeEx", FALSE, [&] {
    const int64_t streamSize = stream->GetSize();
    if (size != nullptr) {
      size->QuadPart = streamSize;
    }
    return kTrue;
  });
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  TStream* stream = FakeStream(file);
  if (stream == nullptr) {
    return ::SetFilePointer(file, distance, distanceHigh, method);
  }
  return Boundary("SetFilePointer", INVALID_SET_FILE_POINTER, [&] {
    // Only the 32-bit signed distance counts; the value behind distanceHigh
    // is not read.
    const auto position = static_cast<uint64_t>(SeekStream(*stream, distance, method));
    if (distanceHigh != nullptr) {
      *distanceHigh = static_cast<LONG>(position >> 32);
    }
    return static_cast<DWORD>(position);
  });
}

BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                             DWORD method) {
  TStream* stream = FakeStream(file);
  if (stream == nullptr) {
    using TSetFilePointerEx = BOOL(WINAPI*)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);
    if (auto system = reinterpret_cast<TSetFilePointerEx>(Lookup("SetFilePointerEx"))) {
      return system(file, distance, newPosition, method);
    }
    SetFilePointer(file, static_cast<LONG>(distance.LowPart), nullptr, method);
    return kTrue;
  }
  return Boundary("SetFilePointerEx", FALSE, [&] {
    // Only the low 32 bits of the distance are used.
    const int64_t position = SeekStream(*stream, static_cast<LONG>(distance.LowPart), method);
    if (newPosition != nullptr) {
      newPosition->QuadPart = position;
    }
    return kTrue;
  });
}

}  // namespace leafbook::replacements
