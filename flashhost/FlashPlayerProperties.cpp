// The runtime's properties and methods as the control republishes them. Each
// property keeps its own cache; whether an access reaches the runtime depends
// on the major version of the runtime loaded, read afresh each time, since
// the runtime's interface grew from version to version.
#include <algorithm>
#include <array>

#include "flashhost/FlashPlayerControl.h"
#include "flashhost/FlashPlayerSite.h"
#include "framework/base/OleCheck.h"
#include "runtime/FlashOCXCodeProvider.h"

namespace leafbook {

namespace {

// The first module version whose runtime has AllowFullscreen: 9.0.28.0.
constexpr uint32_t kFullscreenModuleVersion = 0x09001C00;

TVariant Converted(const TVariant& value, VARTYPE type) {
  TVariant result;
  OleCheck(::VariantChangeType(result.Put(), const_cast<VARIANT*>(value.Get()), 0, type),
           "VariantChangeType");
  return result;
}

int32_t AsInt(const TVariant& value) {
  return Converted(value, VT_I4).Get()->lVal;
}

bool AsBool(const TVariant& value) {
  return Converted(value, VT_BOOL).Get()->boolVal != VARIANT_FALSE;
}

double AsDouble(const TVariant& value) {
  return Converted(value, VT_R8).Get()->dblVal;
}

std::wstring AsString(const TVariant& value) {
  const TVariant text = Converted(value, VT_BSTR);
  const BSTR bstr = text.Get()->bstrVal;
  return bstr ? std::wstring(bstr, ::SysStringLen(bstr)) : std::wstring();
}

}  // namespace

// --- versions

int32_t TFlashPlayerControl::FlashVersion() {
  if (!runtime_) {
    // The control itself never asks without a runtime.
    throw EOleError("There is no movie runtime to ask for its version");
  }
  return AsInt(automation_.Call(L"FlashVersion"));
}

int TFlashPlayerControl::RuntimeMajorVersion() {
  if (!runtime_) {
    return -1;
  }
  const int major = (static_cast<uint32_t>(FlashVersion()) >> 16) & 0xFF;
  return std::min(major, 8);
}

bool TFlashPlayerControl::Reaches(TGate gate) {
  if (!runtime_) {
    return false;
  }
  if (gate == TGate::Playing && Designing()) {
    return false;
  }
  const int version = RuntimeMajorVersion();
  switch (gate) {
    case TGate::SWRemote:
      return version == 4 || version == 5 || version >= 7;
    case TGate::Stacking:
      return version == 5;
    case TGate::Seven:
      return version >= 7;
    default:
      return version >= 3;
  }
}

// --- property plumbing: the runtime's failures of the framework's OLE kind
// leave the cache (an empty text for strings); writes always cache first.

int32_t TFlashPlayerControl::ReadInt(const wchar_t* name, TGate gate, int32_t cache) {
  try {
    if (Reaches(gate)) {
      return AsInt(automation_.Get(name));
    }
  } catch (const EOleError&) {
  }
  return cache;
}

void TFlashPlayerControl::WriteInt(const wchar_t* name, TGate gate, int32_t& cache, int32_t value) {
  cache = value;
  try {
    if (Reaches(gate)) {
      TVariant argument = TVariant::Int(value);
      automation_.Put(name, argument);
    }
  } catch (const EOleError&) {
  }
}

bool TFlashPlayerControl::ReadBool(const wchar_t* name, TGate gate, bool cache) {
  try {
    if (Reaches(gate)) {
      return AsBool(automation_.Get(name));
    }
  } catch (const EOleError&) {
  }
  return cache;
}

void TFlashPlayerControl::WriteBool(const wchar_t* name, TGate gate, bool& cache, bool value) {
  cache = value;
  try {
    if (Reaches(gate)) {
      TVariant argument = TVariant::Bool(value);
      automation_.Put(name, argument);
    }
  } catch (const EOleError&) {
  }
}

std::wstring TFlashPlayerControl::ReadString(const wchar_t* name, TGate gate,
                                             const std::wstring& cache) {
  try {
    if (!Reaches(gate)) {
      return cache;
    }
    return AsString(automation_.Get(name));
  } catch (const EOleError&) {
    return std::wstring();
  }
}

void TFlashPlayerControl::WriteString(const wchar_t* name, TGate gate, std::wstring& cache,
                                      const std::wstring& value) {
  cache = value;
  try {
    if (Reaches(gate)) {
      TVariant argument = TVariant::String(value);
      automation_.Put(name, argument);
    }
  } catch (const EOleError&) {
  }
}

// --- properties

int32_t TFlashPlayerControl::ReadyState() {
  return ReadInt(L"ReadyState", TGate::Any, readyState_);
}
int32_t TFlashPlayerControl::TotalFrames() {
  return ReadInt(L"TotalFrames", TGate::Any, totalFrames_);
}
std::wstring TFlashPlayerControl::Movie() {
  return ReadString(L"Movie", TGate::Any, movie_);
}
void TFlashPlayerControl::SetMovie(const std::wstring& value) {
  WriteString(L"Movie", TGate::Any, movie_, value);
}
int32_t TFlashPlayerControl::FrameNum() {
  return ReadInt(L"FrameNum", TGate::Any, frameNum_);
}
void TFlashPlayerControl::SetFrameNum(int32_t value) {
  WriteInt(L"FrameNum", TGate::Any, frameNum_, value);
}
bool TFlashPlayerControl::Playing() {
  return ReadBool(L"Playing", TGate::Playing, playing_);
}
void TFlashPlayerControl::SetPlaying(bool value) {
  WriteBool(L"Playing", TGate::Playing, playing_, value);
}
int32_t TFlashPlayerControl::Quality() {
  return ReadInt(L"Quality", TGate::Any, quality_);
}
void TFlashPlayerControl::SetQuality(int32_t value) {
  WriteInt(L"Quality", TGate::Any, quality_, value);
}
int32_t TFlashPlayerControl::ScaleMode() {
  return ReadInt(L"ScaleMode", TGate::Any, scaleMode_);
}
void TFlashPlayerControl::SetScaleMode(int32_t value) {
  WriteInt(L"ScaleMode", TGate::Any, scaleMode_, value);
}
int32_t TFlashPlayerControl::AlignMode() {
  return ReadInt(L"AlignMode", TGate::Any, alignMode_);
}
void TFlashPlayerControl::SetAlignMode(int32_t value) {
  WriteInt(L"AlignMode", TGate::Any, alignMode_, value);
}
int32_t TFlashPlayerControl::BackgroundColor() {
  return ReadInt(L"BackgroundColor", TGate::Any, backgroundColor_);
}
void TFlashPlayerControl::SetBackgroundColor(int32_t value) {
  WriteInt(L"BackgroundColor", TGate::Any, backgroundColor_, value);
}
bool TFlashPlayerControl::Loop() {
  return ReadBool(L"Loop", TGate::Any, loop_);
}
void TFlashPlayerControl::SetLoop(bool value) {
  WriteBool(L"Loop", TGate::Any, loop_, value);
}
std::wstring TFlashPlayerControl::WMode() {
  return ReadString(L"WMode", TGate::Any, wMode_);
}
void TFlashPlayerControl::SetWMode(const std::wstring& value) {
  WriteString(L"WMode", TGate::Any, wMode_, value);
}
std::wstring TFlashPlayerControl::SAlign() {
  return ReadString(L"SAlign", TGate::Any, sAlign_);
}
void TFlashPlayerControl::SetSAlign(const std::wstring& value) {
  WriteString(L"SAlign", TGate::Any, sAlign_, value);
}
bool TFlashPlayerControl::Menu() {
  return ReadBool(L"Menu", TGate::Any, menu_);
}
void TFlashPlayerControl::SetMenu(bool value) {
  WriteBool(L"Menu", TGate::Any, menu_, value);
}
// Each read and write also tells the site, which answers the content side
// from any thread with what the main thread saw last.
std::wstring TFlashPlayerControl::Base() {
  std::wstring value = ReadString(L"Base", TGate::Any, base_);
  site_->KeepBase(value);
  return value;
}
void TFlashPlayerControl::SetBase(const std::wstring& value) {
  WriteString(L"Base", TGate::Any, base_, value);
  site_->KeepBase(Base());
}
std::wstring TFlashPlayerControl::Scale() {
  return ReadString(L"Scale", TGate::Any, scale_);
}
void TFlashPlayerControl::SetScale(const std::wstring& value) {
  WriteString(L"Scale", TGate::Any, scale_, value);
}
bool TFlashPlayerControl::DeviceFont() {
  return ReadBool(L"DeviceFont", TGate::Any, deviceFont_);
}
void TFlashPlayerControl::SetDeviceFont(bool value) {
  WriteBool(L"DeviceFont", TGate::Any, deviceFont_, value);
}
bool TFlashPlayerControl::EmbedMovie() {
  return ReadBool(L"EmbedMovie", TGate::Any, embedMovie_);
}
void TFlashPlayerControl::SetEmbedMovie(bool value) {
  WriteBool(L"EmbedMovie", TGate::Any, embedMovie_, value);
}
std::wstring TFlashPlayerControl::BGColor() {
  return ReadString(L"BGColor", TGate::Any, bgColor_);
}
void TFlashPlayerControl::SetBGColor(const std::wstring& value) {
  WriteString(L"BGColor", TGate::Any, bgColor_, value);
}
std::wstring TFlashPlayerControl::Quality2() {
  return ReadString(L"Quality2", TGate::Any, quality2_);
}
void TFlashPlayerControl::SetQuality2(const std::wstring& value) {
  WriteString(L"Quality2", TGate::Any, quality2_, value);
}
std::wstring TFlashPlayerControl::SWRemote() {
  return ReadString(L"SWRemote", TGate::SWRemote, swRemote_);
}
void TFlashPlayerControl::SetSWRemote(const std::wstring& value) {
  WriteString(L"SWRemote", TGate::SWRemote, swRemote_, value);
}
std::wstring TFlashPlayerControl::Stacking() {
  return ReadString(L"Stacking", TGate::Stacking, stacking_);
}
void TFlashPlayerControl::SetStacking(const std::wstring& value) {
  WriteString(L"Stacking", TGate::Stacking, stacking_, value);
}
std::wstring TFlashPlayerControl::FlashVars() {
  return ReadString(L"FlashVars", TGate::Seven, flashVars_);
}
void TFlashPlayerControl::SetFlashVars(const std::wstring& value) {
  WriteString(L"FlashVars", TGate::Seven, flashVars_, value);
}
std::wstring TFlashPlayerControl::AllowScriptAccess() {
  return ReadString(L"AllowScriptAccess", TGate::Seven, allowScriptAccess_);
}
void TFlashPlayerControl::SetAllowScriptAccess(const std::wstring& value) {
  WriteString(L"AllowScriptAccess", TGate::Seven, allowScriptAccess_, value);
}
std::wstring TFlashPlayerControl::MovieData() {
  return ReadString(L"MovieData", TGate::Seven, movieData_);
}
void TFlashPlayerControl::SetMovieData(const std::wstring& value) {
  WriteString(L"MovieData", TGate::Seven, movieData_, value);
}

// The runtime keeps this one as the text "true" or "false", and has it only
// from a module version on, whatever its major version says.
bool TFlashPlayerControl::AllowFullscreen() {
  try {
    const TFlashOCXCodeProviderBasedOnStream* provider = RuntimeCodeProvider();
    if (runtime_ && provider && provider->GetVersion() >= kFullscreenModuleVersion) {
      return AsString(automation_.Get(L"AllowFullscreen")) == L"true";
    }
  } catch (const EOleError&) {
  }
  return allowFullscreen_;
}

void TFlashPlayerControl::SetAllowFullscreen(bool value) {
  allowFullscreen_ = value;
  try {
    const TFlashOCXCodeProviderBasedOnStream* provider = RuntimeCodeProvider();
    if (runtime_ && provider && provider->GetVersion() >= kFullscreenModuleVersion) {
      TVariant argument = TVariant::String(value ? L"true" : L"false");
      automation_.Put(L"AllowFullscreen", argument);
    }
  } catch (const EOleError&) {
  }
}

// --- methods

namespace {

TVariant Argument(int32_t value) {
  return TVariant::Int(value);
}
TVariant Argument(double value) {
  return TVariant::Double(value);
}
TVariant Argument(const std::wstring& value) {
  return TVariant::String(value);
}

}  // namespace

template <class... Args>
TVariant TFlashPlayerControl::CallFrom(int minimum, const wchar_t* name, const Args&... args) {
  if (!runtime_ || RuntimeMajorVersion() < minimum) {
    return TVariant();
  }
  std::array<TVariant, sizeof...(Args)> values{Argument(args)...};
  return automation_.Call(name, values);
}

void TFlashPlayerControl::SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  CallFrom(3, L"SetZoomRect", left, top, right, bottom);
}
void TFlashPlayerControl::Zoom(int32_t factor) {
  CallFrom(3, L"Zoom", factor);
}
void TFlashPlayerControl::Pan(int32_t x, int32_t y, int32_t mode) {
  CallFrom(3, L"Pan", x, y, mode);
}
void TFlashPlayerControl::Play() {
  CallFrom(3, L"Play");
}
void TFlashPlayerControl::Stop() {
  CallFrom(3, L"Stop");
}
void TFlashPlayerControl::Back() {
  CallFrom(3, L"Back");
}
void TFlashPlayerControl::Forward() {
  CallFrom(3, L"Forward");
}
void TFlashPlayerControl::Rewind() {
  CallFrom(3, L"Rewind");
}
void TFlashPlayerControl::StopPlay() {
  CallFrom(3, L"StopPlay");
}
void TFlashPlayerControl::GotoFrame(int32_t frameNum) {
  CallFrom(3, L"GotoFrame", frameNum);
}
int32_t TFlashPlayerControl::CurrentFrame() {
  return AsInt(CallFrom(3, L"CurrentFrame"));
}
bool TFlashPlayerControl::IsPlaying() {
  return AsBool(CallFrom(3, L"IsPlaying"));
}
int32_t TFlashPlayerControl::PercentLoaded() {
  return AsInt(CallFrom(3, L"PercentLoaded"));
}
bool TFlashPlayerControl::FrameLoaded(int32_t frameNum) {
  return AsBool(CallFrom(3, L"FrameLoaded", frameNum));
}

