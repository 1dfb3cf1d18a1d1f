// The content manager answering monikers as a runtime binds them: movies in
// memory, the owning control's events, the global handler and the fallbacks
// to the disk and the system's monikers, under Wine's urlmon.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <filesystem>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "content/ContentManager.h"
#include "content/MemoryPath.h"
#include "framework/base/Exceptions.h"
#include "framework/base/Handle.h"
#include "framework/gui/MainThread.h"
#include "tests/content/FakeControl.h"
#include "tests/package/PackageFixture.h"

namespace leafbook::testing {
namespace {

using ::testing::ElementsAre;

const std::wstring kMarker(kMemoryFolderMarker);
const std::wstring kMovie(kMemoryMovieName);
const std::wstring kPlaceholder(kPlaceholderUrl);

// The in-memory path of folder id for name, as a file URL with forward slashes.
std::wstring FileUrl(int id, const std::wstring& name) {
  return L"file:///Z:/FromMemory/" + kMarker + L"/" + std::to_wstring(id) + L"/" + name;
}

std::string Text(const std::wstring& text) {
  return Narrow(text);
}

void Supply(TStream& stream, const std::string& bytes) {
  stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

const std::vector<std::string> kServed = {"response", "start", "data", "stop"};

using ContentManagerTest = ContentTest;

// A writer a handler kept, written and freed by a thread of its own.
struct TLater {
  std::unique_ptr<TStream> writer;
  TWin32Handle thread;
};

DWORD WINAPI WriteLater(void* context) {
  auto* self = static_cast<TLater*>(context);
  self->writer->WriteBuffer("late", 4);
  self->writer.reset();
  return 0;
}

TEST_F(ContentManagerTest, MoviesGetFolderIdsOneThenTwoAfterThePlaceholder) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  manager.CreateMovieStream(control.Get(), true, 3).reset();
  EXPECT_THAT(
      control->Calls(),
      ElementsAre("PutMovie " + Text(kPlaceholder), "PutMovie " + Text(FormatMemoryPath(1)),
                  "LoadMovie 3 " + Text(kPlaceholder), "LoadMovie 3 " + Text(FormatMemoryPath(2))));
}

TEST_F(ContentManagerTest, PathAndControlAreRegisteredBeforeTheControlHearsOfThem) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  TComPtr<TRecordingCallback> movie = TRecordingCallback::Create();
  TComPtr<TRecordingCallback> page = TRecordingCallback::Create();
  TComPtr<TRecordingCallback> placeholder = TRecordingCallback::Create();
  std::vector<HRESULT> results;
  control->onMovie = [&](const std::wstring& url) {
    if (url == kPlaceholder) {
      results.push_back(Bind(url, placeholder.Get()));
    } else {
      results.push_back(Bind(url, movie.Get()));
      results.push_back(Bind(FileUrl(1, L"page.png"), page.Get()));
    }
  };
  control->onLoad = [](const std::wstring&, TStream& stream) { Supply(stream, "page"); };
  std::unique_ptr<TStream> writer = manager.CreateMovieStream(control.Get(), false, 0);
  // The placeholder belongs to no folder and finds no file; the movie's path
  // finds its provider waiting, the page its control.
  EXPECT_THAT(results, ElementsAre(MK_E_NOSTORAGE, MK_S_ASYNCHRONOUS, MK_S_ASYNCHRONOUS));
  EXPECT_EQ(ReceivedBytes(page), "page");
  EXPECT_TRUE(movie->Events().empty());
  writer->WriteBuffer("movie", 5);
  writer.reset();
  EXPECT_THAT(movie->Events(),
              ElementsAre("response 200 HTTP/1.1 200 OK\\r\\nContent-Length: -1\\r\\n", "start",
                          "data 5 5 movie", "stop 0x00000000"));
}

TEST_F(ContentManagerTest, AMovieFromAStreamIsCopiedWholeFromItsBeginning) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  TStringStream source("the movie");
  source.Seek(0, TSeekOrigin::End);
  manager.LoadMovieFromStream(control.Get(), true, source, 2);
  EXPECT_EQ(source.DataString(), "the movie");  // still the caller's
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FormatMemoryPath(1), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(EventKinds(callback), kServed);
  EXPECT_EQ(callback->Events()[2], "data 5 9 the movie");
}

