// TMiniPlayer: one object of the stand-in runtime. An OLE control that
// activates in place as a child window of its site, publishes its automation
// surface through IDispatch by name, raises its events through connection
// points, and plays movies of the supported subset in numbered layers.
#pragma once

#include <ocidl.h>
#include <oleidl.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>
#include <memory>
#include <string>

#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "miniplayer/ConnectionPoint.h"
#include "miniplayer/Image.h"
#include "miniplayer/MovieLoader.h"
#include "miniplayer/Sound.h"
#include "miniplayer/Timeline.h"

namespace leafbook::miniplayer {

class TMiniPlayer;

// One numbered layer: a movie with its playhead, or an image, or a notice
// saying why what was loaded there cannot be played.
struct TLayer final : ITimelineHost {
  TLayer(TMiniPlayer& owner, int level, std::wstring url)
      : player(owner), level(level), url(std::move(url)) {}
  void OnGetUrl(const std::string& url, const std::string& target) override;
  void OnFrameShown(int frame) override;

  TMiniPlayer& player;
  int level;
  std::wstring url;
  std::unique_ptr<TTimeline> timeline;
  std::optional<TImage> image;
  std::wstring notice;
};

class TMiniPlayer final : public IOleObject,
                          public IOleControl,
                          public IOleInPlaceObject,
                          public IOleInPlaceActiveObject,
                          public IConnectionPointContainer,
                          public IDispatch,
                          public TComRefCounted<TMiniPlayer>,
                          private ILoadClient {
 public:
  TMiniPlayer();
  ~TMiniPlayer() override;
  TMiniPlayer(const TMiniPlayer&) = delete;
  TMiniPlayer& operator=(const TMiniPlayer&) = delete;

  // Registers the window classes once per mapping of the module.
  static bool RegisterClasses();
  static void UnregisterClasses();

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override;
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override;
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** out) override;
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override;
  STDMETHODIMP GetClipboardData(DWORD, IDataObject** out) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                      LPCRECT rect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** out) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD, LPOLESTR* out) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink*, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** out) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG*) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override;
  STDMETHODIMP TranslateAccelerator(LPMSG) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL) override;
  STDMETHODIMP OnDocWindowActivate(BOOL) override;
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override;
  STDMETHODIMP EnableModeless(BOOL) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

  // IDispatch (PlayerDispatch.cpp)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT* argError) override;

  // Called by the layers' playheads.
  void MovieGetUrl(int level, const std::string& url, const std::string& target);
  void FrameShown(int level, int frame);

 private:
  struct TPending {
    int level;
    std::wstring url;
    bool ansiName;  // asked for by a movie whose texts are 8-bit
  };

  // One automation member with its arguments coerced, in natural order.
  HRESULT CallMember(DISPID id, bool put, std::vector<VARIANT>& args, VARIANT* result);
  TLayer* LayerOfTarget(const std::wstring& target);
  void SetDefaults();

  // ILoadClient
  void LoadProgress(int request, uint64_t received, uint64_t total) override;
  void LoadDone(int request, std::string bytes) override;
  void LoadFailed(int request, const std::wstring& why) override;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK WorkerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect, bool uiActivate);
  // Queued work runs from the message loop, never inside a caller's call.
  void Post(std::function<void()> work);
  void RunPosted();

  // Content.
  void LoadUrl(int level, const std::wstring& url, const std::wstring& base, bool ansiName = false);
  void Apply(int level, const std::wstring& url, std::string bytes);
  void Unload(int level);
  TLayer* Level(int level);
  TTimeline* MainTimeline();
  void UpdateTimer();
  void Tick();
  void TurnPage(bool forward);
  void Paint(HDC dc);
  void ShowContextMenu(LPARAM lParam);
  // The context menu's commands, also reachable as WM_COMMAND.
  void RunCommand(int command);
  void ShowAbout();

  // Events.
  void FireEvent(DISPID id, std::initializer_list<VARIANT> argsReversed);
  void SetReadyState(long state);
  void FireProgress(long percent);
  void FireFsCommand(const std::wstring& command, const std::wstring& args);

  TComPtr<IOleClientSite> site_;
  TComPtr<IOleInPlaceSite> inPlaceSite_;
  TComPtr<IOleInPlaceFrame> frame_;  // told of UI activation
  HWND window_ = nullptr;
  HWND worker_ = nullptr;
  HWND about_ = nullptr;
  bool inPlaceActive_ = false;
  bool uiActive_ = false;
  SIZEL extent_{};
  int frozen_ = 0;
  TConnectionPoint events_;
  TConnectionPoint propertySinks_;
  std::shared_ptr<TLoadLink> link_;
  std::map<int, TPending> requests_;  // request number → what it was for
  std::map<int, int> latestRequest_;  // level → newest request number
  int nextRequest_ = 1;
  std::map<int, std::unique_ptr<TLayer>> layers_;
  std::deque<std::function<void()>> posted_;
  bool postPending_ = false;
  UINT_PTR timer_ = 0;
  UINT timerInterval_ = 0;
  TClick click_;

  // Automation state.
  std::wstring movie_;
  long readyState_ = 4;
  long percentLoaded_ = 0;
  long backgroundColor_ = -1;  // -1: the movie's own
  std::map<DISPID, std::wstring> strings_;
  std::map<DISPID, long> numbers_;
  std::map<std::wstring, std::wstring> variables_;
  std::map<std::wstring, std::wstring> targetProperties_;
  std::wstring returnValue_;
  long zoom_ = 0;
};

}  // namespace leafbook::miniplayer
