// The runtime's automation surface reached through IDispatch by name. Each
// name is looked up once per runtime object and its DISPID kept, so every
// runtime version, whatever the layout of its interface, goes through the
// same code path. Failures raise EOleSysError with the runtime's code.
//
// The runtime object is apartment-threaded: it is reached, and the table of
// DISPIDs touched, only on the thread that handed it over (Reset); a call
// from any other raises EOleSysError with RPC_E_WRONG_THREAD.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <map>
#include <span>
#include <string>

#include "framework/base/ComPtr.h"
#include "framework/base/Resources.h"

namespace leafbook {

class TRuntimeAutomation {
 public:
  // Starts over with another runtime object (null: none).
  void Reset(IUnknown* runtime);
  TVariant Get(const wchar_t* name);
  void Put(const wchar_t* name, TVariant& value);
  // Arguments in their natural order.
  TVariant Call(const wchar_t* name, std::span<TVariant> args = {});

 private:
  void CheckThread() const;
  DISPID Id(const wchar_t* name);
  TVariant Invoke(const wchar_t* name, WORD flags, DISPPARAMS& params);

  TComPtr<IDispatch> dispatch_;
  std::map<std::wstring, DISPID> ids_;
  DWORD thread_ = 0;
};

}  // namespace leafbook
