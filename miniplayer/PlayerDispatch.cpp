// The automation surface of TMiniPlayer: every property and method a host may
// name, reached through GetIDsOfNames and Invoke. Arguments arrive in reverse
// order, as automation passes them, and are coerced to the member's types.
#include <cwchar>

#include "framework/base/AnsiText.h"
#include "framework/base/ComBoundary.h"
#include "miniplayer/CompiledCode.h"
#include "miniplayer/Dispids.h"
#include "miniplayer/Module.h"
#include "miniplayer/MovieUrl.h"
#include "miniplayer/NoCase.h"
#include "miniplayer/Player.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

namespace {

enum class TType { Void, Str, Int, Bool, Dbl };

struct TMember {
  const wchar_t* name;
  DISPID id;
  bool property;
  bool readOnly;
  TType type;               // the property's type, or the method's result
  std::vector<TType> args;  // methods only
};

const std::vector<TMember>& Members() {
  using T = TType;
  static const std::vector<TMember> members = {
      {L"ReadyState", kReadyState, true, true, T::Int, {}},
      {L"TotalFrames", kTotalFrames, true, true, T::Int, {}},
      {L"Movie", kMovie, true, false, T::Str, {}},
      {L"FrameNum", kFrameNum, true, false, T::Int, {}},
      {L"Playing", kPlaying, true, false, T::Bool, {}},
      {L"Quality", kQuality, true, false, T::Int, {}},
      {L"ScaleMode", kScaleMode, true, false, T::Int, {}},
      {L"AlignMode", kAlignMode, true, false, T::Int, {}},
      {L"BackgroundColor", kBackgroundColor, true, false, T::Int, {}},
      {L"Loop", kLoop, true, false, T::Bool, {}},
      {L"WMode", kWMode, true, false, T::Str, {}},
      {L"SAlign", kSAlign, true, false, T::Str, {}},
      {L"Menu", kMenu, true, false, T::Bool, {}},
      {L"Base", kBase, true, false, T::Str, {}},
      {L"Scale", kScale, true, false, T::Str, {}},
      {L"DeviceFont", kDeviceFont, true, false, T::Bool, {}},
      {L"EmbedMovie", kEmbedMovie, true, false, T::Bool, {}},
      {L"BGColor", kBGColor, true, false, T::Str, {}},
      {L"Quality2", kQuality2, true, false, T::Str, {}},
      {L"SWRemote", kSWRemote, true, false, T::Str, {}},
      {L"Stacking", kStacking, true, false, T::Str, {}},
      {L"FlashVars", kFlashVars, true, false, T::Str, {}},
      {L"AllowScriptAccess", kAllowScriptAccess, true, false, T::Str, {}},
      {L"MovieData", kMovieData, true, false, T::Str, {}},
      {L"AllowFullscreen", kAllowFullscreen, true, false, T::Str, {}},
      {L"SetZoomRect", kSetZoomRect, false, false, T::Void, {T::Int, T::Int, T::Int, T::Int}},
      {L"Zoom", kZoom, false, false, T::Void, {T::Int}},
      {L"Pan", kPan, false, false, T::Void, {T::Int, T::Int, T::Int}},
      {L"Play", kPlay, false, false, T::Void, {}},
      {L"Stop", kStop, false, false, T::Void, {}},
      {L"Back", kBack, false, false, T::Void, {}},
      {L"Forward", kForward, false, false, T::Void, {}},
      {L"Rewind", kRewind, false, false, T::Void, {}},
      {L"StopPlay", kStopPlay, false, false, T::Void, {}},
      {L"GotoFrame", kGotoFrame, false, false, T::Void, {T::Int}},
      {L"CurrentFrame", kCurrentFrame, false, false, T::Int, {}},
      {L"IsPlaying", kIsPlaying, false, false, T::Bool, {}},
      {L"PercentLoaded", kPercentLoaded, false, false, T::Int, {}},
      {L"FrameLoaded", kFrameLoaded, false, false, T::Bool, {T::Int}},
      {L"FlashVersion", kFlashVersion, false, false, T::Int, {}},
      {L"LoadMovie", kLoadMovie, false, false, T::Void, {T::Int, T::Str}},
      {L"TGotoFrame", kTGotoFrame, false, false, T::Void, {T::Str, T::Int}},
      {L"TGotoLabel", kTGotoLabel, false, false, T::Void, {T::Str, T::Str}},
      {L"TCurrentFrame", kTCurrentFrame, false, false, T::Int, {T::Str}},
      {L"TCurrentLabel", kTCurrentLabel, false, false, T::Str, {T::Str}},
      {L"TPlay", kTPlay, false, false, T::Void, {T::Str}},
      {L"TStopPlay", kTStopPlay, false, false, T::Void, {T::Str}},
      {L"SetVariable", kSetVariable, false, false, T::Void, {T::Str, T::Str}},
      {L"GetVariable", kGetVariable, false, false, T::Str, {T::Str}},
      {L"TSetProperty", kTSetProperty, false, false, T::Void, {T::Str, T::Int, T::Str}},
      {L"TGetProperty", kTGetProperty, false, false, T::Str, {T::Str, T::Int}},
      {L"TCallFrame", kTCallFrame, false, false, T::Void, {T::Str, T::Int}},
      {L"TCallLabel", kTCallLabel, false, false, T::Void, {T::Str, T::Str}},
      {L"TSetPropertyNum", kTSetPropertyNum, false, false, T::Void, {T::Str, T::Int, T::Dbl}},
      {L"TGetPropertyNum", kTGetPropertyNum, false, false, T::Dbl, {T::Str, T::Int}},
      {L"TGetPropertyAsNumber", kTGetPropertyAsNumber, false, false, T::Dbl, {T::Str, T::Int}},
      {L"CallFunction", kCallFunction, false, false, T::Str, {T::Str}},
      {L"SetReturnValue", kSetReturnValue, false, false, T::Void, {T::Str}},
  };
  return members;
}

const TMember* FindMember(DISPID id) {
  for (const TMember& member : Members()) {
    if (member.id == id) {
      return &member;
    }
  }
  return nullptr;
}

VARTYPE VarTypeOf(TType type) {
  switch (type) {
    case TType::Str:
      return VT_BSTR;
    case TType::Int:
      return VT_I4;
    case TType::Bool:
      return VT_BOOL;
    case TType::Dbl:
      return VT_R8;
    case TType::Void:
      break;
  }
  return VT_EMPTY;
}

std::wstring Str(const VARIANT& v) {
  return v.bstrVal != nullptr ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"";
}

// Hands a value to the caller's result, when the caller asked for one.
void Answer(VARIANT* result, TVariant value) {
  if (result != nullptr) {
    *result = value.Detach();
  }
}

std::wstring ColorText(long rgb) {
  if (rgb < 0) {
    return L"";
  }
  wchar_t text[8];
  swprintf(text, 8, L"#%06lX", static_cast<unsigned long>(rgb) & 0xFFFFFF);
  return text;
}

long ColorOfText(const std::wstring& text) {
  const wchar_t* digits = text.c_str();
  if (*digits == L'#') {
    ++digits;
  }
  wchar_t* end = nullptr;
  const unsigned long value = std::wcstoul(digits, &end, 16);
  return end != digits && *end == L'\0' ? static_cast<long>(value & 0xFFFFFF) : -1;
}

}  // namespace

