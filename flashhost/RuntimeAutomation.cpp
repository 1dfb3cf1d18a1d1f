// The runtime's automation surface by name.
#include "flashhost/RuntimeAutomation.h"

#include <string>
#include <vector>

#include "framework/base/AnsiText.h"
#include "framework/base/OleCheck.h"

namespace leafbook {

void TRuntimeAutomation::Reset(IUnknown* runtime) {
  thread_ = ::GetCurrentThreadId();
  ids_.clear();
  dispatch_.Reset();
  if (runtime) {
    runtime->QueryInterface(IID_IDispatch, dispatch_.PutVoid());
  }
}

void TRuntimeAutomation::CheckThread() const {
  if (::GetCurrentThreadId() != thread_) {
    throw EOleSysError(RPC_E_WRONG_THREAD, "The movie runtime is reached from its own thread only");
  }
}

DISPID TRuntimeAutomation::Id(const wchar_t* name) {
  CheckThread();
  if (!dispatch_) {
    throw EOleError("The movie runtime has no automation interface");
  }
  auto found = ids_.find(name);
  if (found != ids_.end()) {
    return found->second;
  }
  DISPID id = DISPID_UNKNOWN;
  auto* text = const_cast<LPOLESTR>(name);
  OleCheck(dispatch_->GetIDsOfNames(IID_NULL, &text, 1, LOCALE_USER_DEFAULT, &id),
           ("GetIDsOfNames " + WideToAnsi(name)).c_str());
  ids_.emplace(name, id);
  return id;
}

TVariant TRuntimeAutomation::Invoke(const wchar_t* name, WORD flags, DISPPARAMS& params) {
  const DISPID id = Id(name);
  TVariant result;
  EXCEPINFO exception{};
  UINT argError = 0;
  const HRESULT code = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                         flags & DISPATCH_PROPERTYPUT ? nullptr : result.Put(),
                                         &exception, &argError);
  ::SysFreeString(exception.bstrSource);
  ::SysFreeString(exception.bstrDescription);
  ::SysFreeString(exception.bstrHelpFile);
  OleCheck(code, WideToAnsi(name).c_str());
  return result;
}

TVariant TRuntimeAutomation::Get(const wchar_t* name) {
  DISPPARAMS params{nullptr, nullptr, 0, 0};
  return Invoke(name, DISPATCH_PROPERTYGET, params);
}

void TRuntimeAutomation::Put(const wchar_t* name, TVariant& value) {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{value.Get(), &named, 1, 1};
  Invoke(name, DISPATCH_PROPERTYPUT, params);
}

TVariant TRuntimeAutomation::Call(const wchar_t* name, std::span<TVariant> args) {
  // Automation passes arguments last first.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto it = args.rbegin(); it != args.rend(); ++it) {
    reversed.push_back(*it->Get());  // borrowed: the TVariants keep ownership
  }
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return Invoke(name, DISPATCH_METHOD, params);
}

}  // namespace leafbook
