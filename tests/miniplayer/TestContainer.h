// A minimal OLE container for the stand-in runtime's tests: a top-level
// window as the in-place parent, a client and in-place site (and its frame)
// that records what the control asked, an event sink that records what the control raised, and
// helpers to reach the automation surface by name.
#pragma once

#include <ocidl.h>
#include <oleidl.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/base/ComPtr.h"

namespace leafbook::miniplayer::testing {

// The module loaded the ordinary way, with its class factory.
struct TModule {
  HMODULE handle = nullptr;
  TComPtr<IClassFactory> factory;

  explicit TModule(const std::wstring& fileName);
  ~TModule();
  TModule(const TModule&) = delete;
  TModule& operator=(const TModule&) = delete;

  static std::wstring PathOf(const std::wstring& fileName);
  TComPtr<IOleObject> Create() const;
};

// The in-place frame: records SetActiveObject into its site's calls.
class TFrame final : public IOleInPlaceFrame {
 public:
  TFrame(std::vector<std::string>& calls, HWND& window) : calls_(calls), window_(window) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }  // lives in its site

  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
  STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override;
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

  long refs = 0;
  IOleInPlaceActiveObject* active = nullptr;  // not counted: the control clears it

 private:
  std::vector<std::string>& calls_;
  HWND& window_;
};

class TSite final : public IOleClientSite, public IOleInPlaceSite {
 public:
  TSite();
  ~TSite();
  TSite(const TSite&) = delete;
  TSite& operator=(const TSite&) = delete;

  HWND Parent() const { return parent_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }  // lives on the test's stack

  STDMETHODIMP SaveObject() override { return S_OK; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
  STDMETHODIMP GetContainer(IOleContainer** out) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
  STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() override;
  STDMETHODIMP OnUIActivate() override;
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override;
  STDMETHODIMP OnInPlaceDeactivate() override;
  STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

  long refs = 0;
  std::vector<std::string> calls;
  RECT position{10, 20, 330, 260};
  TFrame frame{calls, parent_};  // what GetWindowContext hands out

 private:
  HWND parent_ = nullptr;
};

struct TEvent {
  DISPID id;
  std::vector<std::wstring> args;  // natural order
};

class TEventSink final : public IDispatch {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) override;

  bool Has(DISPID id, const std::vector<std::wstring>& args) const;
  std::vector<long> ReadyStates() const;

  long refs = 0;
  std::vector<TEvent> events;
  std::function<void(const TEvent&)> onEvent;
};

// Automation by name.
VARIANT Get(IDispatch* object, const wchar_t* name, HRESULT* result = nullptr);
HRESULT Put(IDispatch* object, const wchar_t* name, VARIANT value);
VARIANT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args,
             HRESULT* result = nullptr);
VARIANT Str(const std::wstring& text);  // owns a BSTR: pass it on, the helpers free it
VARIANT Int(long value);
VARIANT Bool(bool value);
VARIANT Dbl(double value);
std::wstring AsString(const VARIANT& value);
long AsInt(const VARIANT& value);

// Runs the message loop until done() or the wait gives up (false).
bool PumpUntil(const std::function<bool()>& done, int limitMs = 15000);
void Pump(int ms);

std::string ReadTrace(const std::wstring& path);

}  // namespace leafbook::miniplayer::testing
