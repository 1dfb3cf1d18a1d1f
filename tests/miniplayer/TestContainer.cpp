// The test container of the stand-in runtime's tests.
#include "tests/miniplayer/TestContainer.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace leafbook::miniplayer::testing {

namespace {

const wchar_t kParentClass[] = L"MiniPlayerTestParent";

// {D27CDB6E-AE6D-11cf-96B8-444553540000}
const CLSID kClsid = {0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

void RegisterParentClass() {
  static bool done = false;
  if (!done) {
    WNDCLASSW window{};
    window.lpfnWndProc = DefWindowProcW;
    window.hInstance = GetModuleHandleW(nullptr);
    window.lpszClassName = kParentClass;
    window.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&window);
    done = true;
  }
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    out.push_back(static_cast<char>(c));
  }
  return out;
}

}  // namespace

std::wstring TModule::PathOf(const std::wstring& fileName) {
  std::string dir = MINIPLAYER_MODULE_DIR;
  return std::wstring(dir.begin(), dir.end()) + L"/" + fileName;
}

TModule::TModule(const std::wstring& fileName) {
  handle = LoadLibraryW(PathOf(fileName).c_str());
  if (handle == nullptr) {
    return;
  }
  using TGetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<TGetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(handle, "DllGetClassObject")));
  if (getClassObject != nullptr) {
    getClassObject(kClsid, IID_IClassFactory, factory.PutVoid());
  }
}

TModule::~TModule() {
  factory.Reset();
  if (handle != nullptr) {
    FreeLibrary(handle);
  }
}

TComPtr<IOleObject> TModule::Create() const {
  TComPtr<IOleObject> object;
  if (factory) {
    factory->CreateInstance(nullptr, IID_IOleObject, object.PutVoid());
  }
  return object;
}

TSite::TSite() {
  RegisterParentClass();
  parent_ = CreateWindowExW(0, kParentClass, L"miniplayer test", WS_OVERLAPPEDWINDOW, 0, 0, 800,
                            600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TSite::~TSite() {
  if (parent_ != nullptr) {
    DestroyWindow(parent_);
  }
}

STDMETHODIMP TSite::QueryInterface(REFIID iid, void** out) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
    *out = static_cast<IOleClientSite*>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
    *out = static_cast<IOleInPlaceSite*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP TSite::GetMoniker(DWORD, DWORD, IMoniker** out) {
  *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TSite::GetContainer(IOleContainer** out) {
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP TSite::GetWindow(HWND* window) {
  *window = parent_;
  return S_OK;
}

STDMETHODIMP TSite::OnInPlaceActivate() {
  calls.push_back("OnInPlaceActivate");
  return S_OK;
}

STDMETHODIMP TSite::OnUIActivate() {
  calls.push_back("OnUIActivate");
  return S_OK;
}

STDMETHODIMP TSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                     LPRECT positionOut, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
  calls.push_back("GetWindowContext");
  *frame = &this->frame;
  this->frame.AddRef();
  *document = nullptr;
  *positionOut = position;
  *clip = RECT{0, 0, 32767, 32767};
  info->fMDIApp = FALSE;
  info->hwndFrame = parent_;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

STDMETHODIMP TSite::OnUIDeactivate(BOOL) {
  calls.push_back("OnUIDeactivate");
  return S_OK;
}

STDMETHODIMP TSite::OnInPlaceDeactivate() {
  calls.push_back("OnInPlaceDeactivate");
  return S_OK;
}

STDMETHODIMP TFrame::QueryInterface(REFIID iid, void** out) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
      IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
    *out = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP TFrame::GetWindow(HWND* window) {
  *window = window_;
  return S_OK;
}

STDMETHODIMP TFrame::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) {
  calls_.push_back(object != nullptr ? "SetActiveObject" : "SetActiveObject none");
  active = object;
  return S_OK;
}

STDMETHODIMP TEventSink::QueryInterface(REFIID iid, void** out) {
  // {D27CDB6D-AE6D-11CF-96B8-444553540000}: the event interface, served as IDispatch.
  static const IID kEvents = {
      0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kEvents)) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP TEventSink::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

STDMETHODIMP TEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                EXCEPINFO*, UINT*) {
  TEvent event{id, {}};
  for (UINT i = params->cArgs; i-- > 0;) {  // arguments arrive last first
    event.args.push_back(AsString(params->rgvarg[i]));
  }
  events.push_back(event);
  if (onEvent) {
    onEvent(event);
  }
  return S_OK;
}

bool TEventSink::Has(DISPID id, const std::vector<std::wstring>& args) const {
  for (const TEvent& event : events) {
    if (event.id == id && event.args == args) {
      return true;
    }
  }
  return false;
}

std::vector<long> TEventSink::ReadyStates() const {
  std::vector<long> states;
  for (const TEvent& event : events) {
    if (event.id == -609 && !event.args.empty()) {
      states.push_back(std::stol(Narrow(event.args[0])));
    }
  }
  return states;
}

namespace {

DISPID IdOf(IDispatch* object, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

}  // namespace

VARIANT Get(IDispatch* object, const wchar_t* name, HRESULT* result) {
  VARIANT value;
  VariantInit(&value);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  const HRESULT hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (result != nullptr) {
    *result = hr;
  }
  return value;
}

HRESULT Put(IDispatch* object, const wchar_t* name, VARIANT value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &named, 1, 1};
  const HRESULT hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
  VariantClear(&value);
  return hr;
}

VARIANT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, HRESULT* result) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  VARIANT value;
  VariantInit(&value);
  const HRESULT hr = object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_METHOD, &params, &value, nullptr, nullptr);
  if (result != nullptr) {
    *result = hr;
  }
  for (VARIANT& arg : reversed) {
    VariantClear(&arg);
  }
  return value;
}

VARIANT Str(const std::wstring& text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

VARIANT Int(long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Bool(bool value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

VARIANT Dbl(double value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = value;
  return v;
}

std::wstring AsString(const VARIANT& value) {
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, const_cast<VARIANT*>(&value), VARIANT_ALPHABOOL, VT_BSTR))) {
    return L"<" + std::to_wstring(value.vt) + L">";
  }
  std::wstring out = text.bstrVal != nullptr ? text.bstrVal : L"";
  VariantClear(&text);
  return out;
}

long AsInt(const VARIANT& value) {
  VARIANT number;
  VariantInit(&number);
  if (FAILED(VariantChangeType(&number, const_cast<VARIANT*>(&value), 0, VT_I4))) {
    return -999999;
  }
  return number.lVal;
}

bool PumpUntil(const std::function<bool()>& done, int limitMs) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limitMs);
  while (!done()) {
    if (GetTickCount64() > end) {
      return false;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (!done()) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
  }
  return true;
}

void Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

std::string ReadTrace(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace leafbook::miniplayer::testing
