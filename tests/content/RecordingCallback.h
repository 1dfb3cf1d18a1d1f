// A bind status callback that records every notification it receives, as a
// runtime's callback would receive them, with the thread each came on.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>
#include <vector>

#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "framework/base/CriticalSection.h"

namespace leafbook::testing {

class TRecordingCallback final
    : public TComObject<TRecordingCallback,
                        TInterface<IBindStatusCallback, &IID_IBindStatusCallback>,
                        TInterface<IHttpNegotiate, &IID_IHttpNegotiate>> {
 public:
  // negotiate: whether it answers IHttpNegotiate; dataResult: what
  // OnDataAvailable returns.
  static TComPtr<TRecordingCallback> Create(bool negotiate = true, HRESULT dataResult = S_OK);
  TRecordingCallback(bool negotiate, HRESULT dataResult)
      : negotiate_(negotiate), dataResult_(dataResult) {}

  // "response 200 HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", "start",
  // "data 5 30 <bytes>", "stop 0x00000000" (CR and LF shown escaped).
  std::vector<std::string> Events();
  size_t EventCount();
  std::vector<DWORD> Threads();
  // What GetBindInfo answers: S_OK with these flags (0, a synchronous
  // binding, until set), as a runtime's callback tells a system moniker.
  void SetBindFlags(DWORD flags) { bindFlags_ = flags; }

  // IHttpNegotiate only when it was made to answer it.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG max, ULONG status,
                                       LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                            STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID iid, IUnknown* object) override;

  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved,
                                                 LPWSTR* additional) override;
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
                                       LPWSTR* additional) override;

 private:
  void Record(const std::string& event);

  bool negotiate_;
  HRESULT dataResult_;
  DWORD bindFlags_ = 0;
  TCriticalSection lock_;
  std::vector<std::string> events_;
  std::vector<DWORD> threads_;
};

}  // namespace leafbook::testing
