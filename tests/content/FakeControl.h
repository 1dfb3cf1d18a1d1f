// A stand-in for a host control as the content manager sees it: records every
// call it receives and answers the resource events through hooks a test sets.
// Also the fixture the content manager's tests share: COM, a main thread,
// urlmon bound, and binding a URL the way a runtime does.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <urlmon.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "content/ContentManager.h"
#include "content/FlashPlayerControlBase.h"
#include "framework/base/ComObject.h"
#include "framework/base/ComPtr.h"
#include "framework/base/CriticalSection.h"
#include "tests/content/RecordingCallback.h"

namespace leafbook::testing {

std::string Narrow(const std::wstring& text);

class TFakeControl final
    : public TComObject<TFakeControl,
                        TInterface<IFlashPlayerControlBase, &IID_IFlashPlayerControlBase>> {
 public:
  static TComPtr<TFakeControl> Create() {
    return TComPtr<TFakeControl>(NewComObject<TFakeControl>());
  }
  TFakeControl() = default;

  // "PutMovie <url>", "LoadMovie <layer> <url>", "GetBase", "Ex <url>",
  // "Load <url>", "Async <path>", "Unload <stream's first bytes>".
  std::vector<std::string> Calls();

  std::wstring base;
  // Runs inside PutMovie and LoadMovie, after the call is recorded.
  std::function<void(const std::wstring& url)> onMovie;
  // OnLoadExternalResourceEx. A handler that sets handled owns the writer:
  // leaving it in the slot frees it on return, moving it out keeps it.
  std::function<void(const std::wstring& url, std::unique_ptr<TStream>& writer, bool& handled)>
      onEx;
  // OnLoadExternalResource: writes into the memory stream it is given.
  std::function<void(const std::wstring& url, TStream& stream)> onLoad;
  // OnLoadExternalResourceAsync: a new stream, or null.
  std::function<std::unique_ptr<TStream>(const std::wstring& path)> onAsync;
  // OnUnloadExternalResourceAsync, after the call is recorded.
  std::function<void(TStream* stream)> onUnload;

  HRESULT STDMETHODCALLTYPE PutMovie(LPCWSTR url) override;
  HRESULT STDMETHODCALLTYPE LoadMovie(int32_t layer, LPCWSTR url) override;
  HRESULT STDMETHODCALLTYPE GetBase(BSTR* base) override;
  HRESULT STDMETHODCALLTYPE FireLoadExternalResource(LPCWSTR url, TStream* stream) override;
  HRESULT STDMETHODCALLTYPE FireLoadExternalResourceEx(LPCWSTR url, TStream* stream,
                                                       BOOL* handled) override;
  HRESULT STDMETHODCALLTYPE FireLoadExternalResourceAsync(LPCWSTR path, TStream** stream) override;
  HRESULT STDMETHODCALLTYPE FireUnloadExternalResourceAsync(TStream* stream) override;

 private:
  void Record(const std::string& call);

  TCriticalSection lock_;
  std::vector<std::string> calls_;
};

// The text of every data notification, in order.
std::string ReceivedBytes(const TComPtr<TRecordingCallback>& callback);
// The first word of each event ("response", "start", "data", "stop").
std::vector<std::string> EventKinds(const TComPtr<TRecordingCallback>& callback);

class ContentTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // As a runtime binds: a moniker from the manager for url, a fresh bind
  // context in which callback is registered, BindToStorage for an IStream.
  HRESULT Bind(const std::wstring& url, IBindStatusCallback* callback);
  // Pumps the thread's messages until callback has seen a stop (asynchronous
  // system bindings report through the message loop), for at most a while.
  static void PumpUntilStopped(const TComPtr<TRecordingCallback>& callback);

  TContentManager manager;
};

}  // namespace leafbook::testing
