// The replacement table of the runtime's imports and the replacements for
// window classes, windows, cursors, menus, code pages, sound and
// GetProcAddress, called as the runtime calls them.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/FlashOCXCodeProvider.h"
#include "runtime/FlashOCXLoader.h"
#include "runtime/Replacements.h"
#include "runtime/RuntimeUnit.h"
#include "tests/runtime/RuntimeUnitFixture.h"

namespace leafbook::testing {
namespace {

namespace r = replacements;

const std::vector<std::string> kTable = {"CreateURLMoniker",
                                         "RegisterClassExA",
                                         "RegisterClassA",
                                         "RegisterClassExW",
                                         "RegisterClassW",
                                         "CreateWindowExA",
                                         "CreateWindowExW",
                                         "LoadCursorA",
                                         "LoadMenuA",
                                         "waveOutWrite",
                                         "waveOutOpen",
                                         "waveOutClose",
                                         "FlushInstructionCache",
                                         "CreateFileA",
                                         "VirtualAlloc",
                                         "ReadFile",
                                         "CloseHandle",
                                         "GetFileSize",
                                         "GetFileSizeEx",
                                         "SetFilePointer",
                                         "SetFilePointerEx",
                                         "CreateFileW",
                                         "GetProcAddress"};

template <class F>
void* Address(F* function) {
  return reinterpret_cast<void*>(function);
}

TEST(FlashOCXLoader, ReplacesTheListedNamesFromAnyLibraryAndNothingElse) {
  TFlashOCXLoader loader;
  EXPECT_EQ(TFlashOCXLoader::ReplacedNames(), kTable);
  for (const std::string& name : kTable) {
    void* replacement = loader.GetImportReplacement("kernel32.dll", name.c_str());
    ASSERT_NE(replacement, nullptr) << name;
    EXPECT_EQ(loader.GetImportReplacement("other.dll", name.c_str()), replacement) << name;
    EXPECT_EQ(loader.GetImportReplacement(nullptr, name.c_str()), replacement) << name;
  }
  EXPECT_EQ(loader.GetImportReplacement("kernel32.dll", "ReadFile"), Address(&r::ReadFile));
  EXPECT_EQ(loader.GetImportReplacement("urlmon.dll", "CreateURLMoniker"),
            Address(&r::CreateURLMoniker));
  EXPECT_EQ(loader.GetImportReplacement("kernel32.dll", "readfile"), nullptr);
  EXPECT_EQ(loader.GetImportReplacement("kernel32.dll", "GetTickCount"), nullptr);
  EXPECT_EQ(loader.GetImportReplacement("kernel32.dll", MAKEINTRESOURCEA(16)), nullptr);
}

class Replacements : public RuntimeUnitTest {};

TEST_F(Replacements, GetProcAddressAnswersListedNamesThroughTheProvidersLoader) {
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  // The installed runtime is not there: its provider holds no loader.
  EXPECT_EQ(Address(r::GetProcAddress(kernel, "ReadFile")),
            Address(::GetProcAddress(kernel, "ReadFile")));
  MapModule("miniplayer.ocx");
  for (HMODULE module : {kernel, ::GetModuleHandleA("user32.dll"), HMODULE{}}) {
    EXPECT_EQ(Address(r::GetProcAddress(module, "ReadFile")), Address(&r::ReadFile));
    EXPECT_EQ(Address(r::GetProcAddress(module, "GetFileSizeEx")), Address(&r::GetFileSizeEx));
  }
  EXPECT_EQ(Address(r::GetProcAddress(kernel, "GetTickCount")),
            Address(::GetProcAddress(kernel, "GetTickCount")));
  // By ordinal: always the system's answer.
  for (WORD ordinal : {1, 2, 100}) {
    EXPECT_EQ(Address(r::GetProcAddress(kernel, MAKEINTRESOURCEA(ordinal))),
              Address(::GetProcAddress(kernel, MAKEINTRESOURCEA(ordinal))));
  }
}

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(window, message, wParam, lParam);
}

std::wstring Generated(const std::wstring& name) {
  return L"FlashPlayerControl_" + name + L"_" + std::to_wstring(r::HostCopyNumber());
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return name;
}

const HINSTANCE kModuleInstance = reinterpret_cast<HINSTANCE>(0x12340000);

TEST_F(Replacements, WideClassesAreRegisteredUnderGeneratedNamesAndFoundInAnyCase) {
  EXPECT_EQ(r::HostCopyNumber(),
            static_cast<int>(reinterpret_cast<intptr_t>(RuntimeCodeProviderVariable())));
  WNDCLASSEXW record{};
  record.cbSize = sizeof record;
  record.lpfnWndProc = TestWindowProc;
  record.hInstance = kModuleInstance;
  record.lpszClassName = L"RtTestWide";
  ASSERT_NE(r::RegisterClassExW(&record), 0);
  EXPECT_EQ(record.hInstance, kModuleInstance);  // the caller's record stays
  EXPECT_STREQ(record.lpszClassName, L"RtTestWide");
  // Registering again replaces the class registered before.
  ASSERT_NE(r::RegisterClassExW(&record), 0);
  WNDCLASSEXW found{};
  found.cbSize = sizeof found;
  EXPECT_TRUE(::GetClassInfoExW(r::HostModuleInstance(), Generated(L"RtTestWide").c_str(), &found));
  EXPECT_FALSE(::GetClassInfoExW(r::HostModuleInstance(), L"RtTestWide", &found));

  HWND window = r::CreateWindowExW(0, L"RTTESTWIDE", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                   kModuleInstance, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ClassOf(window), Generated(L"RtTestWide"));
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)),
            r::HostModuleInstance());
  ::DestroyWindow(window);

  WNDCLASSW shortRecord{};
  shortRecord.lpfnWndProc = TestWindowProc;
  shortRecord.lpszClassName = L"RtTestShortWide";
  ASSERT_NE(r::RegisterClassW(&shortRecord), 0);
  EXPECT_TRUE(
      ::GetClassInfoExW(r::HostModuleInstance(), Generated(L"RtTestShortWide").c_str(), &found));
}

