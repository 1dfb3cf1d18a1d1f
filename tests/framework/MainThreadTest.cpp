// The main-thread call queue: calls from workers run on the main thread,
// their callers return after, exceptions come back to the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/gui/Application.h"
#include "framework/base/Exceptions.h"
#include "framework/base/Handle.h"
#include "framework/gui/MainThread.h"

namespace leafbook {
namespace {

// A Win32 thread running a function, so that the main thread can wait for
// its handle.
class TThread {
 public:
  explicit TThread(std::function<void()> body)
      : body_(std::move(body)), handle_(::CreateThread(nullptr, 0, &Run, this, 0, nullptr)) {}
  ~TThread() { ::WaitForSingleObject(handle_.Get(), INFINITE); }
  HANDLE Handle() const { return handle_.Get(); }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<TThread*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  TWin32Handle handle_;
};

class MainThreadTest : public ::testing::Test {
 protected:
  void SetUp() override { InitMainThread(); }
  void TearDown() override { DoneMainThread(); }
};

TEST_F(MainThreadTest, FromTheMainThreadACallRunsAtOnce) {
  bool ran = false;
  Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_TRUE(IsMainThread());
  EXPECT_FALSE(CheckSynchronize());
}

TEST_F(MainThreadTest, WorkersCallsRunOnTheMainThreadAndTheyWaitForThem) {
  const DWORD mainThread = ::GetCurrentThreadId();
  constexpr int kWorkers = 4;
  constexpr int kCalls = 50;
  std::atomic<int> offMain{0};
  std::atomic<int> notYetRun{0};
  std::atomic<int> finished{0};
  std::vector<int> order[kWorkers];
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      EXPECT_FALSE(IsMainThread());
      for (int i = 0; i < kCalls; ++i) {
        bool ran = false;
        Synchronize([&] {
          if (::GetCurrentThreadId() != mainThread) {
            ++offMain;
          }
          order[w].push_back(i);
          ran = true;
        });
        if (!ran) {
          ++notYetRun;  // Synchronize returned before its call ran
        }
      }
      ++finished;
    });
  }
  // The main thread pumps messages, as the viewer's loop does, until every
  // worker is through.
  while (finished < kWorkers) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  for (std::thread& worker : workers) {
    worker.join();
  }
  EXPECT_EQ(offMain, 0);
  EXPECT_EQ(notYetRun, 0);
  for (int w = 0; w < kWorkers; ++w) {
    ASSERT_EQ(order[w].size(), static_cast<size_t>(kCalls));
    for (int i = 0; i < kCalls; ++i) {
      EXPECT_EQ(order[w][static_cast<size_t>(i)], i);
    }
  }
}

TEST_F(MainThreadTest, AnExceptionReachesTheCaller) {
  std::string caught;
  TThread worker([&] {
    try {
      Synchronize([] { throw EStreamError("write failed on the main thread"); });
    } catch (const EStreamError& error) {
      caught = error.Message();
    }
  });
  // Waiting for the worker drains the queue meanwhile.
  EXPECT_EQ(WaitWithSynchronize(worker.Handle(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(caught, "write failed on the main thread");
}

TEST_F(MainThreadTest, WaitingForAThreadRunsItsCalls) {
  int value = 0;
  TThread worker([&] {
    for (int i = 0; i < 20; ++i) {
      Synchronize([&] { ++value; });
    }
  });
  EXPECT_EQ(WaitWithSynchronize(worker.Handle(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(value, 20);
}

TEST_F(MainThreadTest, WhileTheMainThreadRefusesAWorkersCallsFailAndQueuedOnesRunLater) {
  std::vector<std::string> order;
  {
    TRefusedSynchronize refusing;
    bool refusedDuring = false;
    TThread during([&] {
      try {
        Synchronize([] {});
      } catch (const ESynchronizeRefused&) {
        refusedDuring = true;
      }
      QueueOnMainThread([&] { order.push_back("queued"); });
    });
    // A plain wait, as a runtime joining its threads does: nothing is run meanwhile.
    EXPECT_EQ(::WaitForSingleObject(during.Handle(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(refusedDuring);
    EXPECT_TRUE(order.empty());
    // The main thread's own calls run as ever.
    Synchronize([&] { order.push_back("own"); });
  }
  // The refusal's end ran what was handed over meanwhile.
  EXPECT_EQ(order, (std::vector<std::string>{"own", "queued"}));
  // After the refusal, calls run again.
  bool ranAfter = false;
  TThread after([&] { Synchronize([&] { ranAfter = true; }); });
  EXPECT_EQ(WaitWithSynchronize(after.Handle(), 10000), WAIT_OBJECT_0);
  EXPECT_TRUE(ranAfter);
}

TEST_F(MainThreadTest, ACallWaitingWhenTheRefusalBeginsIsFailed) {
  HANDLE started = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  TWin32Handle startedOwner(started);
  std::atomic<bool> refused{false};
  std::atomic<bool> ran{false};
  TThread worker([&] {
    ::SetEvent(started);
    try {
      Synchronize([&] { ran = true; });
    } catch (const ESynchronizeRefused&) {
      refused = true;
    }
  });
  ::WaitForSingleObject(started, 10000);
  // The worker's call is queued (or about to be): the refusal fails it either way.
  ::Sleep(50);
  {
    TRefusedSynchronize refusing;
    EXPECT_EQ(::WaitForSingleObject(worker.Handle(), 10000), WAIT_OBJECT_0);
  }
  EXPECT_TRUE(refused);
  EXPECT_FALSE(ran);
}

TEST(MainThread, WithoutAMainThreadSynchronizeRaises) {
  EXPECT_FALSE(IsMainThread());
  EXPECT_THROW(Synchronize([] {}), Exception);
}

TEST(Application, ItsMessageLoopDrainsTheQueueAndTimersFire) {
  TApplication application;
  int ticks = 0;
  TTimer timer(10, [&] {
    if (++ticks == 3) {
      application.Terminate();
    }
  });
  bool ran = false;
  std::thread worker([&] { Synchronize([&] { ran = true; }); });
  application.Run();  // no main form: runs until Terminate
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_GE(ticks, 3);
  application.SetTitle("Book title");
  EXPECT_EQ(application.Title(), "Book title");
}

}  // namespace
}  // namespace leafbook