void TMiniPlayer::SetDefaults() {
  numbers_ = {{kQuality, 1}, {kScaleMode, 0},  {kAlignMode, 0}, {kLoop, -1},
              {kMenu, -1},   {kDeviceFont, 0}, {kEmbedMovie, 0}};
  strings_ = {{kWMode, L"Window"},
              {kSAlign, L""},
              {kBase, L""},
              {kScale, L"ShowAll"},
              {kQuality2, L"High"},
              {kSWRemote, L""},
              {kStacking, L"below"},
              {kFlashVars, L""},
              {kAllowScriptAccess, L"sameDomain"},
              {kMovieData, L""},
              {kAllowFullscreen, L"false"}};
}

TLayer* TMiniPlayer::LayerOfTarget(const std::wstring& target) {
  if (target.empty() || target == L"/") {
    return stage_.Level(0);
  }
  auto level = LevelOfTarget(target);
  return level ? stage_.Level(*level) : nullptr;
}

STDMETHODIMP TMiniPlayer::GetTypeInfoCount(UINT* count) {
  return ApartmentBoundary(apartment_, "IDispatch::GetTypeInfoCount", [&]() -> HRESULT {
    if (count == nullptr) {
      return E_POINTER;
    }
    *count = 0;  // no type library: hosts reach the members by name
    return S_OK;
  });
}

