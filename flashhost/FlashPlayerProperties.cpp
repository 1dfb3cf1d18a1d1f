// The runtime's properties and methods as the control republishes them. Each
// property keeps its own cache; whether an access reaches the runtime depends
// on the major version of the runtime loaded, read afresh each time, since
// the runtime's interface grew from version to version.
#include <algorithm>

#include "flashhost/FlashPlayerControl.h"
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
    return 0;  // nothing to ask; the control itself never asks without a runtime
  }
  return AsInt(automation_.Call(L"FlashVersion", {}));
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
std::wstring TFlashPlayerControl::Base() {
  return ReadString(L"Base", TGate::Any, base_);
}
void TFlashPlayerControl::SetBase(const std::wstring& value) {
  WriteString(L"Base", TGate::Any, base_, value);
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

bool TFlashPlayerControl::MethodExists(int minimum) {
  return runtime_ && RuntimeMajorVersion() >= minimum;
}

TVariant TFlashPlayerControl::CallMethod(const wchar_t* name,
                                         std::initializer_list<TVariant*> args) {
  return automation_.Call(name, args);
}

void TFlashPlayerControl::SetZoomRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (MethodExists(3)) {
    TVariant a = TVariant::Int(left), b = TVariant::Int(top), c = TVariant::Int(right),
             d = TVariant::Int(bottom);
    CallMethod(L"SetZoomRect", {&a, &b, &c, &d});
  }
}

void TFlashPlayerControl::Zoom(int32_t factor) {
  if (MethodExists(3)) {
    TVariant a = TVariant::Int(factor);
    CallMethod(L"Zoom", {&a});
  }
}

void TFlashPlayerControl::Pan(int32_t x, int32_t y, int32_t mode) {
  if (MethodExists(3)) {
    TVariant a = TVariant::Int(x), b = TVariant::Int(y), c = TVariant::Int(mode);
    CallMethod(L"Pan", {&a, &b, &c});
  }
}

void TFlashPlayerControl::Play() {
  if (MethodExists(3)) {
    CallMethod(L"Play", {});
  }
}

void TFlashPlayerControl::Stop() {
  if (MethodExists(3)) {
    CallMethod(L"Stop", {});
  }
}

void TFlashPlayerControl::Back() {
  if (MethodExists(3)) {
    CallMethod(L"Back", {});
  }
}

void TFlashPlayerControl::Forward() {
  if (MethodExists(3)) {
    CallMethod(L"Forward", {});
  }
}

void TFlashPlayerControl::Rewind() {
  if (MethodExists(3)) {
    CallMethod(L"Rewind", {});
  }
}

void TFlashPlayerControl::StopPlay() {
  if (MethodExists(3)) {
    CallMethod(L"StopPlay", {});
  }
}

void TFlashPlayerControl::GotoFrame(int32_t frameNum) {
  if (MethodExists(3)) {
    TVariant a = TVariant::Int(frameNum);
    CallMethod(L"GotoFrame", {&a});
  }
}

int32_t TFlashPlayerControl::CurrentFrame() {
  return MethodExists(3) ? AsInt(CallMethod(L"CurrentFrame", {})) : 0;
}

bool TFlashPlayerControl::IsPlaying() {
  return MethodExists(3) && AsBool(CallMethod(L"IsPlaying", {}));
}

int32_t TFlashPlayerControl::PercentLoaded() {
  return MethodExists(3) ? AsInt(CallMethod(L"PercentLoaded", {})) : 0;
}

bool TFlashPlayerControl::FrameLoaded(int32_t frameNum) {
  if (!MethodExists(3)) {
    return false;
  }
  TVariant a = TVariant::Int(frameNum);
  return AsBool(CallMethod(L"FrameLoaded", {&a}));
}

void TFlashPlayerControl::LoadMovie(int32_t layer, const std::wstring& url) {
  try {
    if (MethodExists(3)) {
      TVariant a = TVariant::Int(layer), b = TVariant::String(url);
      CallMethod(L"LoadMovie", {&a, &b});
    }
  } catch (const EOleError&) {
    // Loading a movie is a request the runtime may refuse; nobody is told.
  }
}

void TFlashPlayerControl::TGotoFrame(const std::wstring& target, int32_t frameNum) {
  if (MethodExists(3)) {
    TVariant a = TVariant::String(target), b = TVariant::Int(frameNum);
    CallMethod(L"TGotoFrame", {&a, &b});
  }
}

