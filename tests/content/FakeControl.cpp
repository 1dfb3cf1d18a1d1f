// The stand-in control and the shared fixture.
#include "tests/content/FakeControl.h"

#include "content/UrlMon.h"
#include "framework/gui/MainThread.h"

namespace leafbook::testing {

std::string Narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text) {
    result += static_cast<char>(c);
  }
  return result;
}

void TFakeControl::Record(const std::string& call) {
  TLockGuard guard(lock_);
  calls_.push_back(call);
}

std::vector<std::string> TFakeControl::Calls() {
  TLockGuard guard(lock_);
  return calls_;
}

HRESULT TFakeControl::PutMovie(LPCWSTR url) {
  Record("PutMovie " + Narrow(url));
  if (onMovie) {
    onMovie(url);
  }
  return S_OK;
}

HRESULT TFakeControl::LoadMovie(int32_t layer, LPCWSTR url) {
  Record("LoadMovie " + std::to_string(layer) + " " + Narrow(url));
  if (onMovie) {
    onMovie(url);
  }
  return S_OK;
}

HRESULT TFakeControl::GetBase(BSTR* out) {
  Record("GetBase");
  *out = ::SysAllocString(base.c_str());
  return S_OK;
}

HRESULT TFakeControl::FireLoadExternalResource(LPCWSTR url, TStream* stream) {
  Record("Load " + Narrow(url));
  if (!onLoad) {
    return S_FALSE;
  }
  onLoad(url, *stream);
  return S_OK;
}

HRESULT TFakeControl::FireLoadExternalResourceEx(LPCWSTR url, TStream* stream, BOOL* handled) {
  Record("Ex " + Narrow(url));
  if (!onEx) {
    return S_FALSE;
  }
  std::unique_ptr<TStream> writer(stream);
  bool claimed = false;
  try {
    onEx(url, writer, claimed);
  } catch (...) {
    // A failing handler claims nothing: the manager still owns the writer.
    if (writer.get() == stream) {
      TStream* notOurs = writer.release();
      (void)notOurs;
    }
    throw;
  }
  if (!claimed) {
    // Not ours after all: the manager still owns it.
    TStream* notOurs = writer.release();
    (void)notOurs;
  }
  *handled = claimed ? TRUE : FALSE;
  return S_OK;
}

HRESULT TFakeControl::FireLoadExternalResourceAsync(LPCWSTR path, TStream** stream) {
  Record("Async " + Narrow(path));
  if (!onAsync) {
    return S_FALSE;
  }
  *stream = onAsync(path).release();
  return S_OK;
}

HRESULT TFakeControl::FireUnloadExternalResourceAsync(TStream* stream) {
  char head[16] = {};
  stream->SetPosition(0);
  const int32_t got = stream->Read(head, sizeof head - 1);
  Record("Unload " + std::string(head, static_cast<size_t>(got)));
  if (onUnload) {
    onUnload(stream);
  }
  return onUnload ? S_OK : S_FALSE;
}

std::string ReceivedBytes(const TComPtr<TRecordingCallback>& callback) {
  std::string bytes;
  for (const std::string& event : callback->Events()) {
    if (event.rfind("data ", 0) == 0) {
      // "data <flags> <size> <bytes>"
      // "data <flags> <size> <bytes>", the system's notifications marked
      // "(malformed)" where they differ from the provider's form.
      const size_t sizeEnd = event.find(' ', event.find(' ', 5) + 1);
      std::string piece = event.substr(sizeEnd + 1);
      const std::string mark = " (malformed)";
      if (piece.size() >= mark.size() &&
          piece.compare(piece.size() - mark.size(), mark.size(), mark) == 0) {
        piece.resize(piece.size() - mark.size());
      }
      bytes += piece;
    }
  }
  return bytes;
}

std::vector<std::string> EventKinds(const TComPtr<TRecordingCallback>& callback) {
  std::vector<std::string> kinds;
  for (const std::string& event : callback->Events()) {
    kinds.push_back(event.substr(0, event.find(' ')));
  }
  return kinds;
}

void ContentTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  InitMainThread();
  BindUrlMon();
}

void ContentTest::TearDown() {
  DoneMainThread();
  ::CoUninitialize();
}

HRESULT ContentTest::Bind(const std::wstring& url, IBindStatusCallback* callback) {
  TComPtr<IMoniker> moniker;
  EXPECT_EQ(manager.CreateMoniker(nullptr, url.c_str(), moniker.Put()), S_OK);
  TComPtr<IBindCtx> context;
  EXPECT_EQ(::CreateAsyncBindCtx(0, callback, nullptr, context.Put()), S_OK);
  IStream* stream = reinterpret_cast<IStream*>(0x1);  // must come back cleared or set
  const HRESULT result = moniker->BindToStorage(context.Get(), nullptr, IID_IStream,
                                                reinterpret_cast<void**>(&stream));
  // Whatever the answer, the runtime is never handed an object it would not release.
  EXPECT_EQ(stream, nullptr);
  return result;
}

void ContentTest::PumpUntilStopped(const TComPtr<TRecordingCallback>& callback) {
  auto stopped = [&callback] {
    for (const std::string& kind : EventKinds(callback)) {
      if (kind == "stop") {
        return true;
      }
    }
    return false;
  };
  for (int round = 0; round < 600 && !stopped(); ++round) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

}  // namespace leafbook::testing