TEST_F(Replacements, AnsiClassesAreRegisteredUnderGeneratedNamesAndFoundInAnyCase) {
  WNDCLASSEXA record{};
  record.cbSize = sizeof record;
  record.lpfnWndProc = TestWindowProc;
  record.hInstance = kModuleInstance;
  record.lpszClassName = "RtTestAnsi";
  ASSERT_NE(r::RegisterClassExA(&record), 0);
  WNDCLASSA shortRecord{};
  shortRecord.lpfnWndProc = TestWindowProc;
  shortRecord.lpszClassName = "RtTestShortAnsi";
  ASSERT_NE(r::RegisterClassA(&shortRecord), 0);
  for (const char* asked : {"rttestansi", "RTTESTSHORTANSI"}) {
    HWND window = r::CreateWindowExA(0, asked, "", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                     kModuleInstance, nullptr);
    ASSERT_NE(window, nullptr) << asked;
    EXPECT_EQ(ClassOf(window).rfind(L"FlashPlayerControl_RtTest", 0), 0u) << asked;
    ::DestroyWindow(window);
  }
  // The wide creation finds a class the runtime registered by 8-bit name.
  HWND window = r::CreateWindowExW(0, L"RtTestAnsi", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                   nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ClassOf(window), Generated(L"RtTestAnsi"));
  ::DestroyWindow(window);
}

TEST_F(Replacements, ClassAtomsAndInstanceZeroPassUnchanged) {
  WNDCLASSEXW record{};
  record.cbSize = sizeof record;
  record.lpfnWndProc = TestWindowProc;
  record.hInstance = r::HostModuleInstance();
  record.lpszClassName = L"RtTestPlain";
  const ATOM atom = ::RegisterClassExW(&record);
  ASSERT_NE(atom, 0);
  HWND window = r::CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(atom)), L"",
                                   0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ClassOf(window), L"RtTestPlain");
  EXPECT_EQ(::GetWindowLongPtrW(window, GWLP_HINSTANCE), 0);
  ::DestroyWindow(window);
  ::UnregisterClassW(L"RtTestPlain", r::HostModuleInstance());

  // A class named by an atom has no name to generate from: the system sees
  // the record as given, for the host module instance, and the map is left.
  const size_t names = RuntimeUnit().windowClassNames->Count();
  record.lpszClassName = reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(atom));
  r::RegisterClassExW(&record);
  WNDCLASSA shortRecord{};
  shortRecord.lpfnWndProc = TestWindowProc;
  shortRecord.lpszClassName = MAKEINTATOM(0xC001);
  r::RegisterClassA(&shortRecord);
  EXPECT_EQ(RuntimeUnit().windowClassNames->Count(), names);
}