STDMETHODIMP TMiniPlayer::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
  return ApartmentBoundary(apartment_, "IDispatch::GetTypeInfo", [&]() -> HRESULT {
    if (out != nullptr) {
      *out = nullptr;
    }
    return DISP_E_BADINDEX;
  });
}

STDMETHODIMP TMiniPlayer::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return ApartmentBoundary(apartment_, "IDispatch::GetIDsOfNames", [&]() -> HRESULT {
    if (names == nullptr || ids == nullptr) {
      return E_POINTER;
    }
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      if (i > 0 || names[i] == nullptr) {
        result = DISP_E_UNKNOWNNAME;  // no named arguments
        continue;
      }
      for (const TMember& member : Members()) {
        if (EqualsNoCase(member.name, names[i])) {
          ids[i] = member.id;
          break;
        }
      }
      if (ids[i] == DISPID_UNKNOWN) {
        result = DISP_E_UNKNOWNNAME;
      }
    }
    return result;
  });
}

STDMETHODIMP TMiniPlayer::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT* argError) {
  return ApartmentBoundary(apartment_, "IDispatch::Invoke", [&]() -> HRESULT {
    const TMember* member = FindMember(id);
    if (member == nullptr) {
      return DISP_E_MEMBERNOTFOUND;
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (params == nullptr) {
      params = &none;
    }
    if (result != nullptr) {
      VariantInit(result);
    }
    bool put = false;
    std::vector<TType> types;
    if (member->property) {
      if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
        if (member->readOnly) {
          return DISP_E_MEMBERNOTFOUND;
        }
        if (params->cArgs != 1) {
          return DISP_E_BADPARAMCOUNT;
        }
        if (params->cNamedArgs != 1 || params->rgdispidNamedArgs == nullptr ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
          return DISP_E_PARAMNOTOPTIONAL;
        }
        put = true;
        types = {member->type};
      } else if ((flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0) {
        if (params->cArgs != 0) {
          return DISP_E_BADPARAMCOUNT;
        }
      } else {
        return DISP_E_MEMBERNOTFOUND;
      }
    } else {
      if ((flags & DISPATCH_METHOD) == 0) {
        return DISP_E_MEMBERNOTFOUND;
      }
      if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
      }
      if (params->cArgs != member->args.size()) {
        return DISP_E_BADPARAMCOUNT;
      }
      types = member->args;
    }
    if (params->cArgs > 0 && params->rgvarg == nullptr) {
      return E_INVALIDARG;
    }
    std::vector<TVariant> args(types.size());
    HRESULT hr = S_OK;
    for (size_t i = 0; i < types.size() && SUCCEEDED(hr); ++i) {
      const UINT slot = static_cast<UINT>(types.size() - 1 - i);  // last argument first
      hr = VariantChangeType(args[i].Get(), &params->rgvarg[slot], 0, VarTypeOf(types[i]));
      if (FAILED(hr)) {
        if (argError != nullptr) {
          *argError = slot;
        }
        hr = DISP_E_TYPEMISMATCH;
      }
    }
    if (SUCCEEDED(hr)) {
      hr = CallMember(id, put, args, put ? nullptr : result);
    }
    return hr;
  });
}

