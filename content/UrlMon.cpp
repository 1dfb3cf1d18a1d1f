// The process's one binding of urlmon.
#include "content/UrlMon.h"

#include "framework/base/Exceptions.h"
#include "framework/base/Resources.h"

namespace leafbook {

namespace {

TOwnedModule library;
TUrlMonFunctions functions;

template <class T>
T Bind(HMODULE module, const char* name) {
  FARPROC address = ::GetProcAddress(module, name);
  if (!address) {
    throw Exception(std::string("GetProcAddress(") + name + ") failed");
  }
  return reinterpret_cast<T>(reinterpret_cast<void*>(address));
}

}  // namespace

void BindUrlMon() {
  if (library) {
    return;
  }
  TOwnedModule module(::LoadLibraryA("urlmon.dll"));
  if (!module) {
    throw Exception("LoadLibrary(urlmon.dll) failed");
  }
  TUrlMonFunctions bound;
  bound.CreateURLMoniker =
      Bind<TUrlMonFunctions::TCreateURLMoniker>(module.Get(), "CreateURLMoniker");
  bound.RegisterBindStatusCallback = Bind<TUrlMonFunctions::TRegisterBindStatusCallback>(
      module.Get(), "RegisterBindStatusCallback");
  functions = bound;
  library = std::move(module);
}

void UnbindUrlMon() {
  functions = TUrlMonFunctions{};
  library.Reset();
}

const TUrlMonFunctions& UrlMon() {
  return functions;
}

}  // namespace leafbook
