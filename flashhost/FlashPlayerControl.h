// TFlashPlayerControl: the windowed control that hosts one movie runtime
// object and the only way the program talks to the runtime. The runtime comes
// from the process's runtime code provider, never from the class registry.
// The control's OLE container side is a separate COM object (TFlashPlayerSite)
// whose life the runtime's references govern; the control attaches it when it
// is made and detaches it when it goes, so a late call from the runtime or the
// content side finds no control instead of freed memory.
//
// Its work is spread over: FlashPlayerControl.cpp (life, window, messages),
// FlashPlayerSite.cpp (the site interfaces), FlashPlayerEvents.cpp (events,
// ambient properties, the resource-request callbacks), FlashPlayerProperties.cpp
// (the runtime's properties and methods) and FlashPlayerMovies.cpp (movies
// from streams).
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "content/FlashPlayerControlBase.h"
#include "flashhost/RuntimeAutomation.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Streams.h"
#include "framework/gui/Controls.h"

namespace leafbook {

class TFlashPlayerSite;
class TFlashPlayerControl;

// {D27CDB6D-AE6D-11CF-96B8-444553540000}: the runtime's event interface.
inline constexpr IID DIID_IShockwaveFlashEvents = {
    0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Event handlers; the sender is always the control.
using TFlashPlayerControlOnReadyStateChange =
    std::function<void(TFlashPlayerControl* sender, int32_t newState)>;
using TFlashPlayerControlOnProgress =
    std::function<void(TFlashPlayerControl* sender, int32_t percentDone)>;
using TFlashPlayerControlFSCommand = std::function<void(
    TFlashPlayerControl* sender, const std::wstring& command, const std::wstring& args)>;
using TFlashPlayerControlFlashCall =
    std::function<void(TFlashPlayerControl* sender, const std::wstring& request)>;
using TFlashPlayerControlOnLoadExternalResource =
    std::function<void(TFlashPlayerControl* sender, const std::wstring& url, TStream* stream)>;
using TFlashPlayerControlOnLoadExternalResourceEx = std::function<void(
    TFlashPlayerControl* sender, const std::wstring& url, TStream* stream, bool& handled)>;
// A stream handed back belongs to the content manager from then on.
using TFlashPlayerControlOnLoadExternalResourceAsync =
    std::function<void(TFlashPlayerControl* sender, const std::wstring& path, TStream*& stream)>;
// The stream is freed after the handler returns; the handler must not free it.
using TFlashPlayerControlOnUnloadExternalResourceAsync =
    std::function<void(TFlashPlayerControl* sender, TStream* stream)>;

class TFlashPlayerControl : public TWinControl {
 public:
  explicit TFlashPlayerControl(TWinControl* owner);
  ~TFlashPlayerControl() override;

  // Null when the provider could not make a runtime object: the control is
  // then a blank window, properties only cache and methods do nothing.
  IOleObject* RuntimeObject() const { return runtime_.Get(); }
  // What the content side holds of this control.
  IFlashPlayerControlBase* ControlBase() const;

  // --- movies from streams (the bytes flow through the content manager)
  virtual void LoadMovieLayerFromStream(int32_t layer, TStream& stream);
  virtual void PlayMovieFromStream(TStream& stream);
  virtual std::unique_ptr<TStream> OpenMovieLayerStream(int32_t layer);
  virtual std::unique_ptr<TStream> OpenMovieStream();

  // --- the runtime's methods: below their version they do nothing and answer
  // 0, false or empty; a failing runtime raises EOleSysError (LoadMovie excepted).
  void SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
  void Zoom(int32_t factor);
  void Pan(int32_t x, int32_t y, int32_t mode);
  void Play();
  void Stop();
  void Back();
  void Forward();
  void Rewind();
  void StopPlay();
  void GotoFrame(int32_t frameNum);
  int32_t CurrentFrame();
  bool IsPlaying();
  int32_t PercentLoaded();
  bool FrameLoaded(int32_t frameNum);
  // Needs a runtime object (EOleError without one).
  int32_t FlashVersion();
  void LoadMovie(int32_t layer, const std::wstring& url);
  void TGotoFrame(const std::wstring& target, int32_t frameNum);
  void TGotoLabel(const std::wstring& target, const std::wstring& label);
  int32_t TCurrentFrame(const std::wstring& target);
  std::wstring TCurrentLabel(const std::wstring& target);
  void TPlay(const std::wstring& target);
  void TStopPlay(const std::wstring& target);
  void SetVariable(const std::wstring& name, const std::wstring& value);
  std::wstring GetVariable(const std::wstring& name);
  void TSetProperty(const std::wstring& target, int32_t property, const std::wstring& value);
  std::wstring TGetProperty(const std::wstring& target, int32_t property);
  void TCallFrame(const std::wstring& target, int32_t frameNum);
  void TCallLabel(const std::wstring& target, const std::wstring& label);
  void TSetPropertyNum(const std::wstring& target, int32_t property, double value);
  double TGetPropertyNum(const std::wstring& target, int32_t property);
  double TGetPropertyAsNumber(const std::wstring& target, int32_t property);
  std::wstring CallFunction(const std::wstring& request);
  void SetReturnValue(const std::wstring& returnValue);

  // --- the runtime's properties: each keeps its own cache; reads and writes
  // reach the runtime only for the versions that have the property, and the
  // runtime's failures never raise.
  int32_t ReadyState();
  int32_t TotalFrames();
  std::wstring Movie();
  void SetMovie(const std::wstring& value);
  int32_t FrameNum();
  void SetFrameNum(int32_t value);
  bool Playing();
  void SetPlaying(bool value);
  int32_t Quality();
  void SetQuality(int32_t value);
  int32_t ScaleMode();
  void SetScaleMode(int32_t value);
  int32_t AlignMode();
  void SetAlignMode(int32_t value);
  int32_t BackgroundColor();
  void SetBackgroundColor(int32_t value);
  bool Loop();
  void SetLoop(bool value);
  std::wstring WMode();
  void SetWMode(const std::wstring& value);
  std::wstring SAlign();
  void SetSAlign(const std::wstring& value);
  bool Menu();
  void SetMenu(bool value);
  std::wstring Base();
  void SetBase(const std::wstring& value);
  std::wstring Scale();
  void SetScale(const std::wstring& value);
  bool DeviceFont();
  void SetDeviceFont(bool value);
  bool EmbedMovie();
  void SetEmbedMovie(bool value);
  std::wstring BGColor();
  void SetBGColor(const std::wstring& value);
  std::wstring Quality2();
  void SetQuality2(const std::wstring& value);
  std::wstring SWRemote();
  void SetSWRemote(const std::wstring& value);
  std::wstring Stacking();
  void SetStacking(const std::wstring& value);
  std::wstring FlashVars();
  void SetFlashVars(const std::wstring& value);
  std::wstring AllowScriptAccess();
  void SetAllowScriptAccess(const std::wstring& value);
  std::wstring MovieData();
  void SetMovieData(const std::wstring& value);
  bool AllowFullscreen();
  void SetAllowFullscreen(bool value);
  // With StandartMenu the runtime sees the right button and the menu key and
  // shows its own menu.
  bool StandartMenu() const { return standartMenu_; }
  void SetStandartMenu(bool value) { standartMenu_ = value; }

  // The runtime's major version, at most 8; -1 without a runtime object.
  int RuntimeMajorVersion();

  TFlashPlayerControlOnReadyStateChange OnReadyStateChange;
  TFlashPlayerControlOnProgress OnProgress;
  TFlashPlayerControlFSCommand OnFSCommand;
  TFlashPlayerControlFlashCall OnFlashCall;
  TFlashPlayerControlOnLoadExternalResource OnLoadExternalResource;
  TFlashPlayerControlOnLoadExternalResourceEx OnLoadExternalResourceEx;
  TFlashPlayerControlOnLoadExternalResourceAsync OnLoadExternalResourceAsync;
  TFlashPlayerControlOnUnloadExternalResourceAsync OnUnloadExternalResourceAsync;
  TNotifyEvent OnDblClick;

  void SetBounds(int left, int top, int width, int height) override;
  void SetParent(TWinControl* parent) override;

 protected:
  void CreateWnd() override;
  void DestroyWnd() override;
  void WndProc(TMessage& message) override;
  void DefaultHandler(TMessage& message) override;
  bool PaletteChanged(bool foreground) override;

 private:
  friend class TFlashPlayerSite;

  // The steps of destruction, also when construction fails half-way.
  void Teardown() noexcept;
  void CloseRuntime();
  void CreateRuntimeObject();
  void ConnectEvents();
  void ConnectRuntime();
  void DisconnectRuntime();
  void EnsureClientSite();
  void AttachRuntimeWindow();
  HRESULT RequestNewObjectLayout();
  void InPlaceActivate(LONG verb);
  // Hides the runtime's window while the control is not Visible.
  void KeepHidden();
  void AmbientChanged(DISPID id);
  void Paint(HDC dc);
  bool MouseMessage(TMessage& message);
  bool DialogKey(TMessage& message);
  bool ReflectedKey(TMessage& message);
  void UIDeactivate();
  void SetUIActive(bool active);
  HWND ParentWindow() const;
  HWND TopLevelWindow() const;
  HMENU MainMenuForOle() const;

  // Called by the site: events and ambient reads of the runtime.
  HRESULT InvokeEvent(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, UINT* argError);
  HRESULT AmbientProperty(DISPID id, VARIANT* result);
  void OnInPlaceActivate();
  void OnInPlaceDeactivate();
  void RemoveSharedMenu();

  // Property plumbing (FlashPlayerProperties.cpp).
  enum class TGate { Any, SWRemote, Stacking, Seven, Playing };
  bool Reaches(TGate gate);
  int32_t ReadInt(const wchar_t* name, TGate gate, int32_t cache);
  void WriteInt(const wchar_t* name, TGate gate, int32_t& cache, int32_t value);
  bool ReadBool(const wchar_t* name, TGate gate, bool cache);
  void WriteBool(const wchar_t* name, TGate gate, bool& cache, bool value);
  std::wstring ReadString(const wchar_t* name, TGate gate, const std::wstring& cache);
  void WriteString(const wchar_t* name, TGate gate, std::wstring& cache, const std::wstring& value);
  // The runtime's method name with args when the runtime's major version is
  // at least minimum; below it nothing is called and the answer is empty
  // (which reads as 0, false or an empty text).
  template <class... Args>
  TVariant CallFrom(int minimum, const wchar_t* name, const Args&... args);

  TComPtr<TFlashPlayerSite> site_;
  TComPtr<IOleObject> runtime_;
  TComPtr<IOleControl> oleControl_;
  TComPtr<IDispatch> dispatch_;
  TComPtr<IOleInPlaceObject> inPlaceObject_;
  TComPtr<IOleInPlaceActiveObject> activeObject_;
  DWORD propertySinkCookie_ = 0;
  TComPtr<IConnectionPoint> eventPoint_;
  bool eventsConnected_ = false;
  DWORD eventCookie_ = 0;
  TRuntimeAutomation automation_;
  HMENU sharedMenu_ = nullptr;
  HOLEMENU oleMenu_ = nullptr;

  // Property caches.
  int32_t readyState_ = 0;
  int32_t totalFrames_ = 0;
  std::wstring movie_;
  int32_t frameNum_ = 0;
  bool playing_ = false;
  int32_t quality_ = 0;
  int32_t scaleMode_ = 0;
  int32_t alignMode_ = 0;
  int32_t backgroundColor_ = 0;
  bool loop_ = false;
  std::wstring wMode_;
  std::wstring sAlign_;
  bool menu_ = false;
  std::wstring base_;
  std::wstring scale_;
  bool deviceFont_ = false;
  bool embedMovie_ = false;
  std::wstring bgColor_;
  std::wstring quality2_;
  std::wstring swRemote_;
  std::wstring stacking_;
  std::wstring flashVars_;
  std::wstring allowScriptAccess_;
  std::wstring movieData_;
  bool allowFullscreen_ = false;
  bool standartMenu_ = false;
};

}  // namespace leafbook
