// The runtime's events and ambient property reads, as they reach the control
// through its site's IDispatch.
#include <olectl.h>

#include <cstdlib>

#include "flashhost/FlashPlayerControl.h"
#include "framework/base/AnsiText.h"
#include "framework/base/OleCheck.h"
#include "framework/gui/Forms.h"

namespace leafbook {

namespace {

constexpr DISPID kDispidReadyStateChange = -609;
constexpr DISPID kDispidProgress = 1958;
constexpr DISPID kDispidFSCommand = 150;
constexpr DISPID kDispidFlashCall = 197;

// Parameter index (0 is the last argument, as automation passes them)
// converted to type. A parameter that is missing or will not convert drops
// the event: it is never read as the wrong type.
HRESULT Parameter(const DISPPARAMS* params, UINT index, VARTYPE type, TVariant& value,
                  UINT* argError) {
  if (!params || index >= params->cArgs || !params->rgvarg) {
    return DISP_E_BADPARAMCOUNT;
  }
  const HRESULT result = ::VariantChangeType(value.Put(), &params->rgvarg[index], 0, type);
  if (FAILED(result) && argError) {
    *argError = index;
  }
  return FAILED(result) ? DISP_E_TYPEMISMATCH : S_OK;
}

std::wstring Text(const TVariant& value) {
  const BSTR text = value.Get()->bstrVal;
  return text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
}

TComPtr<IDispatch> OleFont(const TFont& font) {
  FONTDESC description{};
  description.cbSizeofstruct = sizeof description;
  description.lpstrName = const_cast<LPOLESTR>(font.Name.c_str());
  // A CY counts ten-thousandths of a point: −11 px at 96 per inch is 8.25 pt,
  // which whole points would cut to 8.
  description.cySize.int64 =
      static_cast<LONGLONG>(std::abs(font.Height)) * 72 * 10000 / ScreenPixelsPerInch();
  description.sWeight = FW_NORMAL;
  description.sCharset = font.Charset;
  TComPtr<IDispatch> object;
  OleCheck(::OleCreateFontIndirect(&description, IID_IFontDisp, object.PutVoid()),
           "OleCreateFontIndirect");
  return object;
}

}  // namespace

HRESULT TFlashPlayerControl::InvokeEvent(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                                         UINT* argError) {
  TVariant first;
  TVariant second;
  HRESULT converted = S_OK;
  switch (id) {
    case kDispidReadyStateChange:
    case kDispidProgress:
      converted = Parameter(params, 0, VT_I4, first, argError);
      if (SUCCEEDED(converted)) {
        const int32_t value = first.Get()->lVal;
        if (id == kDispidReadyStateChange && OnReadyStateChange) {
          OnReadyStateChange(this, value);
        } else if (id == kDispidProgress && OnProgress) {
          OnProgress(this, value);
        }
      }
      return converted;
    case kDispidFSCommand:
      // The runtime passes (command, args) reversed: args is parameter 0.
      converted = Parameter(params, 1, VT_BSTR, first, argError);
      if (SUCCEEDED(converted)) {
        converted = Parameter(params, 0, VT_BSTR, second, argError);
      }
      if (SUCCEEDED(converted) && OnFSCommand) {
        OnFSCommand(this, Text(first), Text(second));
      }
      return converted;
    case kDispidFlashCall:
      converted = Parameter(params, 0, VT_BSTR, first, argError);
      if (SUCCEEDED(converted) && OnFlashCall) {
        OnFlashCall(this, Text(first));
      }
      return converted;
    default:
      break;
  }
  if ((flags & DISPATCH_PROPERTYGET) && result) {
    return AmbientProperty(id, result);
  }
  return DISP_E_MEMBERNOTFOUND;
}

HRESULT TFlashPlayerControl::AmbientProperty(DISPID id, VARIANT* result) {
  TVariant value;
  switch (id) {
    case DISPID_AMBIENT_BACKCOLOR:
      value = TVariant::Int(static_cast<LONG>(Color()));
      break;
    case DISPID_AMBIENT_DISPLAYNAME:
      value = TVariant::String(AnsiToWide(Name()));
      break;
    case DISPID_AMBIENT_FONT: {
      const bool inherited = Parent() && ParentFont();
      TComPtr<IDispatch> font = OleFont(inherited ? Parent()->Font() : Font());
      value.Put()->vt = VT_DISPATCH;
      value.Get()->pdispVal = font.Detach();
      break;
    }
    case DISPID_AMBIENT_FORECOLOR:
      value = TVariant::Int(static_cast<LONG>(Font().Color));
      break;
    case DISPID_AMBIENT_LOCALEID:
      value = TVariant::Int(static_cast<LONG>(::GetUserDefaultLCID()));
      break;
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_SUPPORTSMNEMONICS:
    case DISPID_AMBIENT_AUTOCLIP:
      value = TVariant::Bool(true);
      break;
    case DISPID_AMBIENT_USERMODE:
      value = TVariant::Bool(!Designing());
      break;
    case DISPID_AMBIENT_UIDEAD:
      value = TVariant::Bool(Designing());
      break;
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
      value = TVariant::Bool(false);
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  // The caller's variant is empty, as automation hands it over.
  *result = value.Detach();
  return S_OK;
}

}  // namespace leafbook
