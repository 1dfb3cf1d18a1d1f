// The OLE control side of TMiniPlayer, its windows, its content and its events.
// The automation surface is in PlayerDispatch.cpp.
#include "miniplayer/Player.h"

#include <olectl.h>
#include <windowsx.h>

#include <algorithm>

#include "framework/base/Handle.h"
#include "miniplayer/Dispids.h"
#include "miniplayer/Module.h"
#include "miniplayer/MovieUrl.h"
#include "miniplayer/Resource.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {

constexpr wchar_t kWindowClass[] = L"MiniPlayerWindow";
constexpr char kWorkerClass[] = "MiniPlayerWorker";
constexpr wchar_t kAboutClass[] = L"MiniPlayerAbout";
constexpr UINT kRunPostedMessage = WM_APP + 1;
constexpr UINT_PTR kFrameTimer = 1;
constexpr double kDefaultRate = 12.0;
bool classesRegistered = false;

struct TGdiObjectTraits {
  using Native = HGDIOBJ;
  static Native Invalid() noexcept { return nullptr; }
  static void Close(Native object) noexcept { DeleteObject(object); }
};
struct TMemoryDcTraits {
  using Native = HDC;
  static Native Invalid() noexcept { return nullptr; }
  static void Close(Native dc) noexcept { DeleteDC(dc); }
};
struct TMenuTraits {
  using Native = HMENU;
  static Native Invalid() noexcept { return nullptr; }
  static void Close(Native menu) noexcept { DestroyMenu(menu); }
};
using TGdiObject = TOwnedHandle<TGdiObjectTraits>;
using TMemoryDc = TOwnedHandle<TMemoryDcTraits>;
using TMenu = TOwnedHandle<TMenuTraits>;

VARIANT IntArg(long value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT StringArg(const std::wstring& value) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return v;
}

COLORREF ToColorRef(uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace

// ---------------------------------------------------------------- layers

void TLayer::OnGetUrl(const std::string& movieUrl, const std::string& target) {
  player.MovieGetUrl(level, movieUrl, target);
}

void TLayer::OnFrameShown(int frame) {
  player.FrameShown(level, frame);
}

// ---------------------------------------------------------------- life

bool TMiniPlayer::RegisterClasses() {
  if (classesRegistered) {
    return true;
  }
  WNDCLASSEXW window{};
  window.cbSize = sizeof window;
  window.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  window.lpfnWndProc = &TMiniPlayer::WindowProc;
  window.hInstance = ModuleInstance();
  window.hCursor = LoadCursorA(ModuleInstance(), MAKEINTRESOURCEA(MINIPLAYER_CURSOR_PAGE));
  if (window.hCursor == nullptr) {
    Trace(L"page cursor missing; the arrow stands in");
    window.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  }
  window.lpszClassName = kWindowClass;
  if (RegisterClassExW(&window) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  WNDCLASSW about{};
  about.lpfnWndProc = &TMiniPlayer::AboutProc;
  about.hInstance = ModuleInstance();
  about.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  about.hCursor = window.hCursor;
  about.lpszClassName = kAboutClass;
  if (RegisterClassW(&about) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  WNDCLASSA worker{};
  worker.lpfnWndProc = &TMiniPlayer::WorkerProc;
  worker.hInstance = ModuleInstance();
  worker.lpszClassName = kWorkerClass;
  if (RegisterClassA(&worker) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return false;
  }
  classesRegistered = true;
  return true;
}

void TMiniPlayer::UnregisterClasses() {
  if (classesRegistered) {
    UnregisterClassW(kWindowClass, ModuleInstance());
    UnregisterClassA(kWorkerClass, ModuleInstance());
    UnregisterClassW(kAboutClass, ModuleInstance());
    classesRegistered = false;
  }
}

TMiniPlayer::TMiniPlayer()
    : events_(*this, kDiidEvents, kDiidEvents, &IID_IDispatch),
      propertySinks_(*this, IID_IPropertyNotifySink, IID_IPropertyNotifySink, nullptr),
      link_(std::make_shared<TLoadLink>()) {
  ObjectCreated();
  link_->client = this;
  SetDefaults();
  // The stage of a movie file without one: 550 x 400 pixels, in HIMETRIC.
  HDC screen = GetDC(nullptr);
  extent_.cx = MulDiv(550, 2540, GetDeviceCaps(screen, LOGPIXELSX));
  extent_.cy = MulDiv(400, 2540, GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  RegisterClasses();
  worker_ = CreateWindowExA(0, kWorkerClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            ModuleInstance(), this);
  if (worker_ == nullptr) {
    Trace(L"worker window not created, error " + std::to_wstring(GetLastError()));
  }
  Trace(L"object created");
}

TMiniPlayer::~TMiniPlayer() {
  link_->client = nullptr;
  if (about_ != nullptr) {
    SetWindowLongPtrW(about_, GWLP_USERDATA, 0);
    DestroyWindow(about_);
  }
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (worker_ != nullptr) {
    SetWindowLongPtrW(worker_, GWLP_USERDATA, 0);
    DestroyWindow(worker_);
  }
  events_.Clear();
  propertySinks_.Clear();
  Trace(L"object destroyed");
  ObjectDestroyed();
}

STDMETHODIMP TMiniPlayer::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject)) {
    *out = static_cast<IOleObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleControl)) {
    *out = static_cast<IOleControl*>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
    *out = static_cast<IOleInPlaceObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
    *out = static_cast<IOleInPlaceActiveObject*>(this);
  } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
    *out = static_cast<IConnectionPointContainer*>(this);
  } else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kIidAutomation)) {
    *out = static_cast<IDispatch*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TMiniPlayer::AddRef() {
  return AddRefImpl();
}

STDMETHODIMP_(ULONG) TMiniPlayer::Release() {
  return ReleaseImpl();
}

// ---------------------------------------------------------------- IOleObject

STDMETHODIMP TMiniPlayer::SetClientSite(IOleClientSite* site) {
  site_ = site;
  return S_OK;
}

STDMETHODIMP TMiniPlayer::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) {
    return E_POINTER;
  }
  *site = TComPtr<IOleClientSite>(site_).Detach();
  return S_OK;
}

