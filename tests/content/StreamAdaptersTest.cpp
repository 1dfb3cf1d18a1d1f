// Writers: every provider call on the main thread, from whatever thread the
// handler writes; the IStream adapter's conversions.
#include <gtest/gtest.h>

#include <atomic>

#include "content/ContentProvider.h"
#include "content/StreamAdapters.h"
#include "framework/base/ComObject.h"
#include "framework/base/Exceptions.h"
#include "framework/base/Handle.h"
#include "framework/gui/MainThread.h"
#include "tests/content/RecordingCallback.h"

namespace leafbook::testing {
namespace {

// An IStream that records what reaches it.
class TRecordingStream final
    : public TComObject<TRecordingStream, TInterface<IStream, &IID_IStream>> {
 public:
  static TComPtr<TRecordingStream> Create() {
    return TComPtr<TRecordingStream>(NewComObject<TRecordingStream>());
  }
  ULARGE_INTEGER lastSize{};
  LARGE_INTEGER lastMove{};
  DWORD lastOrigin = 99;

  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_FAIL; }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG count, ULONG* written) override {
    if (written) {
      *written = count;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override {
    lastMove = move;
    lastOrigin = origin;
    position->QuadPart = 0x100000000ULL + 5;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
    lastSize = size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override { InitMainThread(); }
  void TearDown() override { DoneMainThread(); }
};

TEST_F(WriterTest, SizesAndPositionsPassThroughUnchanged) {
  TComPtr<TRecordingStream> recorder = TRecordingStream::Create();
  std::unique_ptr<TStream> writer = NewWriter(TComPtr<IStream>(recorder.Get()));
  writer->SetSize(int32_t{-1});  // the 32-bit -1 arrives as the 64-bit -1
  EXPECT_EQ(recorder->lastSize.QuadPart, ~0ULL);
  EXPECT_EQ(writer->Seek(-3, TSeekOrigin::End), int64_t{0x100000005});
  EXPECT_EQ(recorder->lastMove.QuadPart, -3);
  EXPECT_EQ(recorder->lastOrigin, static_cast<DWORD>(STREAM_SEEK_END));
  // A read the IStream fails without reporting a count reads nothing.
  char buffer[4];
  EXPECT_EQ(writer->Read(buffer, 4), 0);
}

TEST_F(WriterTest, AProvidersStreamSideCannotSeek) {
  TComPtr<IStream> side;
  TComPtr<IContentProvider> provider = TContentProvider::Create(side);
  std::unique_ptr<TStream> writer = NewWriter(side);
  EXPECT_THROW(writer->Seek(0, TSeekOrigin::Current), EStreamError);
  char buffer[4];
  EXPECT_EQ(writer->Read(buffer, 4), 0);
}

TEST_F(WriterTest, FromTheMainThreadAWriteReachesTheProviderWithinTheCall) {
  TComPtr<IStream> side;
  TComPtr<IContentProvider> provider = TContentProvider::Create(side);
  TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
  provider->SetBindStatusCallback(callback.Get());
  std::unique_ptr<TStream> writer = NewWriter(side);
  side.Reset();
  writer->WriteBuffer("page", 4);
  EXPECT_EQ(callback->Events().size(), 3u);  // response, start, data
  writer.reset();                            // ends the data
  EXPECT_EQ(callback->Events().back(), "stop 0x00000000");
}

// Worker threads writing through writers of their own.
struct TWorker {
  TComPtr<IStream> side;
  TComPtr<IContentProvider> provider;
  TComPtr<TRecordingCallback> callback;
  std::string expected;
  int notSeenOnReturn = 0;
  TWin32Handle thread;
};

DWORD WINAPI WorkerBody(void* context) {
  auto* worker = static_cast<TWorker*>(context);
  std::unique_ptr<TStream> writer = NewWriter(worker->side);
  worker->side.Reset();
  for (size_t at = 0; at < worker->expected.size(); at += 7) {
    const std::string piece = worker->expected.substr(at, 7);
    const size_t before = worker->callback->EventCount();
    writer->WriteBuffer(piece.data(), static_cast<int32_t>(piece.size()));
    // Write returned: its piece has reached the callback already.
    if (worker->callback->EventCount() <= before) {
      ++worker->notSeenOnReturn;
    }
  }
  return 0;
}

// Workers each writing writes pieces of 7 bytes through writers of their own,
// while the main thread pumps: every byte arrives, in order, on the main thread.
void WriteFromWorkers(int count, int writes) {
  std::vector<TWorker> workers(static_cast<size_t>(count));
  std::vector<HANDLE> handles;
  for (int w = 0; w < count; ++w) {
    TWorker& worker = workers[static_cast<size_t>(w)];
    worker.provider = TContentProvider::Create(worker.side);
    worker.callback = TRecordingCallback::Create();
    worker.provider->SetBindStatusCallback(worker.callback.Get());
    for (int i = 0; worker.expected.size() < static_cast<size_t>(writes) * 7; ++i) {
      worker.expected += std::string("w") + std::to_string(w) + "-" + std::to_string(i) + ";";
    }
    worker.expected.resize(static_cast<size_t>(writes) * 7);
  }
  for (TWorker& worker : workers) {
    worker.thread.Reset(::CreateThread(nullptr, 0, WorkerBody, &worker, 0, nullptr));
    handles.push_back(worker.thread.Get());
  }
  // The main thread pumps while it waits.
  for (HANDLE handle : handles) {
    ASSERT_EQ(WaitWithSynchronize(handle, 120000), WAIT_OBJECT_0);
  }
  const DWORD mainThread = ::GetCurrentThreadId();
  for (TWorker& worker : workers) {
    std::string received;
    std::vector<std::string> events = worker.callback->Events();
    for (const std::string& event : events) {
      if (event.rfind("data 5 ", 0) == 0) {
        received += event.substr(event.find(' ', 7) + 1);
      }
    }
    EXPECT_EQ(received, worker.expected);
    for (DWORD thread : worker.callback->Threads()) {
      EXPECT_EQ(thread, mainThread);
    }
    EXPECT_EQ(worker.notSeenOnReturn, 0);
    // The worker's writer went with its thread, on the main thread: the data ended.
    EXPECT_EQ(events.back(), "stop 0x00000000");
  }
}

TEST_F(WriterTest, WritesFromWorkerThreadsAllRunOnTheMainThread) {
  WriteFromWorkers(4, 40);
}

TEST_F(WriterTest, EightThreadsOfTenThousandWritesLoseNothingAndNeverDeadlock) {
  WriteFromWorkers(8, 10000);
}

}  // namespace
}  // namespace leafbook::testing