TEST_F(ContentManagerTest, AnEmptyMovieNeverStartsItsBinding) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  TMemoryStream empty;
  manager.LoadMovieFromStream(control.Get(), false, empty, 0);
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FormatMemoryPath(1), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_TRUE(callback->Events().empty());
}

TEST_F(ContentManagerTest, TheMoviesPathIsServedOnceThenByTheControl) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  TStringStream source("first");
  manager.LoadMovieFromStream(control.Get(), false, source, 0);
  control->onLoad = [](const std::wstring&, TStream& stream) { Supply(stream, "again"); };

  TComPtr<TRecordingCallback> first = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(1, kMovie), first.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(ReceivedBytes(first), "first");
  TComPtr<TRecordingCallback> second = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FormatMemoryPath(1), second.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(ReceivedBytes(second), "again");
  EXPECT_THAT(control->Calls(),
              ElementsAre("PutMovie " + Text(kPlaceholder), "PutMovie " + Text(FormatMemoryPath(1)),
                          "Ex " + Text(kMovie), "Load " + Text(kMovie)));
}

struct TSameUrlCase {
  const char* name;
  std::wstring registered;
  std::wstring requested;
  bool same;
};

class SameUrlTest : public ::testing::TestWithParam<TSameUrlCase> {};

TEST_P(SameUrlTest, Compares) {
  EXPECT_EQ(SameUrl(GetParam().registered, GetParam().requested), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, SameUrlTest,
    ::testing::Values(TSameUrlCase{"PathAndItsFileUrl", FormatMemoryPath(1), FileUrl(1, kMovie),
                                   true},
                      TSameUrlCase{"OtherFolder", FormatMemoryPath(1), FileUrl(2, kMovie), false},
                      TSameUrlCase{"RelativePathCase", FormatMemoryPath(1),
                                   FileUrl(1, L"e4ed7c01d28a43418dbf2cb92cc35e56.swf"), false},
                      TSameUrlCase{"OnlyOneParses", FormatMemoryPath(1), kMovie, false},
                      TSameUrlCase{"OutsideEqual", L"pages/1.jpg", L"pages/1.jpg", true},
                      TSameUrlCase{"OutsideCase", L"pages/1.jpg", L"Pages/1.jpg", false}),
    [](const ::testing::TestParamInfo<TSameUrlCase>& info) { return info.param.name; });

TEST_F(ContentManagerTest, AClaimingHandlerMayWriteLaterFromAWorkerThread) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  TLater later;
  control->onEx = [&later](const std::wstring&, std::unique_ptr<TStream>& writer, bool& handled) {
    handled = true;
    later.writer = std::move(writer);
  };
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(1, L"img/a.png"), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_TRUE(callback->Events().empty());
  EXPECT_THAT(control->Calls().back(), "Ex img/a.png");  // OnLoadExternalResource is not raised

  later.thread.Reset(::CreateThread(nullptr, 0, WriteLater, &later, 0, nullptr));
  ASSERT_EQ(WaitWithSynchronize(later.thread.Get(), 30000), WAIT_OBJECT_0);
  EXPECT_EQ(EventKinds(callback), kServed);
  EXPECT_EQ(ReceivedBytes(callback), "late");
  for (DWORD thread : callback->Threads()) {
    EXPECT_EQ(thread, ::GetCurrentThreadId());
  }
}

TEST_F(ContentManagerTest, WithoutAClaimOnLoadExternalResourceSuppliesTheBytes) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  control->onEx = [](const std::wstring&, std::unique_ptr<TStream>&, bool&) {};
  control->onLoad = [](const std::wstring&, TStream& stream) { Supply(stream, "supplied"); };
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  // A leading "/" of the relative path is dropped for the events.
  EXPECT_EQ(Bind(L"Z:/FromMemory/" + kMarker + L"/1//pages/p1.jpg", callback.Get()),
            MK_S_ASYNCHRONOUS);
  // Served at once: everything, stop included, arrived before the result.
  EXPECT_EQ(EventKinds(callback), kServed);
  EXPECT_EQ(ReceivedBytes(callback), "supplied");
  EXPECT_THAT(control->Calls(), ::testing::Contains("Load pages/p1.jpg"));
}

