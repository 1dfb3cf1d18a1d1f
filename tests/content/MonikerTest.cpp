// TMyMoniker against the system URL moniker it wraps, and
// TMyBindStatusCallback passing everything on to the runtime's callback.
#include <gtest/gtest.h>

#include "content/Moniker.h"
#include "content/UrlMon.h"
#include "tests/content/FakeControl.h"

namespace leafbook::testing {
namespace {

using MonikerTest = ContentTest;

TComPtr<IMoniker> SystemMoniker(const std::wstring& url, IMoniker* context = nullptr) {
  TComPtr<IMoniker> moniker;
  EXPECT_EQ(::CreateURLMoniker(context, url.c_str(), moniker.Put()), S_OK);
  return moniker;
}

std::wstring DisplayName(IMoniker* moniker) {
  LPOLESTR name = nullptr;
  if (FAILED(moniker->GetDisplayName(nullptr, nullptr, &name)) || !name) {
    return L"(none)";
  }
  std::wstring result(name);
  ::CoTaskMemFree(name);
  return result;
}

DWORD HashOf(IMoniker* moniker) {
  DWORD hash = 0;
  EXPECT_EQ(moniker->Hash(&hash), S_OK);
  return hash;
}

TEST_F(MonikerTest, AnswersAsTheSystemMonikerForTheSameUrl) {
  for (const std::wstring url :
       {L"http://127.0.0.1/book/page%201.png?x=1", L"file:///C:/book/pages/1.jpg",
        L"C:\\book\\pages\\1.jpg", L"pages/1.jpg",
        L"file:///Z:/FromMemory/46A10F369771449587DE913EFC0A258C/1/img/a.png"}) {
    SCOPED_TRACE(Narrow(url));
    TComPtr<IMoniker> ours;
    ASSERT_EQ(manager.CreateMoniker(nullptr, url.c_str(), ours.Put()), S_OK);
    TComPtr<IMoniker> system = SystemMoniker(url);
    TComPtr<IMoniker> again = SystemMoniker(url);
    TComPtr<IMoniker> other = SystemMoniker(L"http://127.0.0.1/other.png");
    EXPECT_EQ(DisplayName(ours.Get()), DisplayName(system.Get()));
    EXPECT_EQ(HashOf(ours.Get()), HashOf(system.Get()));
    EXPECT_EQ(ours->IsEqual(again.Get()), system->IsEqual(again.Get()));
    EXPECT_EQ(ours->IsEqual(other.Get()), system->IsEqual(other.Get()));
    DWORD ourKind = 0;
    DWORD systemKind = 1;
    EXPECT_EQ(ours->IsSystemMoniker(&ourKind), system->IsSystemMoniker(&systemKind));
    EXPECT_EQ(ourKind, systemKind);
  }
}

TEST_F(MonikerTest, OnlyTheInnerMonikerIsResolvedAgainstTheContext) {
  TComPtr<IMoniker> context = SystemMoniker(L"http://127.0.0.1/book/");
  TComPtr<IMoniker> ours;
  ASSERT_EQ(manager.CreateMoniker(context.Get(), L"pages/1.jpg", ours.Put()), S_OK);
  EXPECT_EQ(DisplayName(ours.Get()), L"http://127.0.0.1/book/pages/1.jpg");
  std::vector<std::wstring> asked;
  manager.SetGlobalOnLoadExternalResourceEx(
      [&asked](const std::wstring& url, std::unique_ptr<TStream>&, bool& handled) {
        asked.push_back(url);
        handled = true;
      });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  TComPtr<IBindCtx> bindContext;
  ASSERT_EQ(::CreateAsyncBindCtx(0, callback.Get(), nullptr, bindContext.Put()), S_OK);
  void* object = nullptr;
  EXPECT_EQ(ours->BindToStorage(bindContext.Get(), nullptr, IID_IStream, &object),
            MK_S_ASYNCHRONOUS);
  EXPECT_EQ(asked, std::vector<std::wstring>{L"pages/1.jpg"});
}

TEST_F(MonikerTest, OffersMonikerAndBindingOnly) {
  TComPtr<IMoniker> moniker;
  ASSERT_EQ(manager.CreateMoniker(nullptr, L"pages/1.jpg", moniker.Put()), S_OK);
  TComPtr<IBinding> binding = moniker.As<IBinding>();
  ASSERT_TRUE(binding);
  EXPECT_EQ(binding->Abort(), E_FAIL);
  EXPECT_EQ(binding->Suspend(), E_FAIL);
  EXPECT_EQ(binding->Resume(), E_FAIL);
  EXPECT_EQ(binding->SetPriority(THREAD_PRIORITY_NORMAL), E_FAIL);
  LONG priority = 7;
  EXPECT_EQ(binding->GetPriority(&priority), E_FAIL);
  EXPECT_EQ(priority, 7);
  CLSID protocol{};
  DWORD result = 7;
  LPOLESTR text = nullptr;
  EXPECT_EQ(binding->GetBindResult(&protocol, &result, &text, nullptr), E_FAIL);
  EXPECT_EQ(result, 7u);
  EXPECT_EQ(moniker.As<IUnknown>().Get(), binding.As<IUnknown>().Get());
  EXPECT_FALSE(moniker.As<IPersist>());
  EXPECT_FALSE(moniker.As<IPersistStream>());
}

// A moniker the system could not make an inner one for.
class WithoutInnerTest : public MonikerTest {
 protected:
  void SetUp() override {
    MonikerTest::SetUp();
    UnbindUrlMon();
    ASSERT_EQ(manager.CreateMoniker(nullptr, L"pages/1.jpg", moniker.Put()), S_OK);
    BindUrlMon();
  }
  TComPtr<IMoniker> moniker;
};

IMoniker* const kStale = reinterpret_cast<IMoniker*>(0x1234);

TEST_F(WithoutInnerTest, ClearsOutValuesAndAnswersFail) {
  IMoniker* out = kStale;
  EXPECT_EQ(moniker->Reduce(nullptr, MKRREDUCE_ALL, nullptr, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  out = kStale;
  EXPECT_EQ(moniker->ComposeWith(nullptr, FALSE, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  IEnumMoniker* enumerator = reinterpret_cast<IEnumMoniker*>(0x1234);
  EXPECT_EQ(moniker->Enum(TRUE, &enumerator), E_FAIL);
  EXPECT_EQ(enumerator, nullptr);
  out = kStale;
  EXPECT_EQ(moniker->Inverse(&out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  out = kStale;
  EXPECT_EQ(moniker->CommonPrefixWith(nullptr, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  out = kStale;
  EXPECT_EQ(moniker->RelativePathTo(nullptr, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  out = kStale;
  ULONG eaten = 0;
  wchar_t name[] = L"x";
  EXPECT_EQ(moniker->ParseDisplayName(nullptr, nullptr, name, &eaten, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  // Null out slots are left alone.
  EXPECT_EQ(moniker->Inverse(nullptr), E_FAIL);

  DWORD hash = 0;
  CLSID id{};
  ULARGE_INTEGER size{};
  FILETIME time{};
  LPOLESTR display = nullptr;
  void* object = nullptr;
  EXPECT_EQ(moniker->Hash(&hash), E_FAIL);
  EXPECT_EQ(moniker->IsEqual(moniker.Get()), E_FAIL);
  EXPECT_EQ(moniker->GetDisplayName(nullptr, nullptr, &display), E_FAIL);
  EXPECT_EQ(moniker->GetClassID(&id), E_FAIL);
  EXPECT_EQ(moniker->IsDirty(), E_FAIL);
  EXPECT_EQ(moniker->Load(nullptr), E_FAIL);
  EXPECT_EQ(moniker->Save(nullptr, FALSE), E_FAIL);
  EXPECT_EQ(moniker->GetSizeMax(&size), E_FAIL);
  EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IUnknown, &object), E_FAIL);
  EXPECT_EQ(moniker->IsRunning(nullptr, nullptr, nullptr), E_FAIL);
  EXPECT_EQ(moniker->GetTimeOfLastChange(nullptr, nullptr, &time), E_FAIL);
  EXPECT_EQ(moniker->IsSystemMoniker(&hash), E_FAIL);
}

TEST_F(WithoutInnerTest, StillBindsThroughTheManager) {
  manager.SetGlobalOnLoadExternalResourceEx(
      [](const std::wstring&, std::unique_ptr<TStream>& writer, bool& handled) {
        writer->WriteBuffer("served", 6);
        handled = true;
      });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  TComPtr<IBindCtx> bindContext;
  ASSERT_EQ(::CreateAsyncBindCtx(0, callback.Get(), nullptr, bindContext.Put()), S_OK);
  void* object = nullptr;
  EXPECT_EQ(moniker->BindToStorage(bindContext.Get(), nullptr, IID_IStream, &object),
            MK_S_ASYNCHRONOUS);
  EXPECT_EQ(ReceivedBytes(callback), "served");
}

TEST_F(MonikerTest, ANullUrlMakesAMonikerWithoutInner) {
  // The system refuses a null URL; the manager still answers with a moniker.
  TComPtr<IMoniker> moniker;
  ASSERT_EQ(manager.CreateMoniker(nullptr, nullptr, moniker.Put()), S_OK);
  DWORD hash = 0;
  EXPECT_EQ(moniker->Hash(&hash), E_FAIL);
  EXPECT_EQ(manager.CreateMoniker(nullptr, L"x", nullptr), E_POINTER);
}

TEST_F(MonikerTest, TheCallbackPassesEverythingToThePreviousOne) {
  for (bool negotiate : {true, false}) {
    TComPtr<TRecordingCallback> runtime = TRecordingCallback::Create(negotiate, E_ABORT);
    TComPtr<TMyBindStatusCallback> callback = TMyBindStatusCallback::Create();
    callback->SetPrevious(TComPtr<IBindStatusCallback>(runtime.Get()));
    EXPECT_EQ(callback.As<IHttpNegotiate>().Get() != nullptr, negotiate);
    EXPECT_EQ(callback.As<IBindStatusCallback>().Get(),
              static_cast<IBindStatusCallback*>(callback.Get()));
    EXPECT_EQ(callback->OnStartBinding(0, nullptr), S_OK);
    EXPECT_EQ(callback->OnDataAvailable(5, 0, nullptr, nullptr), E_ABORT);
    EXPECT_EQ(callback->OnStopBinding(S_OK, nullptr), S_OK);
    EXPECT_EQ(callback->GetPriority(nullptr), E_NOTIMPL);  // the runtime's own answer
    EXPECT_THAT(EventKinds(runtime), ::testing::ElementsAre("start", "data", "stop"));
  }
}

TEST_F(MonikerTest, WithoutAPreviousCallbackNothingIsImplemented) {
  TComPtr<TMyBindStatusCallback> callback = TMyBindStatusCallback::Create();
  EXPECT_FALSE(callback.As<IHttpNegotiate>());
  DWORD flags = 0;
  BINDINFO info{};
  info.cbSize = sizeof info;
  EXPECT_EQ(callback->OnStartBinding(0, nullptr), E_NOTIMPL);
  EXPECT_EQ(callback->GetPriority(nullptr), E_NOTIMPL);
  EXPECT_EQ(callback->OnLowResource(0), E_NOTIMPL);
  EXPECT_EQ(callback->OnProgress(0, 0, 0, nullptr), E_NOTIMPL);
  EXPECT_EQ(callback->OnStopBinding(S_OK, nullptr), E_NOTIMPL);
  EXPECT_EQ(callback->GetBindInfo(&flags, &info), E_NOTIMPL);
  EXPECT_EQ(callback->OnDataAvailable(5, 0, nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(callback->OnObjectAvailable(IID_IUnknown, nullptr), E_NOTIMPL);
}

TEST_F(MonikerTest, ABindContextWithoutACallbackServesNobody) {
  int32_t written = -1;
  manager.SetGlobalOnLoadExternalResourceEx(
      [&written](const std::wstring&, std::unique_ptr<TStream>& writer, bool& handled) {
        written = writer->Write("lost", 4);
        handled = true;
      });
  TComPtr<IMoniker> moniker;
  ASSERT_EQ(manager.CreateMoniker(nullptr, L"a.txt", moniker.Put()), S_OK);
  TComPtr<IBindCtx> bindContext;
  ASSERT_EQ(::CreateBindCtx(0, bindContext.Put()), S_OK);
  void* object = nullptr;
  EXPECT_EQ(moniker->BindToStorage(bindContext.Get(), nullptr, IID_IStream, &object),
            MK_S_ASYNCHRONOUS);
  EXPECT_EQ(written, 0);  // nobody took the data
}

}  // namespace
}  // namespace leafbook::testing