STDMETHODIMP TMiniPlayer::SetHostNames(LPCOLESTR, LPCOLESTR) {
  return S_OK;
}

STDMETHODIMP TMiniPlayer::Close(DWORD) {
  Trace(L"close");
  InPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP TMiniPlayer::SetMoniker(DWORD, IMoniker*) {
  return E_NOTIMPL;
}

STDMETHODIMP TMiniPlayer::GetMoniker(DWORD, DWORD, IMoniker** out) {
  if (out != nullptr) {
    *out = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP TMiniPlayer::InitFromData(IDataObject*, BOOL, DWORD) {
  return E_NOTIMPL;
}

STDMETHODIMP TMiniPlayer::GetClipboardData(DWORD, IDataObject** out) {
  if (out != nullptr) {
    *out = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP TMiniPlayer::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                 LPCRECT rect) {
  switch (verb) {
    case OLEIVERB_INPLACEACTIVATE:
      return ActivateInPlace(site, parent, rect, false);
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
      return ActivateInPlace(site, parent, rect, true);
    case OLEIVERB_HIDE:
      if (window_ != nullptr) {
        ShowWindow(window_, SW_HIDE);
      }
      return S_OK;
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

STDMETHODIMP TMiniPlayer::EnumVerbs(IEnumOLEVERB** out) {
  if (out != nullptr) {
    *out = nullptr;
  }
  return OLEOBJ_E_NOVERBS;
}

STDMETHODIMP TMiniPlayer::Update() {
  return S_OK;
}
STDMETHODIMP TMiniPlayer::IsUpToDate() {
  return S_OK;
}

STDMETHODIMP TMiniPlayer::GetUserClassID(CLSID* clsid) {
  if (clsid == nullptr) {
    return E_POINTER;
  }
  *clsid = kClsidPlayer;
  return S_OK;
}

STDMETHODIMP TMiniPlayer::GetUserType(DWORD, LPOLESTR* out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  static const wchar_t kName[] = L"Leafbook miniplayer";
  *out = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof kName));
  if (*out == nullptr) {
    return E_OUTOFMEMORY;
  }
  memcpy(*out, kName, sizeof kName);
  return S_OK;
}

STDMETHODIMP TMiniPlayer::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) {
    return DV_E_DVASPECT;
  }
  if (size == nullptr) {
    return E_POINTER;
  }
  if (size->cx < 0 || size->cy < 0) {
    return E_INVALIDARG;
  }
  extent_ = *size;
  return S_OK;
}

STDMETHODIMP TMiniPlayer::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) {
    return DV_E_DVASPECT;
  }
  if (size == nullptr) {
    return E_POINTER;
  }
  *size = extent_;
  return S_OK;
}

