// The recording fake runtime object and its provider.
#include "tests/flashhost/FakeRuntime.h"

#include <windowsx.h>

#include <algorithm>

#include "flashhost/FlashPlayerControl.h"

namespace leafbook::testing {

namespace {

constexpr wchar_t kWindowClass[] = L"FakeRuntimeWindow";

LRESULT CALLBACK FakeWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (auto* log = reinterpret_cast<TFakeRuntimeLog*>(::GetWindowLongPtrW(window, GWLP_USERDATA))) {
    log->messages.push_back(msg);
    if (msg == WM_CONTEXTMENU) {
      log->contextMenuAt = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    }
  }
  return ::DefWindowProcW(window, msg, wParam, lParam);
}

void RegisterWindowClass() {
  static const bool registered = [] {
    WNDCLASSW record{};
    record.lpfnWndProc = FakeWindowProc;
    record.hInstance = ::GetModuleHandleW(nullptr);
    record.lpszClassName = kWindowClass;
    return ::RegisterClassW(&record) != 0;
  }();
  (void)registered;
}

std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

std::wstring AsText(const VARIANT& value) {
  VARIANT text;
  ::VariantInit(&text);
  if (FAILED(::VariantChangeType(&text, const_cast<VARIANT*>(&value), 0, VT_BSTR))) {
    return L"?";
  }
  std::wstring result(text.bstrVal, ::SysStringLen(text.bstrVal));
  ::VariantClear(&text);
  return result;
}

std::string RectText(LPCRECT rect) {
  if (!rect) {
    return "null";
  }
  return std::to_string(rect->left) + "," + std::to_string(rect->top) + "," +
         std::to_string(rect->right) + "," + std::to_string(rect->bottom);
}

class TFakePoint final
    : public TComObject<TFakePoint, TInterface<IConnectionPoint, &IID_IConnectionPoint>> {
 public:
  TFakePoint(std::shared_ptr<TFakeRuntimeLog> log, bool events)
      : log_(std::move(log)), events_(events) {}
  ~TFakePoint() = default;

  STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    log_->calls.push_back(std::string("Advise ") + Name());
    if (!sink || !cookie) {
      return E_POINTER;
    }
    sink_ = TComPtr<IUnknown>(sink);
    if (events_) {
      log_->eventSink = sink_.As<IDispatch>(IID_IDispatch).Get();  // the site holds itself
    }
    *cookie = events_ ? 7 : 9;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    log_->calls.push_back(std::string("Unadvise ") + Name() + " " + std::to_string(cookie));
    if (events_) {
      log_->eventSink = nullptr;
    }
    sink_.Reset();
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 private:
  const char* Name() const { return events_ ? "events" : "properties"; }
  std::shared_ptr<TFakeRuntimeLog> log_;
  bool events_;
  TComPtr<IUnknown> sink_;
};

class TFakeRuntime final
    : public TComObject<TFakeRuntime, TInterface<IOleObject, &IID_IOleObject>,
                        TInterface<IOleControl, &IID_IOleControl>,
                        TInterface<IOleInPlaceObject, &IID_IOleWindow, &IID_IOleInPlaceObject>,
                        TInterface<IOleInPlaceActiveObject, &IID_IOleInPlaceActiveObject>,
                        TInterface<IConnectionPointContainer, &IID_IConnectionPointContainer>,
                        TInterface<IDispatch, &IID_IDispatch>> {
 public:
  explicit TFakeRuntime(std::shared_ptr<TFakeRuntimeLog> log)
      : log_(std::move(log)),
        events_(NewComObject<TFakePoint>(log_, true)),
        properties_(NewComObject<TFakePoint>(log_, false)) {}
  ~TFakeRuntime() {
    if (log_->window) {
      ::DestroyWindow(log_->window);
      log_->window = nullptr;
    }
    log_->calls.push_back("destroyed");
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (log_->failControlQuery && iid == IID_IOleControl) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return TComObject::QueryInterface(iid, out);
  }

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override {
    Record(site ? "SetClientSite site" : "SetClientSite null");
    if (FAILED(log_->setClientSite)) {
      return log_->setClientSite;
    }
    site_ = TComPtr<IOleClientSite>(site);
    log_->site = site;
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** site) override {
    Record("GetClientSite");
    *site = site_.Get();
    if (*site) {
      (*site)->AddRef();
    }
    return S_OK;
  }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD option) override {
    Record("Close " + std::to_string(option));
    Deactivate();
    return S_OK;
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                      LPCRECT rect) override {
    Record("DoVerb " + std::to_string(verb) + " " + RectText(rect));
    if (!active_ && log_->activates && site) {
      if (log_->hasWindow) {
        RegisterWindowClass();
        const RECT at = rect ? *rect : RECT{0, 0, 0, 0};
        log_->window = ::CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE, at.left,
                                         at.top, at.right - at.left, at.bottom - at.top, parent,
                                         nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ::SetWindowLongPtrW(log_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(log_.get()));
      }
      site->QueryInterface(IID_IOleInPlaceSite, inPlaceSite_.PutVoid());
      if (inPlaceSite_) {
        inPlaceSite_->OnInPlaceActivate();
      }
      active_ = true;
    } else if (active_ && rect && log_->window) {
      ::MoveWindow(log_->window, rect->left, rect->top, rect->right - rect->left,
                   rect->bottom - rect->top, TRUE);
    }
    if (log_->showsOnEveryVerb && log_->window) {
      ::ShowWindow(log_->window, SW_SHOWNA);
    }
    if (verb == OLEIVERB_UIACTIVATE && inPlaceSite_) {
      inPlaceSite_->OnUIActivate();
    }
    return S_OK;
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
    Record("SetExtent " + std::to_string(aspect) + " " + std::to_string(size->cx) + "x" +
           std::to_string(size->cy));
    if (log_->setExtent == S_OK) {
      log_->extent = *size;
    }
    return log_->setExtent;
  }
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
    Record("GetExtent " + std::to_string(aspect));
    if (log_->getExtent == S_OK) {
      *size = log_->extent;
    }
    return log_->getExtent;
  }
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override {
    Record("GetControlInfo");
    if (!accelerators_) {
      ACCEL accel{FVIRTKEY, 'Q', 1};
      accelerators_ = ::CreateAcceleratorTableW(&accel, 1);
    }
    info->hAccel = accelerators_;
    info->cAccel = 1;
    info->dwFlags = 0;
    return S_OK;
  }
  STDMETHODIMP OnMnemonic(MSG* message) override {
    Record("OnMnemonic " + std::to_string(message->wParam));
    return S_OK;
  }
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override {
    Record("OnAmbientPropertyChange " + std::to_string(id));
    return S_OK;
  }
  STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* window) override {
    Record("GetWindow");
    *window = log_->hasWindow ? log_->window : nullptr;
    return *window ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
  STDMETHODIMP InPlaceDeactivate() override {
    Record("InPlaceDeactivate");
    Deactivate();
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() override {
    Record("UIDeactivate");
    if (inPlaceSite_) {
      inPlaceSite_->OnUIDeactivate(FALSE);
    }
    return S_OK;
  }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override {
    Record("SetObjectRects " + RectText(position) + " " + RectText(clip));
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG message) override {
    Record("TranslateAccelerator " + std::to_string(message->message) + " " +
           std::to_string(message->wParam) + " " + std::to_string(message->pt.x));
    return message->wParam == 'T' ? S_OK : S_FALSE;
  }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    *out = nullptr;
    if (iid == DIID_IShockwaveFlashEvents && log_->events) {
      *out = events_.Get();
    } else if (iid == IID_IPropertyNotifySink) {
      *out = properties_.Get();
    } else {
      return OLE_E_NOCONNECTION;
    }
    (*out)->AddRef();
    return S_OK;
  }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    log_->automationThreads.push_back(::GetCurrentThreadId());
    for (UINT i = 0; i < count; ++i) {
      Record("GetIDsOfNames " + Narrow(names[i]));
      auto found = std::find(names_.begin(), names_.end(), std::wstring(names[i]));
      if (found == names_.end()) {
        names_.push_back(names[i]);
        found = names_.end() - 1;
      }
      ids[i] = static_cast<DISPID>(found - names_.begin()) + 1;
    }
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override {
    log_->automationThreads.push_back(::GetCurrentThreadId());
    if (id < 1 || static_cast<size_t>(id) > names_.size()) {
      return DISP_E_MEMBERNOTFOUND;
    }
    const std::wstring& name = names_[static_cast<size_t>(id) - 1];
    std::string call = (flags & DISPATCH_PROPERTYPUT) ? "Put "
                       : (flags & DISPATCH_METHOD)    ? "Call "
                                                      : "Get ";
    call += Narrow(name);
    for (UINT i = params->cArgs; i-- > 0;) {
      call += ' ';
      call += Narrow(AsText(params->rgvarg[i]));
    }
    if (name != L"FlashVersion") {
      Record(call);
    }
    if (log_->failAutomation && name != L"FlashVersion") {
      return E_FAIL;
    }
    if (name == L"FlashVersion") {
      result->vt = VT_I4;
      result->lVal = log_->flashVersion;
      return S_OK;
    }
    if (flags & DISPATCH_PROPERTYPUT) {
      log_->values[name] = AsText(params->rgvarg[0]);
      return S_OK;
    }
    auto value = log_->values.find(name);
    if (result && value != log_->values.end()) {
      result->vt = VT_BSTR;
      result->bstrVal = ::SysAllocString(value->second.c_str());
    }
    return S_OK;
  }

 private:
  void Record(const std::string& call) { log_->calls.push_back(call); }
  void Deactivate() {
    if (!active_) {
      return;
    }
    active_ = false;
    if (inPlaceSite_) {
      inPlaceSite_->OnInPlaceDeactivate();
      inPlaceSite_.Reset();
    }
    if (log_->window) {
      ::DestroyWindow(log_->window);
      log_->window = nullptr;
    }
  }

  std::shared_ptr<TFakeRuntimeLog> log_;
  TComPtr<TFakePoint> events_;
  TComPtr<TFakePoint> properties_;
  TComPtr<IOleClientSite> site_;
  TComPtr<IOleInPlaceSite> inPlaceSite_;
  bool active_ = false;
  std::vector<std::wstring> names_;
  HACCEL accelerators_ = nullptr;
};

}  // namespace