HRESULT TMiniPlayer::CallMember(DISPID id, bool put, std::vector<TVariant>& args, VARIANT* result) {
  TTimeline* main = stage_.MainTimeline();
  auto arg = [&](size_t i) -> VARIANT& { return *args[i].Get(); };
  auto boolArg = [&](size_t i) { return arg(i).boolVal != VARIANT_FALSE; };
  switch (id) {
    case kReadyState:
      Answer(result, TVariant::Int(readyState_));
      return S_OK;
    case kTotalFrames:
      Answer(result, TVariant::Int(main != nullptr ? main->TotalFrames() : 0));
      return S_OK;
    case kMovie:
      if (put) {
        movie_ = Str(arg(0));
        Trace(L"put Movie " + movie_);
        queue_.LoadUrl(0, movie_, strings_[kBase]);
      } else {
        Answer(result, TVariant::String(movie_));
      }
      return S_OK;
    case kFrameNum:
      if (put) {
        if (main != nullptr) {
          main->GotoFrame(arg(0).lVal);
        }
      } else {
        Answer(result, TVariant::Int(main != nullptr ? main->CurrentFrame() : -1));
      }
      return S_OK;
    case kPlaying:
      if (put) {
        if (main != nullptr) {
          boolArg(0) ? main->Play() : main->Stop();
        }
        stage_.UpdateTimer();
      } else {
        Answer(result, TVariant::Bool(main != nullptr && main->Playing()));
      }
      return S_OK;
    case kBackgroundColor:
      if (put) {
        backgroundColor_ = arg(0).lVal < 0 ? -1 : (arg(0).lVal & 0xFFFFFF);
        windows_.Invalidate();
      } else {
        Answer(result, TVariant::Int(backgroundColor_));
      }
      return S_OK;
    case kBGColor:
      if (put) {
        backgroundColor_ = ColorOfText(Str(arg(0)));
        windows_.Invalidate();
      } else {
        Answer(result, TVariant::String(ColorText(backgroundColor_)));
      }
      return S_OK;
    case kAllowFullscreen:
      if (put) {
        strings_[id] = EqualsNoCase(Str(arg(0)), L"true") ? L"true" : L"false";
      } else {
        Answer(result, TVariant::String(strings_[id]));
      }
      return S_OK;
    case kQuality:
    case kScaleMode:
    case kAlignMode:
      if (put) {
        numbers_[id] = arg(0).lVal;
      } else {
        Answer(result, TVariant::Int(numbers_[id]));
      }
      return S_OK;
    case kLoop:
    case kMenu:
    case kDeviceFont:
    case kEmbedMovie:
      if (put) {
        numbers_[id] = boolArg(0) ? -1 : 0;
      } else {
        Answer(result, TVariant::Bool(numbers_[id] != 0));
      }
      return S_OK;
    case kWMode:
    case kSAlign:
    case kBase:
    case kScale:
    case kQuality2:
    case kSWRemote:
    case kStacking:
    case kFlashVars:
    case kAllowScriptAccess:
    case kMovieData:
      if (put) {
        strings_[id] = Str(arg(0));
      } else {
        Answer(result, TVariant::String(strings_[id]));
      }
      return S_OK;

    case kSetZoomRect:
      Trace(L"zoom rectangle " + std::to_wstring(arg(0).lVal) + L"," +
            std::to_wstring(arg(1).lVal) + L"," + std::to_wstring(arg(2).lVal) + L"," +
            std::to_wstring(arg(3).lVal));
      return S_OK;
    case kZoom:
      zoom_ = arg(0).lVal;
      Trace(L"zoom " + std::to_wstring(zoom_));
      return S_OK;
    case kPan:
      Trace(L"pan " + std::to_wstring(arg(0).lVal) + L"," + std::to_wstring(arg(1).lVal));
      return S_OK;
    case kPlay:
      if (main != nullptr) {
        main->Play();
      }
      stage_.UpdateTimer();
      return S_OK;
    case kStop:
    case kStopPlay:
      if (main != nullptr) {
        main->Stop();
      }
      stage_.UpdateTimer();
      return S_OK;
    case kBack:
    case kForward:
      stage_.TurnPage(id == kForward);
      return S_OK;
    case kRewind:
      if (main != nullptr) {
        main->Rewind();
      }
      stage_.UpdateTimer();
      return S_OK;
    case kGotoFrame:
      if (main != nullptr) {
        main->GotoFrame(arg(0).lVal);
      }
      stage_.UpdateTimer();
      return S_OK;
    case kCurrentFrame:
      Answer(result, TVariant::Int(main != nullptr ? main->CurrentFrame() : -1));
      return S_OK;
    case kIsPlaying:
      Answer(result, TVariant::Bool(main != nullptr && main->Playing()));
      return S_OK;
    case kPercentLoaded:
      Answer(result, TVariant::Int(queue_.PercentLoaded()));
      return S_OK;
    case kFrameLoaded:
      Answer(result, TVariant::Bool(main != nullptr && arg(0).lVal >= 0 &&
                                    arg(0).lVal < main->TotalFrames()));
      return S_OK;
    case kFlashVersion: {
      const TModuleVersion version = ModuleVersion();
      Answer(result, TVariant::Int(static_cast<long>((static_cast<uint32_t>(version.major) << 16) |
                                                     version.minor)));
      return S_OK;
    }
    case kLoadMovie:
      Trace(L"LoadMovie level " + std::to_wstring(arg(0).lVal) + L" " + Str(arg(1)));
      if (arg(0).lVal < 0) {
        return E_INVALIDARG;
      }
      queue_.LoadUrl(arg(0).lVal, Str(arg(1)), strings_[kBase]);
      return S_OK;
    case kTGotoFrame:
    case kTCallFrame:
    case kTGotoLabel:
    case kTCallLabel:
    case kTPlay:
    case kTStopPlay: {
      TLayer* layer = LayerOfTarget(Str(arg(0)));
      TTimeline* timeline = layer != nullptr ? layer->timeline.get() : nullptr;
      if (timeline == nullptr) {
        return S_OK;
      }
      if (id == kTGotoFrame) {
        timeline->GotoFrame(arg(1).lVal);
      } else if (id == kTCallFrame) {
        timeline->CallFrame(arg(1).lVal);
      } else if (id == kTGotoLabel) {
        timeline->GotoLabel(WideToUtf8(Str(arg(1))));
      } else if (id == kTCallLabel) {
        timeline->CallFrame(timeline->Movie().FrameOfLabel(WideToUtf8(Str(arg(1)))));
      } else if (id == kTPlay) {
        timeline->Play();
      } else {
        timeline->Stop();
      }
      stage_.UpdateTimer();
      return S_OK;
    }
    case kTCurrentFrame:
    case kTCurrentLabel: {
      TLayer* layer = LayerOfTarget(Str(arg(0)));
      TTimeline* timeline = layer != nullptr ? layer->timeline.get() : nullptr;
      if (id == kTCurrentFrame) {
        Answer(result, TVariant::Int(timeline != nullptr ? timeline->CurrentFrame() : -1));
      } else {
        Answer(result,
               TVariant::String(timeline != nullptr ? Utf8ToWide(timeline->CurrentLabel()) : L""));
      }
      return S_OK;
    }
    case kSetVariable:
      variables_[Str(arg(0))] = Str(arg(1));
      return S_OK;
    case kGetVariable: {
      const std::wstring name = Str(arg(0));
      if (name == L"$version") {
        const TModuleVersion v = ModuleVersion();
        Answer(result, TVariant::String(L"WIN " + std::to_wstring(v.major) + L"," +
                                        std::to_wstring(v.minor) + L"," + std::to_wstring(v.build) +
                                        L"," + std::to_wstring(v.revision)));
      } else {
        auto it = variables_.find(name);
        Answer(result, TVariant::String(it != variables_.end() ? it->second : L""));
      }
      return S_OK;
    }
    case kTSetProperty:
    case kTSetPropertyNum: {
      const std::wstring key = Str(arg(0)) + L"\n" + std::to_wstring(arg(1).lVal);
      if (id == kTSetProperty) {
        targetProperties_[key] = Str(arg(2));
      } else {
        wchar_t text[64];
        swprintf(text, 64, L"%.15g", arg(2).dblVal);
        targetProperties_[key] = text;
      }
      return S_OK;
    }
    case kTGetProperty:
    case kTGetPropertyNum:
    case kTGetPropertyAsNumber: {
      const std::wstring target = Str(arg(0));
      const long property = arg(1).lVal;
      std::wstring value;
      TLayer* layer = LayerOfTarget(target);
      TTimeline* timeline = layer != nullptr ? layer->timeline.get() : nullptr;
      // Property numbers 4, 5 and 12: current frame (from 1), total frames, frames loaded.
      if (timeline != nullptr && property == 4) {
        value = std::to_wstring(timeline->CurrentFrame() + 1);
      } else if (timeline != nullptr && (property == 5 || property == 12)) {
        value = std::to_wstring(timeline->TotalFrames());
      } else {
        auto it = targetProperties_.find(target + L"\n" + std::to_wstring(property));
        value = it != targetProperties_.end() ? it->second : L"";
      }
      if (id == kTGetProperty) {
        Answer(result, TVariant::String(value));
      } else {
        Answer(result, TVariant::Double(std::wcstod(value.c_str(), nullptr)));
      }
      return S_OK;
    }
    case kCallFunction: {
      // The movie hands the request back to its container as a FlashCall; the
      // container's SetReturnValue during that event is the answer.
      const std::wstring request = Str(arg(0));
      returnValue_.clear();
      Trace(L"event FlashCall " + request);
      FireEvent(kDispidFlashCall, {TVariant::String(request)});
      Answer(result, TVariant::String(returnValue_));
      return S_OK;
    }
    case kSetReturnValue:
      returnValue_ = Str(arg(0));
      return S_OK;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

}  // namespace leafbook::miniplayer