STDMETHODIMP TMiniPlayer::Advise(IAdviseSink*, DWORD* cookie) {
  if (cookie != nullptr) {
    *cookie = 0;
  }
  return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP TMiniPlayer::Unadvise(DWORD) {
  return OLE_E_NOCONNECTION;
}

STDMETHODIMP TMiniPlayer::EnumAdvise(IEnumSTATDATA** out) {
  if (out != nullptr) {
    *out = nullptr;
  }
  return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP TMiniPlayer::GetMiscStatus(DWORD, DWORD* status) {
  if (status == nullptr) {
    return E_POINTER;
  }
  *status = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
            OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;
  return S_OK;
}

STDMETHODIMP TMiniPlayer::SetColorScheme(LOGPALETTE*) {
  return E_NOTIMPL;
}

// ---------------------------------------------------------------- IOleControl

STDMETHODIMP TMiniPlayer::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) {
    return E_POINTER;
  }
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

STDMETHODIMP TMiniPlayer::OnMnemonic(MSG*) {
  return S_OK;
}
STDMETHODIMP TMiniPlayer::OnAmbientPropertyChange(DISPID) {
  return S_OK;
}

STDMETHODIMP TMiniPlayer::FreezeEvents(BOOL freeze) {
  frozen_ = std::max(0, frozen_ + (freeze ? 1 : -1));
  return S_OK;
}

// ---------------------------------------------------------------- in place

HRESULT TMiniPlayer::ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect,
                                     bool uiActivate) {
  if (!inPlaceActive_) {
    TComPtr<IOleClientSite> client(site != nullptr ? site : site_.Get());
    TComPtr<IOleInPlaceSite> inPlace = client.As<IOleInPlaceSite>(IID_IOleInPlaceSite);
    if (!inPlace) {
      return E_NOINTERFACE;
    }
    if (inPlace->CanInPlaceActivate() != S_OK) {
      return E_FAIL;
    }
    inPlaceSite_ = inPlace;
    inPlaceActive_ = true;
    inPlace->OnInPlaceActivate();
    if (parent == nullptr && FAILED(inPlace->GetWindow(&parent))) {
      parent = nullptr;
    }
    TComPtr<IOleInPlaceFrame> frame;
    TComPtr<IOleInPlaceUIWindow> document;
    RECT position{0, 0, 0, 0};
    RECT clip{0, 0, 0, 0};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof frameInfo;
    inPlace->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &frameInfo);
    if (rect != nullptr) {
      position = *rect;
    }
    if (window_ == nullptr) {
      window_ =
          CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_TABSTOP,
                          position.left, position.top, position.right - position.left,
                          position.bottom - position.top, parent, nullptr, ModuleInstance(), this);
      if (window_ == nullptr) {
        Trace(L"window not created, error " + std::to_wstring(GetLastError()));
        inPlaceActive_ = false;
        inPlace->OnInPlaceDeactivate();
        inPlaceSite_.Reset();
        return E_FAIL;
      }
    }
    frame_ = frame;
    Trace(L"in place active " + std::to_wstring(position.right - position.left) + L"x" +
          std::to_wstring(position.bottom - position.top));
    ShowWindow(window_, SW_SHOW);
  } else if (rect != nullptr) {
    SetObjectRects(rect, nullptr);
  }
  if (uiActivate && !uiActive_ && inPlaceSite_) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    if (frame_) {
      frame_->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), L"miniplayer");
    }
    SetFocus(window_);
  }
  return S_OK;
}