void TFlashPlayerControl::LoadMovie(int32_t layer, const std::wstring& url) {
  try {
    CallFrom(3, L"LoadMovie", layer, url);
  } catch (const EOleError&) {
    // Loading a movie is a request the runtime may refuse; nobody is told.
  }
}

void TFlashPlayerControl::TGotoFrame(const std::wstring& target, int32_t frameNum) {
  CallFrom(3, L"TGotoFrame", target, frameNum);
}
void TFlashPlayerControl::TGotoLabel(const std::wstring& target, const std::wstring& label) {
  CallFrom(3, L"TGotoLabel", target, label);
}
int32_t TFlashPlayerControl::TCurrentFrame(const std::wstring& target) {
  return AsInt(CallFrom(3, L"TCurrentFrame", target));
}
std::wstring TFlashPlayerControl::TCurrentLabel(const std::wstring& target) {
  return AsString(CallFrom(3, L"TCurrentLabel", target));
}
void TFlashPlayerControl::TPlay(const std::wstring& target) {
  CallFrom(3, L"TPlay", target);
}
void TFlashPlayerControl::TStopPlay(const std::wstring& target) {
  CallFrom(3, L"TStopPlay", target);
}
void TFlashPlayerControl::SetVariable(const std::wstring& name, const std::wstring& value) {
  CallFrom(4, L"SetVariable", name, value);
}
std::wstring TFlashPlayerControl::GetVariable(const std::wstring& name) {
  return AsString(CallFrom(4, L"GetVariable", name));
}
void TFlashPlayerControl::TSetProperty(const std::wstring& target, int32_t property,
                                       const std::wstring& value) {
  CallFrom(4, L"TSetProperty", target, property, value);
}
std::wstring TFlashPlayerControl::TGetProperty(const std::wstring& target, int32_t property) {
  return AsString(CallFrom(4, L"TGetProperty", target, property));
}
void TFlashPlayerControl::TCallFrame(const std::wstring& target, int32_t frameNum) {
  CallFrom(4, L"TCallFrame", target, frameNum);
}
void TFlashPlayerControl::TCallLabel(const std::wstring& target, const std::wstring& label) {
  CallFrom(4, L"TCallLabel", target, label);
}
void TFlashPlayerControl::TSetPropertyNum(const std::wstring& target, int32_t property,
                                          double value) {
  CallFrom(4, L"TSetPropertyNum", target, property, value);
}
double TFlashPlayerControl::TGetPropertyNum(const std::wstring& target, int32_t property) {
  return AsDouble(CallFrom(4, L"TGetPropertyNum", target, property));
}
double TFlashPlayerControl::TGetPropertyAsNumber(const std::wstring& target, int32_t property) {
  return AsDouble(CallFrom(7, L"TGetPropertyAsNumber", target, property));
}
std::wstring TFlashPlayerControl::CallFunction(const std::wstring& request) {
  return AsString(CallFrom(8, L"CallFunction", request));
}
void TFlashPlayerControl::SetReturnValue(const std::wstring& returnValue) {
  CallFrom(8, L"SetReturnValue", returnValue);
}

}  // namespace leafbook
