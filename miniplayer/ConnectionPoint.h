// The runtime's connection points: one for its event interface and one for
// IPropertyNotifySink. A connection point lives inside its container and
// counts references on it; sinks are held until Unadvise or the container's end.
#pragma once

#include <ocidl.h>

#include <vector>

#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "miniplayer/Apartment.h"

namespace leafbook::miniplayer {

class TConnectionPoint final
    : public TComObject<TConnectionPoint, TInterface<IConnectionPoint, &IID_IConnectionPoint>> {
 public:
  // sinkIid is what each sink is asked for at Advise; fallback (may be null)
  // is asked for when the sink does not answer sinkIid.
  TConnectionPoint(IConnectionPointContainer& container, REFIID pointIid, REFIID sinkIid,
                   const IID* fallback);

  // A point is part of its container, never deleted on its own: its
  // references count on the container.
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) override;

  // The sinks as they stand (each counted), so a sink may Unadvise while called.
  std::vector<TComPtr<IUnknown>> Sinks() const;
  void Clear();

 private:
  struct TConnection {
    DWORD cookie;
    TComPtr<IUnknown> sink;
  };
  TApartment apartment_;  // the container's, made on its thread
  IConnectionPointContainer& container_;
  IID pointIid_;
  IID sinkIid_;
  const IID* fallback_;
  std::vector<TConnection> connections_;
  DWORD nextCookie_ = 1;
};

// The enumerator IConnectionPointContainer::EnumConnectionPoints hands out.
HRESULT NewConnectionPointEnumerator(std::vector<TComPtr<IConnectionPoint>> points,
                                     IEnumConnectionPoints** out);

}  // namespace leafbook::miniplayer
