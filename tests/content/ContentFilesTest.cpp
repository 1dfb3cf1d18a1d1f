// Files the runtime opens by path: fake handles over streams a control
// supplies, the control's base folder on disk, and the system's own open.
#include <gtest/gtest.h>

#include <algorithm>

#include "content/ContentManager.h"
#include "content/MemoryPath.h"
#include "framework/base/Exceptions.h"
#include "framework/base/Handle.h"
#include "tests/content/FakeControl.h"
#include "tests/package/PackageFixture.h"

namespace leafbook::testing {
namespace {

using ::testing::ElementsAre;

const std::wstring kMarker(kMemoryFolderMarker);

std::wstring MemoryFile(int id, const std::wstring& name) {
  return L"Z:\\FromMemory\\" + kMarker + L"\\" + std::to_wstring(id) + L"\\" + name;
}

// A stream that notes in the control's calls when it is freed.
class TNotingStream final : public TStringStream {
 public:
  TNotingStream(const std::string& text, std::vector<std::string>& log)
      : TStringStream(text), log_(log) {}
  ~TNotingStream() override { log_.push_back("freed"); }

 private:
  std::vector<std::string>& log_;
};

class ContentFilesTest : public ContentTest {
 protected:
  void SetUp() override {
    ContentTest::SetUp();
    manager.CreateMovieStream(control.Get(), false, 0).reset();
    control->onAsync = [this](const std::wstring& path) -> std::unique_ptr<TStream> {
      if (path.find(L"unsupplied") != std::wstring::npos) {
        return nullptr;
      }
      auto stream = std::make_unique<TNotingStream>("0123456789", log);
      stream->Seek(0, TSeekOrigin::End);  // as the package hands it over
      return stream;
    };
    control->onUnload = [this](TStream*) { log.push_back("unload"); };
  }

