// The runtime's file functions and CreateURLMoniker as the host answers them:
// fake handles served from a control's streams, every other handle passed to
// the system, and stream failures turned into failure results.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

#include "content/MemoryPath.h"
#include "framework/base/Exceptions.h"
#include "runtime/Replacements.h"
#include "tests/content/FakeControl.h"
#include "tests/package/PackageFixture.h"
#include "tests/runtime/RuntimeUnitFixture.h"

namespace leafbook::testing {
namespace {

namespace r = replacements;

constexpr BOOL kAllBits = static_cast<BOOL>(~0u);
const std::string kAlphabet = "abcdefghijklmnopqrstuvwxyz";

std::wstring MemoryFile(const std::wstring& name) {
  return L"Z:\\FromMemory\\" + std::wstring(kMemoryFolderMarker) + L"\\1\\" + name;
}

// Once failing is set, every use of it fails, as a stream over a lost source
// would (the content manager seeks it while handing out its handle).
class TFailingStream final : public TStringStream {
 public:
  explicit TFailingStream(const bool& failing) : TStringStream(kAlphabet), failing_(failing) {}
  int32_t Read(void* buffer, int32_t count) override {
    Check();
    return TStringStream::Read(buffer, count);
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    Check();
    return TStringStream::Seek(offset, origin);
  }
  int64_t GetSize() override {
    Check();
    return TStringStream::GetSize();
  }

 private:
  void Check() const {
    if (failing_) {
      throw Exception("the source is lost");
    }
  }
  const bool& failing_;
};

class FileReplacements : public RuntimeUnitTest {
 protected:
  void SetUp() override {
    RuntimeUnitTest::SetUp();
    ContentManager()->CreateMovieStream(control.Get(), false, 0).reset();
    control->onAsync = [this](const std::wstring& path) -> std::unique_ptr<TStream> {
      if (path.find(L"failing") != std::wstring::npos) {
        return std::make_unique<TFailingStream>(failing);
      }
      return std::make_unique<TStringStream>(kAlphabet);
    };
  }