TEST_F(Replacements, CursorsAndMenusComeFromTheMappedImage) {
  MapModule("miniplayer.ocx");
  auto module = static_cast<HINSTANCE>(RuntimeCodeProvider()->Loader()->ModuleBase());
  ASSERT_NE(module, nullptr);
  TSavedCursors& saved = *RuntimeUnit().savedCursors;
  const size_t before = saved.Count();
  HCURSOR cursor = r::LoadCursorA(module, MAKEINTRESOURCEA(101));
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(r::LoadCursorA(module, MAKEINTRESOURCEA(101)), cursor);
  EXPECT_EQ(saved.Count(), before + 1);  // created once
  EXPECT_EQ(saved.Find(module, MAKEINTRESOURCEA(101)), cursor);
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(cursor, &info));
  EXPECT_FALSE(info.fIcon);
  ::DeleteObject(info.hbmMask);
  ::DeleteObject(info.hbmColor);
  EXPECT_EQ(r::LoadCursorA(module, MAKEINTRESOURCEA(999)), nullptr);
  EXPECT_EQ(r::LoadCursorA(module, "NOSUCHCURSOR"), nullptr);
  // Module 0 asks the system for one of its own cursors.
  EXPECT_EQ(r::LoadCursorA(nullptr, IDC_ARROW), ::LoadCursorA(nullptr, IDC_ARROW));

  HMENU menu = r::LoadMenuA(module, MAKEINTRESOURCEA(201));
  ASSERT_NE(menu, nullptr);
  EXPECT_GT(::GetMenuItemCount(menu), 0);
  ::DestroyMenu(menu);
  // No fallback to the system's menus.
  EXPECT_EQ(r::LoadMenuA(module, MAKEINTRESOURCEA(999)), nullptr);
  EXPECT_EQ(r::LoadMenuA(nullptr, MAKEINTRESOURCEA(201)), nullptr);
}

TEST(SavedCursors, FindsByModuleAndByIdentifierOrExactName) {
  TSavedCursors saved;
  const int a = 0, b = 0;
  auto cursor = [](uintptr_t value) { return reinterpret_cast<HCURSOR>(value); };
  saved.Add(cursor(1), &a, MAKEINTRESOURCEA(5));
  saved.Add(cursor(2), &a, "Hand");
  saved.Add(cursor(3), &b, MAKEINTRESOURCEA(5));
  saved.Add(cursor(4), &a, MAKEINTRESOURCEA(5));
  EXPECT_EQ(saved.Find(&a, MAKEINTRESOURCEA(5)), cursor(1));
  EXPECT_EQ(saved.Find(&b, MAKEINTRESOURCEA(5)), cursor(3));
  EXPECT_EQ(saved.Find(&a, "Hand"), cursor(2));
  EXPECT_EQ(saved.Find(&a, "hand"), nullptr);
  EXPECT_EQ(saved.Find(&b, "Hand"), nullptr);
  EXPECT_EQ(saved.Find(&a, MAKEINTRESOURCEA(6)), nullptr);
}

