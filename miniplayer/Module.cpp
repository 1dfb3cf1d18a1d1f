// The module's entry points: DllMain, the class factory behind
// DllGetClassObject, DllCanUnloadNow and self-registration.
#include "miniplayer/Module.h"

#include <olectl.h>

#include <atomic>
#include <string>

#include "framework/base/ComBoundary.h"
#include "framework/base/ComObject.h"
#include "framework/base/Resources.h"

#include "miniplayer/CompiledCode.h"
#include "miniplayer/Player.h"
#include "miniplayer/PlayerWindow.h"
#include "miniplayer/Sound.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {

HINSTANCE moduleInstance = nullptr;
std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};

constexpr wchar_t kClsidKey[] = L"CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}";

class TClassFactory final
    : public TComObject<TClassFactory, TInterface<IClassFactory, &IID_IClassFactory>> {
 public:
  TClassFactory() { ObjectCreated(); }
  ~TClassFactory() { ObjectDestroyed(); }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    return ComBoundary("IClassFactory::CreateInstance", [&]() -> HRESULT {
      if (out == nullptr) {
        return E_POINTER;
      }
      *out = nullptr;
      if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
      }
      TComPtr<IOleObject> hold(NewComObject<TMiniPlayer>());  // dies here unless the query keeps it
      return hold->QueryInterface(iid, out);
    });
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    return ComBoundary("IClassFactory::LockServer", [&]() -> HRESULT {
      serverLocks += lock ? 1 : -1;
      return S_OK;
    });
  }
};

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

HINSTANCE ModuleInstance() {
  return moduleInstance;
}
void ObjectCreated() {
  ++liveObjects;
}
void ObjectDestroyed() {
  --liveObjects;
}

}  // namespace leafbook::miniplayer

using namespace leafbook::miniplayer;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    moduleInstance = instance;
    leafbook::SetBoundaryTracer(&TraceBoundaryFailure);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary: the window procedures and the code go with the image.
    TPlayerWindow::UnregisterClasses();
    TClick::UnregisterWindowClass();
    ReleaseCompiledCode();
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return leafbook::ComBoundary("DllGetClassObject", [&]() -> HRESULT {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualCLSID(clsid, kClsidPlayer)) {
      return CLASS_E_CLASSNOTAVAILABLE;
    }
    leafbook::TComPtr<IClassFactory> hold(leafbook::NewComObject<TClassFactory>());
    return hold->QueryInterface(iid, out);
  });
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  return liveObjects == 0 && serverLocks == 0 ? S_OK : S_FALSE;
}

// Registration writes the class key with this file as its in-process server.
// The file's path can be asked of the system only when the system loader
// mapped it, which is the case whenever registration is called: a host that
// maps the module itself never registers it.
extern "C" HRESULT WINAPI DllRegisterServer() {
  return leafbook::ComBoundary("DllRegisterServer", [&]() -> HRESULT {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(moduleInstance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      return SELFREG_E_CLASS;
    }
    LONG status = ERROR_SUCCESS;
    {
      leafbook::TOwnedRegKey classKey;
      if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kClsidKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                          classKey.Put(), nullptr) != ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
      }
      status = SetString(classKey.Get(), nullptr, L"Leafbook miniplayer");
      leafbook::TOwnedRegKey serverKey;
      if (status == ERROR_SUCCESS) {
        status = RegCreateKeyExW(classKey.Get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE,
                                 nullptr, serverKey.Put(), nullptr);
      }
      if (status == ERROR_SUCCESS) {
        status = SetString(serverKey.Get(), nullptr, path);
        if (status == ERROR_SUCCESS) {
          status = SetString(serverKey.Get(), L"ThreadingModel", L"Apartment");
        }
      }
    }  // both keys closed before the trace line, the server's first
    Trace(L"registered " + std::wstring(path));
    return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
  });
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  return leafbook::ComBoundary("DllUnregisterServer", [&]() -> HRESULT {
    const std::wstring server = std::wstring(kClsidKey) + L"\\InprocServer32";
    RegDeleteKeyW(HKEY_CLASSES_ROOT, server.c_str());
    const LONG status = RegDeleteKeyW(HKEY_CLASSES_ROOT, kClsidKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
  });
}
