// Connection points and their enumerator.
#include "miniplayer/ConnectionPoint.h"

#include <olectl.h>

#include <memory>

#include "framework/base/ComBoundary.h"

namespace leafbook::miniplayer {

TConnectionPoint::TConnectionPoint(IConnectionPointContainer& container, REFIID pointIid,
                                   REFIID sinkIid, const IID* fallback)
    : container_(container), pointIid_(pointIid), sinkIid_(sinkIid), fallback_(fallback) {}

STDMETHODIMP_(ULONG) TConnectionPoint::AddRef() {
  return container_.AddRef();
}
STDMETHODIMP_(ULONG) TConnectionPoint::Release() {
  return container_.Release();
}

STDMETHODIMP TConnectionPoint::GetConnectionInterface(IID* iid) {
  return ApartmentBoundary(apartment_, "IConnectionPoint::GetConnectionInterface",
                           [&]() -> HRESULT {
                             if (iid == nullptr) {
                               return E_POINTER;
                             }
                             *iid = pointIid_;
                             return S_OK;
                           });
}

STDMETHODIMP TConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  return ApartmentBoundary(apartment_, "IConnectionPoint::GetConnectionPointContainer",
                           [&]() -> HRESULT {
                             if (out == nullptr) {
                               return E_POINTER;
                             }
                             *out = &container_;
                             container_.AddRef();
                             return S_OK;
                           });
}

STDMETHODIMP TConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  return ApartmentBoundary(apartment_, "IConnectionPoint::Advise", [&]() -> HRESULT {
    if (cookie == nullptr) {
      return E_POINTER;
    }
    *cookie = 0;
    if (sink == nullptr) {
      return E_POINTER;
    }
    TComPtr<IUnknown> answer;
    if (FAILED(sink->QueryInterface(sinkIid_, answer.PutVoid())) || !answer) {
      if (fallback_ == nullptr || FAILED(sink->QueryInterface(*fallback_, answer.PutVoid())) ||
          !answer) {
        return CONNECT_E_CANNOTCONNECT;
      }
    }
    *cookie = nextCookie_++;
    connections_.push_back({*cookie, std::move(answer)});
    return S_OK;
  });
}

STDMETHODIMP TConnectionPoint::Unadvise(DWORD cookie) {
  return ApartmentBoundary(apartment_, "IConnectionPoint::Unadvise", [&]() -> HRESULT {
    for (auto it = connections_.begin(); it != connections_.end(); ++it) {
      if (it->cookie == cookie) {
        TComPtr<IUnknown> sink = std::move(it->sink);  // released after the list is consistent
        connections_.erase(it);
        return S_OK;
      }
    }
    return CONNECT_E_NOCONNECTION;
  });
}

STDMETHODIMP TConnectionPoint::EnumConnections(IEnumConnections** out) {
  return ApartmentBoundary(apartment_, "IConnectionPoint::EnumConnections", [&]() -> HRESULT {
    if (out != nullptr) {
      *out = nullptr;
    }
    return E_NOTIMPL;
  });
}

std::vector<TComPtr<IUnknown>> TConnectionPoint::Sinks() const {
  std::vector<TComPtr<IUnknown>> sinks;
  for (const TConnection& connection : connections_) {
    sinks.push_back(connection.sink);
  }
  return sinks;
}

void TConnectionPoint::Clear() {
  std::vector<TConnection> dropped;
  dropped.swap(connections_);
}

namespace {

class TPointEnumerator final
    : public TComObject<TPointEnumerator,
                        TInterface<IEnumConnectionPoints, &IID_IEnumConnectionPoints>> {
 public:
  TPointEnumerator(std::shared_ptr<const std::vector<TComPtr<IConnectionPoint>>> points,
                   size_t position)
      : points_(std::move(points)), position_(position) {}

  STDMETHODIMP Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
    return ComBoundary("IEnumConnectionPoints::Next", [&]() -> HRESULT {
      if (out == nullptr || (count > 1 && fetched == nullptr)) {
        return E_POINTER;
      }
      ULONG done = 0;
      while (done < count && position_ < points_->size()) {
        out[done] = (*points_)[position_++].Get();
        out[done]->AddRef();
        ++done;
      }
      if (fetched != nullptr) {
        *fetched = done;
      }
      return done == count ? S_OK : S_FALSE;
    });
  }
  STDMETHODIMP Skip(ULONG count) override {
    return ComBoundary("IEnumConnectionPoints::Skip", [&]() -> HRESULT {
      const size_t left = points_->size() - position_;
      position_ += count < left ? count : left;
      return count <= left ? S_OK : S_FALSE;
    });
  }
  STDMETHODIMP Reset() override {
    return ComBoundary("IEnumConnectionPoints::Reset", [&]() -> HRESULT {
      position_ = 0;
      return S_OK;
    });
  }
  STDMETHODIMP Clone(IEnumConnectionPoints** out) override {
    return ComBoundary("IEnumConnectionPoints::Clone", [&]() -> HRESULT {
      if (out == nullptr) {
        return E_POINTER;
      }
      *out = NewComObject<TPointEnumerator>(points_, position_);
      (*out)->AddRef();
      return S_OK;
    });
  }

 private:
  std::shared_ptr<const std::vector<TComPtr<IConnectionPoint>>> points_;
  size_t position_;
};

}  // namespace

HRESULT NewConnectionPointEnumerator(std::vector<TComPtr<IConnectionPoint>> points,
                                     IEnumConnectionPoints** out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  auto shared = std::make_shared<const std::vector<TComPtr<IConnectionPoint>>>(std::move(points));
  *out = NewComObject<TPointEnumerator>(std::move(shared), 0);
  (*out)->AddRef();
  return S_OK;
}

}  // namespace leafbook::miniplayer