TEST_F(ContentManagerTest, BytesWrittenWithoutAClaimServeTheRequest) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  control->onEx = [](const std::wstring&, std::unique_ptr<TStream>& writer, bool&) {
    Supply(*writer, "unclaimed");
  };
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(1, L"a.txt"), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(EventKinds(callback), kServed);
  EXPECT_EQ(ReceivedBytes(callback), "unclaimed");
}

TEST_F(ContentManagerTest, WithoutRuntimeNegotiationNoResponseIsSent) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  control->onLoad = [](const std::wstring&, TStream& stream) { Supply(stream, "x"); };
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create(false);
  EXPECT_EQ(Bind(FileUrl(1, L"a.txt"), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_THAT(EventKinds(callback), ElementsAre("start", "data", "stop"));
}

class DiskFallbackTest : public ContentTest {
 protected:
  TTempDir folder;
  TComPtr<TFakeControl> control = TFakeControl::Create();

  void SetUp() override {
    ContentTest::SetUp();
    WriteBytes(folder.Path() / "img" / "a.png", "disk bytes");
    manager.CreateMovieStream(control.Get(), false, 0).reset();
    control->onLoad = [](const std::wstring&, TStream&) {};  // an empty supply
  }
};

TEST_F(DiskFallbackTest, AnEmptySupplyIsReadFromTheControlsBase) {
  control->base = folder.Path().wstring();
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(1, L"img/a.png"), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(ReceivedBytes(callback), "disk bytes");
  EXPECT_EQ(callback->Events().back(), "stop 0x00000000");

  TComPtr<TRecordingCallback> missing = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(1, L"img/missing.png"), missing.Get()), MK_E_NOSTORAGE);
  EXPECT_EQ(ReceivedBytes(missing), "");
}

TEST_F(DiskFallbackTest, WithoutABaseTheCurrentFolderIsUsed) {
  wchar_t saved[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, saved), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(folder.Path().wstring().c_str()));
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  const HRESULT result = Bind(FileUrl(1, L"img/a.png"), callback.Get());
  ::SetCurrentDirectoryW(saved);
  EXPECT_EQ(result, MK_S_ASYNCHRONOUS);
  EXPECT_EQ(ReceivedBytes(callback), "disk bytes");
}

TEST_F(ContentManagerTest, AFolderNoControlOwnsFails) {
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(5, L"a.png"), callback.Get()), E_FAIL);
  EXPECT_TRUE(callback->Events().empty());
}

TEST_F(ContentManagerTest, AfterUnregisteringTheFoldersAreNobodys) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  TComPtr<TFakeControl> other = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  manager.CreateMovieStream(other.Get(), false, 0).reset();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  control->onLoad = [](const std::wstring&, TStream& stream) { Supply(stream, "x"); };
  other->onLoad = control->onLoad;
  manager.UnregisterControl(control.Get());
  for (int id : {1, 3}) {
    TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
    EXPECT_EQ(Bind(FileUrl(id, L"a.png"), callback.Get()), E_FAIL);
  }
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(2, L"a.png"), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(ReceivedBytes(callback), "x");
}

TEST_F(ContentManagerTest, AClaimedRequestWithoutBytesStillStartsAndStops) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  control->onEx = [](const std::wstring&, std::unique_ptr<TStream>& writer, bool& handled) {
    handled = true;
    writer.reset();  // an empty file, complete
  };
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(1, L"empty.txt"), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_THAT(EventKinds(callback), ::testing::ElementsAre("response", "start", "stop"));
  EXPECT_NE(callback->Events().front().find("Content-Length: 0"), std::string::npos);

  manager.SetGlobalOnLoadExternalResourceEx(
      [](const std::wstring&, std::unique_ptr<TStream>& writer, bool& handled) {
        handled = true;
        writer.reset();
      });
  TComPtr<TRecordingCallback> global = TRecordingCallback::Create();
  EXPECT_EQ(Bind(L"empty.txt", global.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_THAT(EventKinds(global), ::testing::ElementsAre("response", "start", "stop"));
}

TEST_F(ContentManagerTest, AControlFoundStaysValidWhileItUnregistersAndGoes) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  TFakeControl* raw = control.Get();
  // While its first event runs, the control unregisters and its owner lets
  // go: the request still finishes with it.
  raw->onEx = [&](const std::wstring&, std::unique_ptr<TStream>&, bool&) {
    manager.UnregisterControl(raw);
    control.Reset();
  };
  raw->onLoad = [](const std::wstring&, TStream& stream) { Supply(stream, "late"); };
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(1, L"a.txt"), callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(ReceivedBytes(callback), "late");
}