STDMETHODIMP TMiniPlayer::GetWindow(HWND* window) {
  if (window == nullptr) {
    return E_POINTER;
  }
  *window = window_;
  return window_ != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP TMiniPlayer::ContextSensitiveHelp(BOOL) {
  return E_NOTIMPL;
}

STDMETHODIMP TMiniPlayer::InPlaceDeactivate() {
  if (!inPlaceActive_) {
    return S_OK;
  }
  UIDeactivate();
  inPlaceActive_ = false;
  if (window_ != nullptr) {
    HWND window = std::exchange(window_, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  frame_.Reset();
  if (TComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_)) {
    site->OnInPlaceDeactivate();
  }
  Trace(L"in place deactivated");
  return S_OK;
}

STDMETHODIMP TMiniPlayer::UIDeactivate() {
  if (uiActive_) {
    uiActive_ = false;
    if (frame_) {
      frame_->SetActiveObject(nullptr, nullptr);
    }
    if (TComPtr<IOleInPlaceSite> site = inPlaceSite_) {
      site->OnUIDeactivate(FALSE);
    }
  }
  return S_OK;
}

STDMETHODIMP TMiniPlayer::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) {
    return E_POINTER;
  }
  if (window_ != nullptr) {
    MoveWindow(window_, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
  }
  return S_OK;
}

STDMETHODIMP TMiniPlayer::ReactivateAndUndo() {
  return E_NOTIMPL;
}
STDMETHODIMP TMiniPlayer::TranslateAccelerator(LPMSG) {
  return S_FALSE;
}
STDMETHODIMP TMiniPlayer::OnFrameWindowActivate(BOOL) {
  return S_OK;
}
STDMETHODIMP TMiniPlayer::OnDocWindowActivate(BOOL) {
  return S_OK;
}
STDMETHODIMP TMiniPlayer::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}
STDMETHODIMP TMiniPlayer::EnableModeless(BOOL) {
  return S_OK;
}

// ---------------------------------------------------------------- connection points

STDMETHODIMP TMiniPlayer::EnumConnectionPoints(IEnumConnectionPoints** out) {
  return NewConnectionPointEnumerator({&events_, &propertySinks_}, out);
}

STDMETHODIMP TMiniPlayer::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  *out = nullptr;
  if (IsEqualIID(iid, kDiidEvents)) {
    *out = &events_;
  } else if (IsEqualIID(iid, IID_IPropertyNotifySink)) {
    *out = &propertySinks_;
  } else {
    return CONNECT_E_NOCONNECTION;
  }
  (*out)->AddRef();
  return S_OK;
}

void TMiniPlayer::FireEvent(DISPID id, std::initializer_list<VARIANT> argsReversed) {
  std::vector<VARIANT> args(argsReversed);
  if (frozen_ == 0) {
    TComPtr<IUnknown> self(
        static_cast<IOleObject*>(this));  // a handler may drop the last reference
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    for (const TComPtr<IUnknown>& sink : events_.Sinks()) {
      // Each sink was taken as the event interface or IDispatch: both are IDispatch.
      static_cast<IDispatch*>(sink.Get())
          ->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                   nullptr);
    }
  }
  for (VARIANT& arg : args) {
    VariantClear(&arg);
  }
}

void TMiniPlayer::SetReadyState(long state) {
  readyState_ = state;
  Trace(L"event ReadyState " + std::to_wstring(state));
  FireEvent(kDispidReadyStateChange, {IntArg(state)});
  for (const TComPtr<IUnknown>& sink : propertySinks_.Sinks()) {
    static_cast<IPropertyNotifySink*>(sink.Get())->OnChanged(DISPID_READYSTATE);
  }
}

void TMiniPlayer::FireProgress(long percent) {
  Trace(L"event Progress " + std::to_wstring(percent));
  FireEvent(kDispidProgress, {IntArg(percent)});
}

void TMiniPlayer::FireFsCommand(const std::wstring& command, const std::wstring& args) {
  Trace(L"event FSCommand " + command + L" " + args);
  FireEvent(kDispidFSCommand, {StringArg(args), StringArg(command)});
}

// ---------------------------------------------------------------- windows

