// IFlashPlayerControlBase: how the content side reaches a host control
// without knowing its class: set its movie, load a movie into a layer, read
// its base URL, and raise its four resource-request events. The interface
// carries no state; a reference to it does not govern the control's life.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "framework/base/Streams.h"

namespace leafbook {

// {911FA1AF-CDB2-45ED-8271-5662000000BC}
constexpr IID IID_IFlashPlayerControlBase = {
    0x911FA1AF, 0xCDB2, 0x45ED, {0x82, 0x71, 0x56, 0x62, 0x00, 0x00, 0x00, 0xBC}};

struct IFlashPlayerControlBase : public IUnknown {
  // Sets the Movie property.
  virtual HRESULT STDMETHODCALLTYPE PutMovie(LPCWSTR url) = 0;
  // The runtime's LoadMovie into layer (runtimes of major version 3 and up);
  // the runtime's errors are swallowed.
  virtual HRESULT STDMETHODCALLTYPE LoadMovie(int32_t layer, LPCWSTR url) = 0;
  // The Base property, as a new BSTR the caller frees.
  virtual HRESULT STDMETHODCALLTYPE GetBase(BSTR* base) = 0;
  // The Fire methods raise their event and answer S_OK, or S_FALSE (leaving
  // their out arguments alone) when no handler is assigned.
  virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResource(LPCWSTR url, TStream* stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResourceEx(LPCWSTR url, TStream* stream,
                                                               BOOL* handled) = 0;
  // The stream handed back belongs to the caller from then on.
  virtual HRESULT STDMETHODCALLTYPE FireLoadExternalResourceAsync(LPCWSTR path,
                                                                  TStream** stream) = 0;
  virtual HRESULT STDMETHODCALLTYPE FireUnloadExternalResourceAsync(TStream* stream) = 0;
};

}  // namespace leafbook
