// TMiniPlayer: one object of the stand-in runtime. An OLE control that
// activates in place as a child window of its site, publishes its automation
// surface through IDispatch by name, raises its events through connection
// points, and plays movies of the supported subset in numbered layers.
//
// The object is the COM face and the one that ties its rooms together: its
// windows (PlayerWindow), its requests and posted work (LoadQueue) and what it
// shows (Stage). Its methods live in Player.cpp (life, IOleObject,
// IOleControl), PlayerInPlace.cpp, PlayerEvents.cpp, PlayerContent.cpp and
// PlayerDispatch.cpp (the automation surface).
#pragma once

#include <ocidl.h>
#include <oleidl.h>

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Resources.h"
#include "miniplayer/Apartment.h"
#include "miniplayer/ConnectionPoint.h"
#include "miniplayer/LoadQueue.h"
#include "miniplayer/Module.h"
#include "miniplayer/PlayerWindow.h"
#include "miniplayer/Stage.h"

namespace leafbook::miniplayer {

class TMiniPlayer final
    : public TComObject<TMiniPlayer, TInterface<IOleObject, &IID_IOleObject>,
                        TInterface<IOleControl, &IID_IOleControl>,
                        TInterface<IOleInPlaceObject, &IID_IOleWindow, &IID_IOleInPlaceObject>,
                        TInterface<IOleInPlaceActiveObject, &IID_IOleInPlaceActiveObject>,
                        TInterface<IConnectionPointContainer, &IID_IConnectionPointContainer>,
                        TInterface<IDispatch, &IID_IDispatch, &kIidAutomation>>,
      private ILoadQueueHost,
      private IStageHost,
      private IPlayerWindowHost {
 public:
  TMiniPlayer();
  ~TMiniPlayer();

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

  // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject (PlayerInPlace.cpp)
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

  // IConnectionPointContainer (PlayerEvents.cpp)
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override;

  // IDispatch (PlayerDispatch.cpp)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT* argError) override;

 private:
  // One automation member with its arguments coerced, in natural order.
  HRESULT CallMember(DISPID id, bool put, std::vector<TVariant>& args, VARIANT* result);
  TLayer* LayerOfTarget(const std::wstring& target);
  void SetDefaults();

  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect, bool uiActivate);
  // Tells the site and the frame, then takes the focus; once until UIDeactivate.
  void UIActivate();

  // A GetURL as the movie of layer wrote it, read as the player fetches it.
  struct TMovieRequest {
    std::wstring url;
    std::wstring target;
    std::wstring base;  // what a relative url follows
    bool ansiName;      // texts of a movie older than version 6
  };
  TMovieRequest ReadRequest(const TLayer* layer, const std::string& url, const std::string& target);
  // Fetches ahead what the later frames of the movie at level will load into levels.
  void PreloadAhead(int level);

  // ILoadQueueHost (PlayerContent.cpp)
  void MainLoadStarting() override;
  void MainLoadProgress(long percent) override;
  void MainLoadFailed() override;
  void Arrived(int level, const std::wstring& url, std::string bytes) override;
  void Emptied(int level) override;

  // IStageHost (PlayerContent.cpp)
  void MovieGetUrl(int level, const std::string& url, const std::string& target) override;
  void FrameShown(int level, int frame) override;

  // IPlayerWindowHost (PlayerContent.cpp)
  void PaintWindow(HDC dc) override;
  void TurnPage(bool forward) override;
  void RunCommand(int command) override;
  bool FullMenu() override;
  void RunPosted() override;
  void Tick() override;
  void Clicked() override;

  // Events (PlayerEvents.cpp). The arguments in reverse order, as automation
  // passes them; they are cleared when the call returns.
  void FireEvent(DISPID id, std::initializer_list<TVariant> argsReversed);
  void SetReadyState(long state);
  void FireProgress(long percent);
  void FireFsCommand(const std::wstring& command, const std::wstring& args);

  TApartment apartment_;  // the thread that made the object
  TComPtr<IOleClientSite> site_;
  TComPtr<IOleInPlaceSite> inPlaceSite_;
  TComPtr<IOleInPlaceFrame> frame_;  // told of UI activation
  bool inPlaceActive_ = false;
  bool uiActive_ = false;
  SIZEL extent_{};
  int frozen_ = 0;
  TConnectionPoint events_;
  TConnectionPoint propertySinks_;
  TStage stage_;
  TLoadQueue queue_;
  TPlayerWindow windows_;

  // Automation state.
  std::wstring movie_;
  long readyState_ = 4;
  long backgroundColor_ = -1;  // -1: the movie's own
  std::map<DISPID, std::wstring> strings_;
  std::map<DISPID, long> numbers_;
  std::map<std::wstring, std::wstring> variables_;
  std::map<std::wstring, std::wstring> targetProperties_;
  std::wstring returnValue_;
  long zoom_ = 0;
};

}  // namespace leafbook::miniplayer