  static HANDLE Open(const std::wstring& path) {
    return r::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  TComPtr<TFakeControl> control = TFakeControl::Create();
  bool failing = false;
};

TEST_F(FileReplacements, AFakeHandleReadsItsStream) {
  const HANDLE file = Open(MemoryFile(L"a.txt"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_NE(ContentManager()->FindFakeHandleStream(file), nullptr);
  char buffer[8] = {};
  DWORD read = 99;
  EXPECT_EQ(r::ReadFile(file, buffer, 4, &read, nullptr), kAllBits);
  EXPECT_EQ(read, 4u);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  // No bytes-read pointer: still TRUE, and the stream moved on.
  EXPECT_EQ(r::ReadFile(file, buffer, 2, nullptr, nullptr), kAllBits);
  EXPECT_EQ(std::string(buffer, 2), "ef");
  DWORD high = 77;
  EXPECT_EQ(r::GetFileSize(file, &high), 26u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(r::GetFileSize(file, nullptr), 26u);
  LARGE_INTEGER size{};
  EXPECT_EQ(r::GetFileSizeEx(file, &size), kAllBits);
  EXPECT_EQ(size.QuadPart, 26);
  EXPECT_EQ(r::GetFileSizeEx(file, nullptr), kAllBits);

  // 10 bytes before the end; the value behind the high pointer is not read.
  LONG distanceHigh = 5;
  EXPECT_EQ(r::SetFilePointer(file, -10, &distanceHigh, FILE_END), 16u);
  EXPECT_EQ(distanceHigh, 0);
  EXPECT_EQ(r::SetFilePointer(file, -10, nullptr, FILE_END), 16u);
  EXPECT_EQ(r::SetFilePointer(file, 2, nullptr, FILE_CURRENT), 18u);
  // Only the low 32 bits of a 64-bit distance count.
  LARGE_INTEGER distance{};
  distance.QuadPart = (int64_t{1} << 32) + 5;
  LARGE_INTEGER position{};
  EXPECT_EQ(r::SetFilePointerEx(file, distance, &position, FILE_BEGIN), kAllBits);
  EXPECT_EQ(position.QuadPart, 5);
  EXPECT_EQ(r::ReadFile(file, buffer, 1, &read, nullptr), kAllBits);
  EXPECT_EQ(buffer[0], 'f');
  distance.QuadPart = 0;
  EXPECT_EQ(r::SetFilePointerEx(file, distance, nullptr, FILE_END), kAllBits);
  // At the end: TRUE with nothing read.
  EXPECT_EQ(r::ReadFile(file, buffer, 8, &read, nullptr), kAllBits);
  EXPECT_EQ(read, 0u);

  // The first close releases the fake handle; the second reaches the system,
  // which knows the value no more.
  EXPECT_EQ(r::CloseHandle(file), kAllBits);
  EXPECT_EQ(control->Calls().back().rfind("Unload", 0), 0u);
  EXPECT_EQ(ContentManager()->FindFakeHandleStream(file), nullptr);
  EXPECT_FALSE(r::CloseHandle(file));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(FileReplacements, AFailingStreamGivesTheFailureResults) {
  const HANDLE file = Open(MemoryFile(L"failing.bin"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  failing = true;
  char buffer[4] = {};
  DWORD read = 77;
  EXPECT_EQ(r::ReadFile(file, buffer, 4, &read, nullptr), FALSE);
  EXPECT_EQ(read, 77u);  // nothing stored
  DWORD high = 77;
  EXPECT_EQ(r::GetFileSize(file, &high), 0u);
  LARGE_INTEGER size{};
  EXPECT_EQ(r::GetFileSizeEx(file, &size), FALSE);
  EXPECT_EQ(r::SetFilePointer(file, 1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  LARGE_INTEGER distance{};
  EXPECT_EQ(r::SetFilePointerEx(file, distance, nullptr, FILE_BEGIN), FALSE);
  EXPECT_EQ(r::CloseHandle(file), kAllBits);
}

TEST_F(FileReplacements, AnUnknownMoveMethodFailsOnAFakeHandle) {
  const HANDLE file = Open(MemoryFile(L"a.txt"));
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(r::SetFilePointer(file, 1, nullptr, 7), INVALID_SET_FILE_POINTER);
  LARGE_INTEGER distance{};
  EXPECT_EQ(r::SetFilePointerEx(file, distance, nullptr, 7), FALSE);
  EXPECT_EQ(r::CloseHandle(file), kAllBits);
}

TEST_F(FileReplacements, OtherHandlesReachTheSystem) {
  TTempDir dir;
  const std::filesystem::path path = dir.Path() / "disk.txt";
  WriteBytes(path, kAlphabet);
  const HANDLE file = r::CreateFileA(path.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ContentManager()->FindFakeHandleStream(file), nullptr);
  char buffer[4] = {};
  DWORD read = 0;
  EXPECT_TRUE(r::ReadFile(file, buffer, 3, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "abc");
  EXPECT_EQ(r::GetFileSize(file, nullptr), 26u);
  LARGE_INTEGER size{};
  EXPECT_TRUE(r::GetFileSizeEx(file, &size));
  EXPECT_EQ(size.QuadPart, 26);
  EXPECT_EQ(r::SetFilePointer(file, -10, nullptr, FILE_END), 16u);
  LARGE_INTEGER distance{};
  distance.QuadPart = 3;
  LARGE_INTEGER position{};
  EXPECT_TRUE(r::SetFilePointerEx(file, distance, &position, FILE_BEGIN));
  EXPECT_EQ(position.QuadPart, 3);
  EXPECT_TRUE(r::CloseHandle(file));
  EXPECT_FALSE(r::CloseHandle(file));
  EXPECT_EQ(r::CreateFileW(L"Z:\\no\\such\\file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr),
            INVALID_HANDLE_VALUE);
}

TEST_F(FileReplacements, CreateURLMonikerGivesTheContentManagersMoniker) {
  TComPtr<IMoniker> context;
  ASSERT_EQ(::CreateFileMoniker(L"C:\\base", context.Put()), S_OK);
  context->AddRef();
  const ULONG references = context->Release();
  IMoniker* moniker = reinterpret_cast<IMoniker*>(0x1);
  ASSERT_EQ(r::CreateURLMoniker(context.Get(), L"http://example.invalid/a.png", &moniker), S_OK);
  ASSERT_NE(moniker, nullptr);
  LPOLESTR name = nullptr;
  EXPECT_EQ(moniker->GetDisplayName(nullptr, nullptr, &name), S_OK);
  EXPECT_NE(std::wstring(name).find(L"a.png"), std::wstring::npos);
  ::CoTaskMemFree(name);
  moniker->Release();
  context->AddRef();
  EXPECT_EQ(context->Release(), references);
  EXPECT_EQ(r::CreateURLMoniker(nullptr, L"a.png", nullptr), E_POINTER);
}

// Before the unit's start-up (or after its shutdown) there is no content
// manager: files reach the system and URLs find no moniker.
TEST(FileReplacementsWithoutTheUnit, ReachTheSystem) {
  ASSERT_EQ(ContentManager(), nullptr);
  TTempDir dir;
  const std::filesystem::path path = dir.Path() / "disk.txt";
  WriteBytes(path, kAlphabet);
  const HANDLE file = r::CreateFileW(path.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[4] = {};
  DWORD read = 0;
  EXPECT_TRUE(r::ReadFile(file, buffer, 4, &read, nullptr));
  EXPECT_EQ(read, 4u);
  EXPECT_EQ(r::GetFileSize(file, nullptr), 26u);
  EXPECT_TRUE(r::CloseHandle(file));
  IMoniker* moniker = reinterpret_cast<IMoniker*>(0x1);
  EXPECT_EQ(r::CreateURLMoniker(nullptr, L"http://example.invalid/", &moniker), E_FAIL);
  EXPECT_EQ(moniker, nullptr);
}

}  // namespace
}  // namespace leafbook::testing