void TFlashPlayerControl::TGotoLabel(const std::wstring& target, const std::wstring& label) {
  if (MethodExists(3)) {
    TVariant a = TVariant::String(target), b = TVariant::String(label);
    CallMethod(L"TGotoLabel", {&a, &b});
  }
}

int32_t TFlashPlayerControl::TCurrentFrame(const std::wstring& target) {
  if (!MethodExists(3)) {
    return 0;
  }
  TVariant a = TVariant::String(target);
  return AsInt(CallMethod(L"TCurrentFrame", {&a}));
}

std::wstring TFlashPlayerControl::TCurrentLabel(const std::wstring& target) {
  if (!MethodExists(3)) {
    return {};
  }
  TVariant a = TVariant::String(target);
  return AsString(CallMethod(L"TCurrentLabel", {&a}));
}

void TFlashPlayerControl::TPlay(const std::wstring& target) {
  if (MethodExists(3)) {
    TVariant a = TVariant::String(target);
    CallMethod(L"TPlay", {&a});
  }
}

void TFlashPlayerControl::TStopPlay(const std::wstring& target) {
  if (MethodExists(3)) {
    TVariant a = TVariant::String(target);
    CallMethod(L"TStopPlay", {&a});
  }
}

void TFlashPlayerControl::SetVariable(const std::wstring& name, const std::wstring& value) {
  if (MethodExists(4)) {
    TVariant a = TVariant::String(name), b = TVariant::String(value);
    CallMethod(L"SetVariable", {&a, &b});
  }
}

std::wstring TFlashPlayerControl::GetVariable(const std::wstring& name) {
  if (!MethodExists(4)) {
    return {};
  }
  TVariant a = TVariant::String(name);
  return AsString(CallMethod(L"GetVariable", {&a}));
}

void TFlashPlayerControl::TSetProperty(const std::wstring& target, int32_t property,
                                       const std::wstring& value) {
  if (MethodExists(4)) {
    TVariant a = TVariant::String(target), b = TVariant::Int(property), c = TVariant::String(value);
    CallMethod(L"TSetProperty", {&a, &b, &c});
  }
}

std::wstring TFlashPlayerControl::TGetProperty(const std::wstring& target, int32_t property) {
  if (!MethodExists(4)) {
    return {};
  }
  TVariant a = TVariant::String(target), b = TVariant::Int(property);
  return AsString(CallMethod(L"TGetProperty", {&a, &b}));
}

void TFlashPlayerControl::TCallFrame(const std::wstring& target, int32_t frameNum) {
  if (MethodExists(4)) {
    TVariant a = TVariant::String(target), b = TVariant::Int(frameNum);
    CallMethod(L"TCallFrame", {&a, &b});
  }
}

void TFlashPlayerControl::TCallLabel(const std::wstring& target, const std::wstring& label) {
  if (MethodExists(4)) {
    TVariant a = TVariant::String(target), b = TVariant::String(label);
    CallMethod(L"TCallLabel", {&a, &b});
  }
}

void TFlashPlayerControl::TSetPropertyNum(const std::wstring& target, int32_t property,
                                          double value) {
  if (MethodExists(4)) {
    TVariant a = TVariant::String(target), b = TVariant::Int(property), c = TVariant::Double(value);
    CallMethod(L"TSetPropertyNum", {&a, &b, &c});
  }
}

double TFlashPlayerControl::TGetPropertyNum(const std::wstring& target, int32_t property) {
  if (!MethodExists(4)) {
    return 0;
  }
  TVariant a = TVariant::String(target), b = TVariant::Int(property);
  return AsDouble(CallMethod(L"TGetPropertyNum", {&a, &b}));
}

double TFlashPlayerControl::TGetPropertyAsNumber(const std::wstring& target, int32_t property) {
  if (!MethodExists(7)) {
    return 0;
  }
  TVariant a = TVariant::String(target), b = TVariant::Int(property);
  return AsDouble(CallMethod(L"TGetPropertyAsNumber", {&a, &b}));
}

std::wstring TFlashPlayerControl::CallFunction(const std::wstring& request) {
  if (!MethodExists(8)) {
    return {};
  }
  TVariant a = TVariant::String(request);
  return AsString(CallMethod(L"CallFunction", {&a}));
}

void TFlashPlayerControl::SetReturnValue(const std::wstring& returnValue) {
  if (MethodExists(8)) {
    TVariant a = TVariant::String(returnValue);
    CallMethod(L"SetReturnValue", {&a});
  }
}

}  // namespace leafbook