TEST_F(ContentManagerTest, BytesTheGlobalHandlerWroteWithoutServingTheFileEndFailed) {
  manager.SetGlobalOnLoadExternalResourceEx(
      [](const std::wstring&, std::unique_ptr<TStream>& writer, bool&) {
        Supply(*writer, "first half");  // then the read failed: not handled
      });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  // The runtime has the bytes already; it hears that they are not the file.
  EXPECT_EQ(Bind(L"pages/big.flv", callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_THAT(EventKinds(callback), ElementsAre("response", "start", "data", "stop"));
  EXPECT_EQ(callback->Events().back(), "stop 0x800C0008");  // INET_E_DOWNLOAD_FAILURE
}

TEST_F(ContentManagerTest, ClearingTheGlobalHandlerWaitsForItsCallsOnOtherThreads) {
  std::vector<std::string> order;
  TWin32Handle entered(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  manager.SetGlobalOnLoadExternalResourceEx(
      [&](const std::wstring&, std::unique_ptr<TStream>& writer, bool& handled) {
        ::SetEvent(entered.Get());
        ::Sleep(50);
        Supply(*writer, "page");  // waits for the main thread, which runs it
        handled = true;
        writer.reset();
        order.push_back("served");
      });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  std::atomic<bool> done{false};
  std::thread request([&] {
    Bind(L"pages/1.jpg", callback.Get());
    done = true;
  });
  ASSERT_EQ(::WaitForSingleObject(entered.Get(), 10000), WAIT_OBJECT_0);
  manager.SetGlobalOnLoadExternalResourceEx(nullptr);
  order.push_back("cleared");
  // The rest of the request (the end of its data) runs on the main thread too.
  while (!done) {
    CheckSynchronize();
    ::Sleep(1);
  }
  request.join();
  EXPECT_EQ(order, (std::vector<std::string>{"served", "cleared"}));
  EXPECT_EQ(ReceivedBytes(callback), "page");
  // Cleared, the slot answers nobody: the request goes on to the system.
  TComPtr<TRecordingCallback> later = TRecordingCallback::Create();
  EXPECT_EQ(Bind(L"pages/none.jpg", later.Get()), MK_E_NOSTORAGE);
}

TEST_F(ContentManagerTest, TheGlobalHandlerMayClaimAndWriteLater) {
  std::unique_ptr<TStream> kept;
  std::vector<std::wstring> asked;
  manager.SetGlobalOnLoadExternalResourceEx(
      [&](const std::wstring& url, std::unique_ptr<TStream>& writer, bool& handled) {
        asked.push_back(url);
        handled = true;
        kept = std::move(writer);
      });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  // A relative URL is not resolved: it reaches the handler as the runtime gave it.
  EXPECT_EQ(Bind(L"pages/1.jpg", callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_THAT(asked, ElementsAre(L"pages/1.jpg"));
  EXPECT_TRUE(callback->Events().empty());
  kept->WriteBuffer("page one", 8);
  EXPECT_THAT(EventKinds(callback), ElementsAre("response", "start", "data"));
  kept.reset();
  EXPECT_EQ(EventKinds(callback), kServed);
  EXPECT_EQ(ReceivedBytes(callback), "page one");
}

TEST_F(ContentManagerTest, AHandlerThatClaimsAndLeavesTheWriterHasItFreed) {
  manager.SetGlobalOnLoadExternalResourceEx(
      [](const std::wstring&, std::unique_ptr<TStream>& writer, bool& handled) {
        Supply(*writer, "at once");
        handled = true;
      });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(L"config.xml", callback.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(EventKinds(callback), kServed);
}

// A loopback port with nobody listening: the system's http binding starts
// asynchronously and fails later.
int ClosedPort() {
  WSADATA data;
  EXPECT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
  SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  int length = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::closesocket(probe);
  ::WSACleanup();
  return ::ntohs(address.sin_port);
}

TEST_F(ContentManagerTest, UnclaimedUrlsGoToTheSystemWhoseAsynchronousAnswerCountsAsServed) {
  int asked = 0;
  manager.SetGlobalOnLoadExternalResourceEx(
      [&asked](const std::wstring&, std::unique_ptr<TStream>&, bool&) { ++asked; });
  TTempDir folder;
  WriteBytes(folder.Path() / "real.txt", "real file");

  TComPtr<TRecordingCallback> file = TRecordingCallback::Create();
  EXPECT_EQ(Bind(folder.Path().wstring() + L"\\real.txt", file.Get()), MK_S_ASYNCHRONOUS);
  EXPECT_EQ(ReceivedBytes(file), "real file");

  const std::wstring http = L"http://127.0.0.1:" + std::to_wstring(ClosedPort());
  TComPtr<TRecordingCallback> outside = TRecordingCallback::Create();
  outside->SetBindFlags(BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE);
  // The system's binding goes on and tells the runtime itself: the runtime is
  // not told "no storage" beside it.
  EXPECT_EQ(Bind(http + L"/x.png", outside.Get()), MK_S_ASYNCHRONOUS);
  PumpUntilStopped(outside);
  EXPECT_EQ(outside->Events().back().rfind("stop 0x800C", 0), 0u);

  // So under an in-memory folder, for the disk fallback.
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  control->base = http;
  TComPtr<TRecordingCallback> inside = TRecordingCallback::Create();
  inside->SetBindFlags(BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE);
  EXPECT_EQ(Bind(FileUrl(1, L"x.png"), inside.Get()), MK_S_ASYNCHRONOUS);
  PumpUntilStopped(inside);
  EXPECT_EQ(asked, 2);
}

TEST_F(ContentManagerTest, ThePlaceholderReachesTheGlobalHandlerAndEndsInNoStorage) {
  std::vector<std::wstring> asked;
  manager.SetGlobalOnLoadExternalResourceEx([&asked](const std::wstring& url,
                                                     std::unique_ptr<TStream>&,
                                                     bool&) { asked.push_back(url); });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(kPlaceholder, callback.Get()), MK_E_NOSTORAGE);
  EXPECT_THAT(asked, ElementsAre(kPlaceholder));
}

TEST_F(ContentManagerTest, FailingHandlersNeverEscape) {
  TComPtr<TFakeControl> control = TFakeControl::Create();
  manager.CreateMovieStream(control.Get(), false, 0).reset();
  control->onEx = [](const std::wstring&, std::unique_ptr<TStream>&, bool&) {
    throw std::runtime_error("handler failed");
  };
  manager.SetGlobalOnLoadExternalResourceEx([](const std::wstring&, std::unique_ptr<TStream>&,
                                               bool&) { throw Exception("handler failed"); });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  EXPECT_EQ(Bind(FileUrl(1, L"a.png"), callback.Get()), E_FAIL);
  EXPECT_EQ(Bind(L"a.png", callback.Get()), E_FAIL);
  EXPECT_TRUE(callback->Events().empty());
}

TEST_F(ContentManagerTest, ANonNumericFolderIsOutsideTheFolders) {
  std::vector<std::wstring> asked;
  manager.SetGlobalOnLoadExternalResourceEx([&asked](const std::wstring& url,
                                                     std::unique_ptr<TStream>&,
                                                     bool&) { asked.push_back(url); });
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  const std::wstring url = L"Z:/FromMemory/" + kMarker + L"/one/a.png";
  EXPECT_EQ(Bind(url, callback.Get()), MK_E_NOSTORAGE);
  EXPECT_THAT(asked, ElementsAre(url));
}

}  // namespace
}  // namespace leafbook::testing
