// The host routines that stand in for 23 imports of the movie runtime. Each
// has exactly the signature and calling convention of the function it
// replaces, and reaches the system's own function through the host program's
// imports, which the module loader never alters. TRUE results are a value
// with all bits set.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <urlmon.h>

namespace leafbook::replacements {

// Window classes, windows, cursors, menus, code pages, sound and GetProcAddress.
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* record);
ATOM WINAPI RegisterClassA(const WNDCLASSA* record);
ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* record);
ATOM WINAPI RegisterClassW(const WNDCLASSW* record);
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID parameter);
HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID parameter);
HCURSOR WINAPI LoadCursorA(HINSTANCE module, LPCSTR name);
HMENU WINAPI LoadMenuA(HINSTANCE module, LPCSTR name);
MMRESULT WINAPI waveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT headerSize);
MMRESULT WINAPI waveOutOpen(LPHWAVEOUT device, UINT deviceId, LPCWAVEFORMATEX format,
                            DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT WINAPI waveOutClose(HWAVEOUT device);
BOOL WINAPI FlushInstructionCache(HANDLE process, LPCVOID address, SIZE_T size);
LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protection);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);

// Files and URLs, through the content manager and its fake file handles.
HRESULT WINAPI CreateURLMoniker(IMoniker* context, LPCWSTR url, IMoniker** moniker);
HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD bytesRead,
                     LPOVERLAPPED overlapped);
BOOL WINAPI CloseHandle(HANDLE handle);
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL WINAPI GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
BOOL WINAPI SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                             DWORD method);

// The number in generated window-class names: it tells this copy of the host
// code from others in the process.
int HostCopyNumber();
// The instance handle of the module that holds the host code.
HINSTANCE HostModuleInstance();

}  // namespace leafbook::replacements