bool TFakeRuntimeLog::Saw(const std::string& call) const {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

std::string TFakeRuntimeLog::Joined() const {
  std::string text;
  for (const std::string& call : calls) {
    text += (text.empty() ? "" : ", ") + call;
  }
  return text;
}

HRESULT TFakeProvider::CreateInstance(REFIID iid, void** out) {
  *out = nullptr;
  if (!creates_) {
    return E_FAIL;
  }
  TComPtr<TFakeRuntime> object(NewComObject<TFakeRuntime>(log_));
  return object->QueryInterface(iid, out);
}

std::shared_ptr<TFakeRuntimeLog> UseFakeRuntime(uint32_t moduleVersion, bool creates) {
  auto log = std::make_shared<TFakeRuntimeLog>();
  SetRuntimeCodeProvider(std::make_unique<TFakeProvider>(log, moduleVersion, creates));
  return log;
}

HRESULT FireFakeEvent(TFakeRuntimeLog& log, DISPID id, std::vector<VARIANT> args) {
  std::reverse(args.begin(), args.end());
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  EXCEPINFO exception{};
  UINT argError = 0;
  const HRESULT result = log.eventSink
                             ? log.eventSink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params,
                                                     nullptr, &exception, &argError)
                             : E_UNEXPECTED;
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  for (VARIANT& arg : args) {
    ::VariantClear(&arg);
  }
  return result;
}

}  // namespace leafbook::testing