LRESULT CALLBACK TMiniPlayer::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* player = reinterpret_cast<TMiniPlayer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (player == nullptr) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (player->window_ == window) {
      player->window_ = nullptr;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  if (player->window_ == nullptr) {
    player->window_ = window;  // messages sent while CreateWindowEx still runs
  }
  return player->OnMessage(message, wParam, lParam);
}

LRESULT CALLBACK TMiniPlayer::WorkerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* player = reinterpret_cast<TMiniPlayer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (player != nullptr) {
    if (message == kRunPostedMessage) {
      player->RunPosted();
      return 0;
    }
    if (message == WM_TIMER && wParam == kFrameTimer) {
      player->Tick();
      return 0;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK TMiniPlayer::AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* player = reinterpret_cast<TMiniPlayer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT box;
      GetClientRect(window, &box);
      const TModuleVersion v = ModuleVersion();
      const std::wstring text = L"Leafbook miniplayer\nversion " + std::to_wstring(v.major) + L"." +
                                std::to_wstring(v.minor) + L"." + std::to_wstring(v.build) + L"." +
                                std::to_wstring(v.revision);
      SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      SetBkMode(dc, TRANSPARENT);
      InflateRect(&box, -8, -8);
      DrawTextW(dc, text.c_str(), -1, &box, DT_LEFT | DT_TOP);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_KEYDOWN:
      DestroyWindow(window);
      return 0;
    case WM_NCDESTROY:
      if (player != nullptr && player->about_ == window) {
        player->about_ = nullptr;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TMiniPlayer::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window_, &paint);
      Paint(dc);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN:
      Trace(L"key " + std::to_wstring(wParam));
      if (wParam == VK_RIGHT || wParam == VK_NEXT) {
        TurnPage(true);
      } else if (wParam == VK_LEFT || wParam == VK_PRIOR) {
        TurnPage(false);
      }
      return 0;
    case WM_LBUTTONDOWN:
      Trace(L"mouse left click");
      SetFocus(window_);
      TurnPage(true);
      return 0;
    case WM_CONTEXTMENU:
      ShowContextMenu(lParam);
      return 0;
    case WM_COMMAND:
      RunCommand(LOWORD(wParam));
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

void TMiniPlayer::Post(std::function<void()> work) {
  posted_.push_back(std::move(work));
  if (worker_ == nullptr) {
    RunPosted();
  } else if (!postPending_) {
    postPending_ = PostMessageW(worker_, kRunPostedMessage, 0, 0) != FALSE;
  }
}

void TMiniPlayer::RunPosted() {
  TComPtr<IUnknown> self(static_cast<IOleObject*>(this));  // work may drop the last reference
  postPending_ = false;
  std::deque<std::function<void()>> work;
  work.swap(posted_);
  for (auto& item : work) {
    item();
  }
}

// ---------------------------------------------------------------- content

TLayer* TMiniPlayer::Level(int level) {
  auto it = layers_.find(level);
  return it == layers_.end() ? nullptr : it->second.get();
}

TTimeline* TMiniPlayer::MainTimeline() {
  TLayer* main = Level(0);
  return main != nullptr ? main->timeline.get() : nullptr;
}

void TMiniPlayer::LoadUrl(int level, const std::wstring& url, const std::wstring& base,
                          bool ansiName) {
  const int request = nextRequest_++;
  latestRequest_[level] = request;
  if (url.empty()) {
    Post([this, level, request] {
      if (latestRequest_[level] == request) {
        Unload(level);
      }
    });
    return;
  }
  const std::wstring resolved = Resolve(base, url);
  requests_[request] = {level, resolved, ansiName};
  if (level == 0) {
    percentLoaded_ = 0;
  }
  Post([this, level, request, resolved, ansiName] {
    if (level == 0 && latestRequest_[0] == request) {
      SetReadyState(0);
    }
    if (RouteOf(resolved) == TRoute::File) {
      Trace(L"request level " + std::to_wstring(level) + L" via file " + resolved);
      if (ansiName) {
        Trace(L"8-bit file name " + resolved);
      }
      std::string bytes;
      std::wstring why;
      if (ReadByFileFunctions(resolved, ansiName, bytes, why)) {
        LoadDone(request, std::move(bytes));
        return;
      }
      Trace(L"file route failed (" + why + L"), trying a moniker " + resolved);
    }
    Trace(L"request level " + std::to_wstring(level) + L" via moniker " + resolved);
    if (!StartMonikerLoad(resolved, request, link_)) {
      LoadFailed(request, L"no moniker");
    }
  });
}

void TMiniPlayer::LoadProgress(int request, uint64_t received, uint64_t total) {
  auto it = requests_.find(request);
  if (it == requests_.end() || it->second.level != 0 || latestRequest_[0] != request) {
    return;
  }
  const long percent =
      total > 0 ? static_cast<long>(std::min<uint64_t>(99, received * 100 / total)) : 0;
  if (percent != percentLoaded_) {
    percentLoaded_ = percent;
    Post([this, percent] { FireProgress(percent); });
  }
}

void TMiniPlayer::LoadDone(int request, std::string bytes) {
  auto it = requests_.find(request);
  if (it == requests_.end()) {
    return;
  }
  const TPending pending = it->second;
  requests_.erase(it);
  Trace(L"received " + std::to_wstring(bytes.size()) + L" bytes " + pending.url);
  auto shared = std::make_shared<std::string>(std::move(bytes));
  Post([this, request, pending, shared] {
    if (latestRequest_[pending.level] != request) {
      Trace(L"superseded " + pending.url);
      return;
    }
    Apply(pending.level, pending.url, std::move(*shared));
  });
}

void TMiniPlayer::LoadFailed(int request, const std::wstring& why) {
  auto it = requests_.find(request);
  if (it == requests_.end()) {
    return;
  }
  Trace(L"dropped " + it->second.url + L": " + why);
  if (it->second.level == 0 && latestRequest_[0] == request) {
    readyState_ = 4;
  }
  requests_.erase(it);
}

void TMiniPlayer::Apply(int level, const std::wstring& url, std::string bytes) {
  auto layer = std::make_unique<TLayer>(*this, level, url);
  std::wstring what;
  if (LooksLikeMovie(bytes)) {
    try {
      layer->timeline = std::make_unique<TTimeline>(ParseMovie(bytes), *layer);
      what = L"movie of " + std::to_wstring(layer->timeline->TotalFrames()) + L" frames";
    } catch (const EDamagedMovie& error) {
      layer->notice = Widen(error.what(), CP_UTF8);
      what = L"notice: " + layer->notice;
    }
  } else if (auto image = DecodeImage(bytes)) {
    what = L"image " + std::to_wstring(image->width) + L"x" + std::to_wstring(image->height);
    layer->image = std::move(image);
  } else if (level == 0) {
    layer->notice = L"not a movie";
    what = L"notice: not a movie";
  } else {
    Trace(L"dropped " + url + L": neither a movie nor an image");
    return;
  }
  if (level == 0) {
    layers_.clear();  // a new main movie replaces every layer
  }
  layers_[level] = std::move(layer);
  Trace(L"loaded level " + std::to_wstring(level) + L" " + what + L" " + url);
  if (level == 0) {
    percentLoaded_ = 100;
    FireProgress(100);
    SetReadyState(3);
  }
  if (TLayer* placed = Level(level); placed != nullptr && placed->timeline) {
    placed->timeline->Start();
  }
  if (level == 0) {
    SetReadyState(4);
  }
  UpdateTimer();
  if (window_ != nullptr) {
    InvalidateRect(window_, nullptr, FALSE);
  }
}

void TMiniPlayer::Unload(int level) {
  if (layers_.erase(level) > 0) {
    Trace(L"unloaded level " + std::to_wstring(level));
    UpdateTimer();
    if (window_ != nullptr) {
      InvalidateRect(window_, nullptr, FALSE);
    }
  }
}

void TMiniPlayer::MovieGetUrl(int level, const std::string& rawUrl, const std::string& rawTarget) {
  TLayer* layer = Level(level);
  const unsigned codePage =
      layer != nullptr && layer->timeline && layer->timeline->Movie().version >= 6 ? CP_UTF8
                                                                                   : CP_ACP;
  const std::wstring url = Widen(rawUrl, codePage);
  const std::wstring target = Widen(rawTarget, codePage);
  if (auto command = FsCommandOf(url)) {
    Post([this, command = *command, target] { FireFsCommand(command, target); });
    return;
  }
  if (auto into = LevelOfTarget(target)) {
    // Relative URLs follow the Base property when it is set, else the movie asking.
    const std::wstring& base = strings_[kBase];
    LoadUrl(*into, url,
            !base.empty()      ? base
            : layer != nullptr ? layer->url
                               : std::wstring(),
            codePage != CP_UTF8);
    return;
  }
  Trace(L"ignored GetURL " + url + L" target " + target);
}

void TMiniPlayer::FrameShown(int level, int frame) {
  if (TLayer* layer = Level(level); layer != nullptr && layer->timeline) {
    Trace(L"frame " + std::to_wstring(frame + 1) + L" of " +
          std::to_wstring(layer->timeline->TotalFrames()) + L" level " + std::to_wstring(level));
  }
  if (window_ != nullptr) {
    InvalidateRect(window_, nullptr, FALSE);
  }
}

void TMiniPlayer::UpdateTimer() {
  bool wanted = false;
  for (const auto& [level, layer] : layers_) {
    wanted = wanted || (layer->timeline && layer->timeline->Playing());
  }
  TTimeline* main = MainTimeline();
  double rate = main != nullptr ? main->Movie().frameRate : kDefaultRate;
  if (rate <= 0.0) {
    rate = kDefaultRate;
  }
  const UINT interval = static_cast<UINT>(std::clamp(1000.0 / rate, 10.0, 10000.0));
  if (!wanted || worker_ == nullptr) {
    if (timer_ != 0) {
      KillTimer(worker_, kFrameTimer);
      timer_ = 0;
    }
    return;
  }
  if (timer_ == 0 || interval != timerInterval_) {
    timer_ = SetTimer(worker_, kFrameTimer, interval, nullptr);
    timerInterval_ = interval;
  }
}

void TMiniPlayer::Tick() {
  const bool loop = numbers_[kLoop] != 0;
  std::vector<int> levels;
  for (const auto& [level, layer] : layers_) {
    levels.push_back(level);
  }
  for (int level : levels) {
    if (TLayer* layer = Level(level); layer != nullptr && layer->timeline) {
      layer->timeline->Tick(loop);
    }
  }
  UpdateTimer();
}

void TMiniPlayer::TurnPage(bool forward) {
  TTimeline* main = MainTimeline();
  if (main == nullptr) {
    return;
  }
  const int before = main->CurrentFrame();
  if (forward) {
    main->Forward();
  } else {
    main->Back();
  }
  if (main->CurrentFrame() != before) {
    click_.Play();
  }
  UpdateTimer();
}

void TMiniPlayer::Paint(HDC target) {
  RECT client;
  GetClientRect(window_, &client);
  const int width = std::max<int>(1, client.right);
  const int height = std::max<int>(1, client.bottom);
  TMemoryDc dc(CreateCompatibleDC(target));
  TGdiObject bitmap(CreateCompatibleBitmap(target, width, height));
  if (!dc || !bitmap) {
    return;
  }
  HGDIOBJ oldBitmap = SelectObject(dc.Get(), bitmap.Get());

  TLayer* main = Level(0);
  uint32_t background = 0xFFFFFF;
  if (backgroundColor_ >= 0) {
    background = static_cast<uint32_t>(backgroundColor_) & 0xFFFFFF;
  } else if (main != nullptr && main->timeline && main->timeline->Movie().background) {
    background = *main->timeline->Movie().background;
  }
  TGdiObject brush(CreateSolidBrush(ToColorRef(background)));
  FillRect(dc.Get(), &client, static_cast<HBRUSH>(brush.Get()));

  SetStretchBltMode(dc.Get(), HALFTONE);
  SetBkMode(dc.Get(), TRANSPARENT);
  HGDIOBJ oldFont = SelectObject(dc.Get(), GetStockObject(DEFAULT_GUI_FONT));
  for (const auto& [level, layer] : layers_) {
    if (layer->image) {
      const TImage& image = *layer->image;
      // Scaled to fit, aspect kept, centred.
      const double scale = std::min(static_cast<double>(width) / image.width,
                                    static_cast<double>(height) / image.height);
      const int w = std::max(1, static_cast<int>(image.width * scale));
      const int h = std::max(1, static_cast<int>(image.height * scale));
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = image.width;
      info.bmiHeader.biHeight = -image.height;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      StretchDIBits(dc.Get(), (width - w) / 2, (height - h) / 2, w, h, 0, 0, image.width,
                    image.height, image.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
    if (!layer->notice.empty()) {
      RECT box = client;
      SetTextColor(dc.Get(), RGB(160, 0, 0));
      DrawTextW(dc.Get(), layer->notice.c_str(), -1, &box,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
  }
  std::wstring status = L"no movie";
  if (main != nullptr && main->timeline) {
    status = L"frame " + std::to_wstring(main->timeline->CurrentFrame() + 1) + L" of " +
             std::to_wstring(main->timeline->TotalFrames());
  }
  RECT line{4, height - 18, width - 4, height - 2};
  // Light text on dark backgrounds, dark text on light ones.
  const uint32_t luminance = (((background >> 16) & 0xFF) * 299 + ((background >> 8) & 0xFF) * 587 +
                              (background & 0xFF) * 114) /
                             1000;
  SetTextColor(dc.Get(), luminance < 128 ? RGB(230, 230, 230) : RGB(40, 40, 40));
  DrawTextW(dc.Get(), status.c_str(), -1, &line, DT_LEFT | DT_BOTTOM | DT_SINGLELINE);

  BitBlt(target, 0, 0, width, height, dc.Get(), 0, 0, SRCCOPY);
  SelectObject(dc.Get(), oldFont);
  SelectObject(dc.Get(), oldBitmap);
}

void TMiniPlayer::ShowContextMenu(LPARAM lParam) {
  TMenu menu(LoadMenuA(ModuleInstance(), MAKEINTRESOURCEA(MINIPLAYER_MENU_CONTEXT)));
  if (!menu) {
    Trace(L"context menu missing");
    return;
  }
  // With the Menu property off only the short menu is offered.
  HMENU popup = GetSubMenu(menu.Get(), numbers_[kMenu] != 0 ? 0 : 1);
  POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  if (lParam == -1) {
    RECT client;
    GetClientRect(window_, &client);
    at = {client.right / 2, client.bottom / 2};
    ClientToScreen(window_, &at);
  }
  Trace(L"context menu shown");
  const int command = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x,
                                     at.y, 0, window_, nullptr);
  RunCommand(command);
}

void TMiniPlayer::RunCommand(int command) {
  TTimeline* main = MainTimeline();
  switch (command) {
    case MINIPLAYER_CMD_PLAY:
      if (main != nullptr) {
        main->Play();
      }
      break;
    case MINIPLAYER_CMD_STOP:
      if (main != nullptr) {
        main->Stop();
      }
      break;
    case MINIPLAYER_CMD_REWIND:
      if (main != nullptr) {
        main->Rewind();
      }
      break;
    case MINIPLAYER_CMD_FORWARD:
      TurnPage(true);
      break;
    case MINIPLAYER_CMD_BACK:
      TurnPage(false);
      break;
    case MINIPLAYER_CMD_ABOUT:
      ShowAbout();
      break;
    default:
      break;
  }
  UpdateTimer();
}

void TMiniPlayer::ShowAbout() {
  if (about_ == nullptr) {
    POINT at{20, 20};
    if (window_ != nullptr) {
      ClientToScreen(window_, &at);
    }
    about_ = CreateWindowExW(WS_EX_TOOLWINDOW, kAboutClass, L"About miniplayer",
                             WS_POPUP | WS_CAPTION | WS_SYSMENU, at.x, at.y, 240, 96, window_,
                             nullptr, ModuleInstance(), this);
  }
  if (about_ != nullptr) {
    ShowWindow(about_, SW_SHOWNORMAL);
    Trace(L"about shown");
  }
}
}  // namespace leafbook::miniplayer