  HANDLE Open(const std::wstring& path, DWORD disposition = OPEN_EXISTING) {
    return manager.OpenFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  TComPtr<TFakeControl> control = TFakeControl::Create();
  std::vector<std::string> log;
};

TEST_F(ContentFilesTest, AFakeHandleReadsTheSuppliedStreamFromItsBeginning) {
  const HANDLE handle = Open(MemoryFile(1, L"img\\a.png"));
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(control->Calls().back(), "Async img/a.png");
  TStream* stream = manager.FindFakeHandleStream(handle);
  ASSERT_NE(stream, nullptr);
  char bytes[4] = {};
  EXPECT_EQ(stream->Read(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "0123");
  EXPECT_EQ(stream->Seek(-2, TSeekOrigin::End), 8);
  EXPECT_EQ(stream->Read(bytes, 4), 2);
  EXPECT_EQ(stream->GetSize(), 10);
  // A fake handle is a real handle of the process, distinct from all others.
  EXPECT_EQ(::WaitForSingleObject(handle, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(manager.ReleaseFakeHandle(handle));
}

TEST_F(ContentFilesTest, AnyAccessOpensAMemoryFileForReading) {
  // The path is passed as parsed: a leading "/" stays.
  const HANDLE handle =
      manager.OpenFileW((L"file:///Z:/FromMemory/" + kMarker + L"/1//a.txt").c_str(), GENERIC_WRITE,
                        0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(control->Calls().back(), "Async /a.txt");
  EXPECT_EQ(manager.FindFakeHandleStream(handle)->GetSize(), 10);
  EXPECT_TRUE(manager.ReleaseFakeHandle(handle));
}

TEST_F(ContentFilesTest, ClosingRaisesUnloadWithTheStreamBeforeItIsFreed) {
  const HANDLE handle = Open(MemoryFile(1, L"a.txt"));
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(manager.ReleaseFakeHandle(handle));
  EXPECT_THAT(log, ElementsAre("unload", "freed"));
  EXPECT_EQ(control->Calls().back(), "Unload 0123456789");  // the stream was whole
  EXPECT_EQ(manager.FindFakeHandleStream(handle), nullptr);
  // The second close of the value is not ours: the system's CloseHandle
  // fails for the closed handle.
  EXPECT_FALSE(manager.ReleaseFakeHandle(handle));
  ::SetLastError(0);
  EXPECT_FALSE(::CloseHandle(handle));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(ContentFilesTest, OtherHandlesAreNotFake) {
  TWin32Handle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  EXPECT_EQ(manager.FindFakeHandleStream(event.Get()), nullptr);
  EXPECT_FALSE(manager.ReleaseFakeHandle(event.Get()));
  EXPECT_EQ(manager.FindFakeHandleStream(INVALID_HANDLE_VALUE), nullptr);
}

TEST_F(ContentFilesTest, WithoutASupplyTheFileIsOpenedUnderTheControlsBase) {
  TTempDir folder;
  WriteBytes(folder.Path() / "img" / "unsupplied.png", "on disk");
  control->base = folder.Path().wstring();
  TWin32FileHandle file(Open(MemoryFile(1, L"img/unsupplied.png")));
  ASSERT_TRUE(file.Valid());
  EXPECT_EQ(manager.FindFakeHandleStream(file.Get()), nullptr);
  char bytes[16] = {};
  DWORD got = 0;
  ASSERT_TRUE(::ReadFile(file.Get(), bytes, sizeof bytes, &got, nullptr));
  EXPECT_EQ(std::string(bytes, got), "on disk");
  EXPECT_THAT(control->Calls(), ::testing::Contains("GetBase"));
}

TEST_F(ContentFilesTest, OtherwiseThePathItselfGoesToTheSystem) {
  TTempDir folder;
  WriteBytes(folder.Path() / "plain.txt", "plain");
  TWin32FileHandle file(manager.OpenFileA(folder.File("plain.txt").c_str(), GENERIC_READ,
                                          FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file.Valid());
  EXPECT_EQ(manager.FindFakeHandleStream(file.Get()), nullptr);
  char bytes[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(::ReadFile(file.Get(), bytes, sizeof bytes, &got, nullptr));
  EXPECT_EQ(std::string(bytes, got), "plain");

  // A memory path nobody supplies, in the base folder or otherwise, fails as
  // the system fails for the path itself.
  control->base = folder.Path().wstring();
  ::SetLastError(0);
  EXPECT_EQ(Open(MemoryFile(1, L"unsupplied.png")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(ContentFilesTest, AfterUnregisteringAMemoryPathIsAPlainSystemOpen) {
  manager.UnregisterControl(control.Get());
  const size_t callsBefore = control->Calls().size();
  ::SetLastError(0);
  EXPECT_EQ(Open(MemoryFile(1, L"a.txt")), INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(control->Calls().size(), callsBefore);  // no event, no base asked
}

TEST_F(ContentFilesTest, AnOpenFileOfAControlThatUnregisteredClosesWithoutItsEvent) {
  const HANDLE handle = Open(MemoryFile(1, L"a.txt"));
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  manager.UnregisterControl(control.Get());
  EXPECT_TRUE(manager.ReleaseFakeHandle(handle));
  EXPECT_THAT(log, ElementsAre("freed"));  // the stream goes; the control hears nothing
}

DWORD WINAPI LookUpAFakeHandle(void* manager) {
  static_cast<TContentManager*>(manager)->FindFakeHandleStream(INVALID_HANDLE_VALUE);
  return 0;
}

TEST_F(ContentFilesTest, TheUnloadEventRunsWithoutTheManagersLock) {
  // A handler that waits for another thread using fake handles must not
  // wait for ever.
  bool otherThreadFinished = false;
  control->onUnload = [&](TStream*) {
    TWin32Handle thread(::CreateThread(nullptr, 0, LookUpAFakeHandle, &manager, 0, nullptr));
    otherThreadFinished = ::WaitForSingleObject(thread.Get(), 10000) == WAIT_OBJECT_0;
  };
  const HANDLE handle = Open(MemoryFile(1, L"a.txt"));
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(manager.ReleaseFakeHandle(handle));
  EXPECT_TRUE(otherThreadFinished);
}

TEST_F(ContentFilesTest, AFailingSupplyIsAFailedOpen) {
  control->onAsync = [](const std::wstring&) -> std::unique_ptr<TStream> {
    throw Exception("package unreadable");
  };
  ::SetLastError(0);
  EXPECT_EQ(Open(MemoryFile(1, L"a.txt")), INVALID_HANDLE_VALUE);
  EXPECT_NE(::GetLastError(), 0u);
}

// Several threads of a runtime opening, reading and closing at once.
struct TReader {
  TContentManager* manager;
  int failures = 0;
  TWin32Handle thread;
};

DWORD WINAPI ReadMemoryFiles(void* context) {
  auto* self = static_cast<TReader*>(context);
  for (int round = 0; round < 50; ++round) {
    const HANDLE handle = self->manager->OpenFileW(MemoryFile(1, L"a.txt").c_str(), GENERIC_READ, 0,
                                                   nullptr, OPEN_EXISTING, 0, nullptr);
    TStream* stream = self->manager->FindFakeHandleStream(handle);
    char bytes[10];
    if (!stream || stream->Read(bytes, 10) != 10 || bytes[9] != '9' ||
        !self->manager->ReleaseFakeHandle(handle)) {
      ++self->failures;
    }
  }
  return 0;
}

// A thread of a runtime reading one file it keeps open, all over it.
DWORD WINAPI ReadOneOpenFile(void* context) {
  auto* self = static_cast<TReader*>(context);
  const HANDLE handle = self->manager->OpenFileW(MemoryFile(1, L"a.txt").c_str(), GENERIC_READ, 0,
                                                 nullptr, OPEN_EXISTING, 0, nullptr);
  TStream* stream = self->manager->FindFakeHandleStream(handle);
  if (!stream) {
    ++self->failures;
    return 0;
  }
  const std::string whole = "0123456789";
  for (int round = 0; round < 2000; ++round) {
    const int at = round % 10;
    char bytes[10] = {};
    stream->SetPosition(at);
    const int32_t got = stream->Read(bytes, 10);
    if (std::string(bytes, static_cast<size_t>(std::max(got, 0))) != whole.substr(at)) {
      ++self->failures;
    }
  }
  if (!self->manager->ReleaseFakeHandle(handle)) {
    ++self->failures;
  }
  return 0;
}

TEST_F(ContentFilesTest, FilesKeptOpenReadTrueWhileOtherThreadsOpenAndClose) {
  control->onAsync = [](const std::wstring&) -> std::unique_ptr<TStream> {
    return std::make_unique<TStringStream>("0123456789");
  };
  control->onUnload = nullptr;
  TReader readers[8];
  for (size_t i = 0; i < 8; ++i) {
    readers[i].manager = &manager;
    readers[i].thread.Reset(::CreateThread(nullptr, 0, i < 4 ? ReadOneOpenFile : ReadMemoryFiles,
                                           &readers[i], 0, nullptr));
  }
  for (TReader& reader : readers) {
    ASSERT_EQ(::WaitForSingleObject(reader.thread.Get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(reader.failures, 0);
  }
}

TEST_F(ContentFilesTest, FakeHandlesServeManyThreadsAtOnce) {
  control->onAsync = [](const std::wstring&) -> std::unique_ptr<TStream> {
    return std::make_unique<TStringStream>("0123456789");
  };
  control->onUnload = nullptr;
  TReader readers[4];
  for (TReader& reader : readers) {
    reader.manager = &manager;
    reader.thread.Reset(::CreateThread(nullptr, 0, ReadMemoryFiles, &reader, 0, nullptr));
  }
  for (TReader& reader : readers) {
    ASSERT_EQ(::WaitForSingleObject(reader.thread.Get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(reader.failures, 0);
  }
}

}  // namespace
}  // namespace leafbook::testing