TEST_F(Replacements, FlushedCodeBecomesExecutable) {
  void* page = ::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(page, nullptr);
  const unsigned char code[] = {0xB8, 42, 0, 0, 0, 0xC3};  // mov eax, 42; ret
  std::memcpy(page, code, sizeof code);
  EXPECT_TRUE(r::FlushInstructionCache(::GetCurrentProcess(), page, sizeof code));
  MEMORY_BASIC_INFORMATION region{};
  ::VirtualQuery(page, &region, sizeof region);
  EXPECT_EQ(region.Protect, static_cast<DWORD>(PAGE_EXECUTE_READWRITE));
  EXPECT_EQ(reinterpret_cast<int (*)()>(page)(), 42);
  ::VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(Replacements, GuardPagesAtAGivenAddressBecomeTheWholeRegionWithoutTheGuard) {
  char* base = static_cast<char*>(::VirtualAlloc(nullptr, 3 * 4096, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(r::VirtualAlloc(base, 4096, MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD), base);
  MEMORY_BASIC_INFORMATION region{};
  ::VirtualQuery(base + 2 * 4096, &region, sizeof region);
  EXPECT_EQ(region.State, static_cast<DWORD>(MEM_COMMIT));
  EXPECT_EQ(region.Protect, static_cast<DWORD>(PAGE_READWRITE));
  ::VirtualFree(base, 0, MEM_RELEASE);

  // Without an address the request passes unchanged, guard included.
  void* guarded =
      r::VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE | PAGE_GUARD);
  ASSERT_NE(guarded, nullptr);
  ::VirtualQuery(guarded, &region, sizeof region);
  EXPECT_EQ(region.Protect, static_cast<DWORD>(PAGE_READWRITE | PAGE_GUARD));
  EXPECT_EQ(region.RegionSize, 4096u);
  ::VirtualFree(guarded, 0, MEM_RELEASE);
}

struct TSoundCase {
  const char* what;
  bool enabled;
  int32_t volume;
  uint32_t bytesPerSample;  // 0: the device is not in the map
  std::vector<uint8_t> before;
  std::vector<uint8_t> after;
};

class SoundScaling : public RuntimeUnitTest, public ::testing::WithParamInterface<TSoundCase> {
 protected:
  void TearDown() override {
    SetSoundSettings(true, 100);
    RuntimeUnitTest::TearDown();
  }
};

TEST_P(SoundScaling, ScalesTheBufferBeforeTheSystemPlaysIt) {
  const TSoundCase& c = GetParam();
  // A handle the system does not know: it refuses the write, after the
  // buffer was scaled.
  const auto device = reinterpret_cast<HWAVEOUT>(0x7A000000u + c.bytesPerSample);
  if (c.bytesPerSample != 0) {
    RuntimeUnit().waveFormats->Add(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(device)),
                                   c.bytesPerSample);
  }
  SetSoundSettings(c.enabled, c.volume);
  std::vector<uint8_t> buffer = c.before;
  WAVEHDR header{};
  header.lpData = reinterpret_cast<LPSTR>(buffer.data());
  header.dwBufferLength = static_cast<DWORD>(buffer.size());
  EXPECT_NE(r::waveOutWrite(device, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_EQ(buffer, c.after);
}

std::vector<uint8_t> Samples16(std::initializer_list<int16_t> samples, bool trailingByte) {
  std::vector<uint8_t> bytes;
  for (int16_t sample : samples) {
    bytes.push_back(static_cast<uint8_t>(sample & 0xFF));
    bytes.push_back(static_cast<uint8_t>((sample >> 8) & 0xFF));
  }
  if (trailingByte) {
    bytes.push_back(0x7F);
  }
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SoundScaling,
    ::testing::Values(
        // 8-bit samples are unsigned around 128.
        TSoundCase{
            "eightBitHalf", true, 50, 1, {228, 28, 131, 125, 0, 128}, {178, 78, 129, 127, 64, 128}},
        TSoundCase{"eightBitLouderSaturates", true, 200, 1, {228, 0, 140}, {255, 0, 152}},
        TSoundCase{"sixteenBitOddCount", true, 50, 2, Samples16({1000, -1000, 3}, true),
                   Samples16({500, -500, 1}, true)},
        TSoundCase{"sixteenBitLouderSaturates", true, 200, 2,
                   Samples16({1000, -20000, 20000}, false),
                   Samples16({2000, -32768, 32767}, false)},
        TSoundCase{"asFixedAtStart", true, 100, 2, Samples16({1234, -4321}, true),
                   Samples16({1234, -4321}, true)},
        TSoundCase{"disabledIsSilence", false, 100, 2, {1, 2, 3}, {0, 0, 0}},
        TSoundCase{"unknownDevice", true, 50, 0, {100, 100}, {100, 100}},
        TSoundCase{"otherSampleSize", true, 50, 4, {100, 100, 100, 100}, {100, 100, 100, 100}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(Replacements, WaveOutOpenRemembersTheSampleSizeOnlyWhenTheDeviceOpened) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = 22050;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = 44100;
  TMapCardinal2Cardinal& formats = *RuntimeUnit().waveFormats;
  HWAVEOUT device = nullptr;
  // An absent device fails and leaves nothing behind.
  EXPECT_NE(r::waveOutOpen(&device, 0xFFF0, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  EXPECT_EQ(formats.Count(), 0u);
  if (r::waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) {
    uint32_t bytes = 0;
    EXPECT_TRUE(formats.Find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(device)), bytes));
    EXPECT_EQ(bytes, 2u);
    EXPECT_EQ(r::waveOutClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(formats.Count(), 1u);  // the entry stays
  }
}

}  // namespace
}  // namespace leafbook::testing
