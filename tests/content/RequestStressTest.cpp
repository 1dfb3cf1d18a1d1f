// Many page requests through the chain a runtime's binding takes (moniker,
// content manager, the viewer's kind of process-wide handler reading the
// package, provider, callback): the process's handles and private bytes stay
// flat.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include "package/PackageAccess.h"
#include "tests/content/FakeControl.h"
#include "tests/content/RecordingCallback.h"
#include "tests/package/PackageFixture.h"

namespace leafbook::testing {
namespace {

struct TUsage {
  uintptr_t handles = 0;
  SIZE_T privateBytes = 0;
};

TUsage Usage() {
  TUsage usage;
  DWORD count = 0;
  if (::GetProcessHandleCount(::GetCurrentProcess(), &count) && count != 0) {
    usage.handles = count;
  } else {
    // Wine counts no handles; it gives a new handle the lowest free slot, so
    // the slot of a fresh one rises with every handle left open.
    HANDLE probe = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    usage.handles = reinterpret_cast<uintptr_t>(probe) / 4;
    ::CloseHandle(probe);
  }
  // The commit charge of the process's private memory (Wine leaves
  // PrivateUsage at 0; PagefileUsage is the same figure on Windows).
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  usage.privateBytes = counters.PagefileUsage;
  return usage;
}

class RequestStressTest : public ContentTest {
 protected:
  void SetUp() override {
    ContentTest::SetUp();
    TRawPackage package;
    std::vector<std::pair<std::string, int>> names;
    package.entries.push_back("");
    for (int i = 1; i <= 20; ++i) {
      names.push_back({"pages/" + std::to_string(i) + ".png", i});
      package.entries.push_back(std::string(static_cast<size_t>(1000 + i * 3000), 'p'));
    }
    package.entries[0] = Directory(names);
    WriteBytes(book_, package.Bytes());
    manager.SetGlobalOnLoadExternalResourceEx(
        [this](const std::wstring& url, std::unique_ptr<TStream>& writer, bool& handled) {
          const std::string name(url.begin() + static_cast<long>(url.rfind(L"pages/")), url.end());
          if (PackageFileIndex(name, book_) > 0) {
            PackageReadFile(name, *writer, book_);
            handled = true;
            writer.reset();  // the data is complete
          }
        });
  }

  // One request as a runtime makes it; true when the whole page came.
  bool Request(int page) {
    TComPtr<TRecordingCallback> callback = TRecordingCallback::Create();
    const std::wstring url = L"http://book.invalid/pages/" + std::to_wstring(page) + L".png";
    Bind(url, callback.Get());
    PumpUntilStopped(callback);
    return ReceivedBytes(callback).size() == static_cast<size_t>(1000 + page * 3000);
  }

  TTempDir dir_;
  std::string book_ = dir_.File("book.exe");
};

TEST_F(RequestStressTest, TenThousandPageRequestsLeaveHandlesAndMemoryFlat) {
  int wrong = 0;
  for (int i = 0; i < 200; ++i) {  // the chain's one-time costs settle first
    wrong += Request(1 + i % 20) ? 0 : 1;
  }
  const TUsage before = Usage();
  for (int i = 0; i < 10000; ++i) {
    wrong += Request(1 + i % 20) ? 0 : 1;
  }
  const TUsage after = Usage();
  EXPECT_EQ(wrong, 0);
  ASSERT_GT(before.handles, 0u);
  ASSERT_GT(before.privateBytes, 0u);
  // A leak of one handle, or of 400 bytes, per request would show ten times over.
  EXPECT_LT(after.handles, before.handles + 1000) << before.handles << " -> " << after.handles;
  EXPECT_LT(after.privateBytes, before.privateBytes + (4u << 20))
      << before.privateBytes << " -> " << after.privateBytes;
  std::printf("10000 requests: handles %llu -> %llu, private bytes %llu -> %llu\n",
              static_cast<unsigned long long>(before.handles),
              static_cast<unsigned long long>(after.handles),
              static_cast<unsigned long long>(before.privateBytes),
              static_cast<unsigned long long>(after.privateBytes));
}

}  // namespace
}  // namespace leafbook::testing
