// TMiniPlayer's connection points and the events it raises through them.
#include <olectl.h>

#include <vector>

#include "framework/base/ComBoundary.h"
#include "miniplayer/Player.h"
#include "miniplayer/Trace.h"

namespace leafbook::miniplayer {

STDMETHODIMP TMiniPlayer::EnumConnectionPoints(IEnumConnectionPoints** out) {
  return ApartmentBoundary(apartment_, "IConnectionPointContainer::EnumConnectionPoints",
                           [&]() -> HRESULT {
                             return NewConnectionPointEnumerator({&events_, &propertySinks_}, out);
                           });
}

STDMETHODIMP TMiniPlayer::FindConnectionPoint(REFIID iid, IConnectionPoint** out) {
  return ApartmentBoundary(
      apartment_, "IConnectionPointContainer::FindConnectionPoint", [&]() -> HRESULT {
        if (FailureInjected("IConnectionPointContainer::FindConnectionPoint")) {
          return E_FAIL;
        }
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
      });
}

void TMiniPlayer::FireEvent(DISPID id, std::initializer_list<TVariant> argsReversed) {
  if (frozen_ != 0) {
    return;
  }
  // Plain copies for the call: the arguments stay owned (and cleared) by the caller's list.
  std::vector<VARIANT> args;
  for (const TVariant& arg : argsReversed) {
    args.push_back(*arg.Get());
  }
  TComPtr<IUnknown> self(static_cast<IOleObject*>(this));  // a handler may drop the last reference
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  for (const TComPtr<IUnknown>& sink : events_.Sinks()) {
    // Each sink was taken as the event interface or IDispatch: both are IDispatch.
    static_cast<IDispatch*>(sink.Get())
        ->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                 nullptr);
  }
}

void TMiniPlayer::SetReadyState(long state) {
  readyState_ = state;
  Trace(L"event ReadyState " + std::to_wstring(state));
  FireEvent(kDispidReadyStateChange, {TVariant::Int(state)});
  for (const TComPtr<IUnknown>& sink : propertySinks_.Sinks()) {
    static_cast<IPropertyNotifySink*>(sink.Get())->OnChanged(DISPID_READYSTATE);
  }
}

void TMiniPlayer::FireProgress(long percent) {
  Trace(L"event Progress " + std::to_wstring(percent));
  FireEvent(kDispidProgress, {TVariant::Int(percent)});
}

void TMiniPlayer::FireFsCommand(const std::wstring& command, const std::wstring& args) {
  Trace(L"event FSCommand " + command + L" " + args);
  FireEvent(kDispidFSCommand, {TVariant::String(args), TVariant::String(command)});
}

}  // namespace leafbook::miniplayer
