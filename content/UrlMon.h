// urlmon's CreateURLMoniker and RegisterBindStatusCallback, bound by name from
// "urlmon.dll" so that the content side always reaches the system's own
// functions, never an import that a loaded module had replaced. The unit
// start-up binds them once before anything binds a URL and releases them at
// shutdown; until then the functions that need them fall back as if urlmon
// had refused.
#pragma once

#include <windows.h>
#include <urlmon.h>

namespace leafbook {

struct TUrlMonFunctions {
  using TCreateURLMoniker = HRESULT(WINAPI*)(IMoniker* context, LPCWSTR url, IMoniker** moniker);
  using TRegisterBindStatusCallback = HRESULT(WINAPI*)(IBindCtx* bindContext,
                                                       IBindStatusCallback* callback,
                                                       IBindStatusCallback** previous,
                                                       DWORD reserved);
  TCreateURLMoniker CreateURLMoniker = nullptr;
  TRegisterBindStatusCallback RegisterBindStatusCallback = nullptr;
};

// Loads "urlmon.dll" and binds both functions; nothing happens when they are
// bound already. Raises Exception "LoadLibrary(urlmon.dll) failed",
// "GetProcAddress(CreateURLMoniker) failed" or
// "GetProcAddress(RegisterBindStatusCallback) failed", leaving nothing bound.
void BindUrlMon();
// Forgets both functions and frees the library.
void UnbindUrlMon();
// The bound functions; both null while unbound. Start-up binds before other
// threads exist, so reading them needs no lock.
const TUrlMonFunctions& UrlMon();

}  // namespace leafbook
