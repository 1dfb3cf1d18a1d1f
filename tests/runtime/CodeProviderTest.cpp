// The unit's start-up and shutdown, the runtime code providers (from a
// stream and from the installed runtime's registry entry), and the stand-in
// runtime mapped by a provider using every replacement from inside.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "app/ProgramUnit.h"
#include "content/UrlMon.h"
#include "framework/base/ComPtr.h"
#include "framework/base/Exceptions.h"
#include "framework/gui/MainThread.h"
#include "runtime/FlashOCXCodeProvider.h"
#include "runtime/Replacements.h"
#include "runtime/RuntimeUnit.h"
#include "tests/content/FakeControl.h"
#include "tests/miniplayer/TestContainer.h"
#include "tests/package/PackageFixture.h"
#include "tests/runtime/RuntimeUnitFixture.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::testing {
namespace {

namespace fs = std::filesystem;
using miniplayer::testing::AsInt;
using miniplayer::testing::Call;
using miniplayer::testing::PumpUntil;
using miniplayer::testing::Put;
using miniplayer::testing::ReadTrace;
using miniplayer::testing::Str;
using miniplayer::testing::TSite;

uint16_t ControlWord() {
  uint16_t word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

TEST(ProgramUnit, MakesTheSharedObjectsAndShutdownFreesThem) {
  ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
  {
    TProgramUnit unit;
    EXPECT_EQ(ControlWord() & 0x1F3F, 0x133F);
    // Nothing is installed in the test prefix: a provider without a module.
    ASSERT_NE(RuntimeCodeProvider(), nullptr);
    EXPECT_EQ(RuntimeCodeProvider()->Loader(), nullptr);
    EXPECT_EQ(RuntimeCodeProvider()->GetVersion(), 0u);
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(
        RuntimeCodeProvider()->CreateInstance(IID_IOleObject, reinterpret_cast<void**>(&object)),
        E_FAIL);
    const TRuntimeUnitState& state = RuntimeUnit();
    EXPECT_NE(state.windowClassNames, nullptr);
    EXPECT_NE(ContentManager(), nullptr);
    EXPECT_NE(state.soundLock, nullptr);
    EXPECT_NE(state.waveFormats, nullptr);
    EXPECT_NE(state.savedCursors, nullptr);
    EXPECT_TRUE(state.soundEnabled);
    EXPECT_EQ(state.volume, 100);
    ASSERT_NE(unit.WorkingSetTimer(), nullptr);
    EXPECT_TRUE(unit.WorkingSetTimer()->Enabled());
    EXPECT_EQ(unit.WorkingSetTimer()->Interval(), 10000u);
    EXPECT_NE(UrlMon().CreateURLMoniker, nullptr);
    EXPECT_NE(UrlMon().RegisterBindStatusCallback, nullptr);
    TProgramUnit::TrimWorkingSet();
  }
  const TRuntimeUnitState& state = RuntimeUnit();
  EXPECT_EQ(RuntimeCodeProvider(), nullptr);
  EXPECT_EQ(ContentManager(), nullptr);
  EXPECT_EQ(state.windowClassNames, nullptr);
  EXPECT_EQ(state.soundLock, nullptr);
  EXPECT_EQ(UrlMon().CreateURLMoniker, nullptr);
  // The unit can start again, but not twice at once.
  {
    TProgramUnit again;
    TContentManager* manager = ContentManager();
    EXPECT_THROW(TProgramUnit twice, Exception);
    EXPECT_EQ(ContentManager(), manager);
  }
  ::OleUninitialize();
}

class CodeProvider : public RuntimeUnitTest {};

TEST_F(CodeProvider, MapsTheModuleFromAStreamAndCreatesRuntimeObjects) {
  MapModule("miniplayer-9.0.28.0.ocx");
  TFlashOCXCodeProviderBasedOnStream* provider = RuntimeCodeProvider();
  ASSERT_NE(provider, nullptr);
  ASSERT_NE(provider->Loader(), nullptr);
  EXPECT_TRUE(provider->HasModule());
  EXPECT_EQ(provider->GetVersion(), 0x09001C00u);
  TComPtr<IOleObject> object;
  ASSERT_EQ(provider->CreateInstance(IID_IOleObject, object.PutVoid()), S_OK);
  ASSERT_TRUE(object);
  // Each object comes from a fresh class factory.
  TComPtr<IOleObject> second;
  ASSERT_EQ(provider->CreateInstance(IID_IOleObject, second.PutVoid()), S_OK);
  EXPECT_TRUE(second);
  EXPECT_NE(second.Get(), object.Get());
  // An interface the object does not offer: S_OK with nothing made.
  const IID unknown = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  IUnknown* none = reinterpret_cast<IUnknown*>(0x1);
  EXPECT_EQ(provider->CreateInstance(unknown, reinterpret_cast<void**>(&none)), S_OK);
  EXPECT_EQ(none, nullptr);
}

struct TBadModuleCase {
  const char* what;
  bool nullStream;
  std::string bytes;
};

class BadModule : public RuntimeUnitTest, public ::testing::WithParamInterface<TBadModuleCase> {};

TEST_P(BadModule, LeavesAProviderWithoutAModule) {
  MapModule("miniplayer.ocx");
  TFlashOCXCodeProviderBasedOnStream* previous = RuntimeCodeProvider();
  ASSERT_TRUE(previous->HasModule());
  const auto stream = StreamOf(GetParam().bytes);
  SetRuntimeModuleStream(GetParam().nullStream ? nullptr : stream.get());
  TFlashOCXCodeProviderBasedOnStream* provider = RuntimeCodeProvider();
  ASSERT_NE(provider, nullptr);
  EXPECT_FALSE(provider->HasModule());
  EXPECT_EQ(provider->GetVersion(), 0u);
  void* object = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(provider->CreateInstance(IID_IOleObject, &object), E_FAIL);
  // A loader whose load failed still answers GetProcAddress for listed
  // names; without a stream there is no loader and the system answers.
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  void* expected = GetParam().nullStream
                       ? reinterpret_cast<void*>(::GetProcAddress(kernel, "ReadFile"))
                       : reinterpret_cast<void*>(&replacements::ReadFile);
  EXPECT_EQ(reinterpret_cast<void*>(replacements::GetProcAddress(kernel, "ReadFile")), expected);
}

std::string Damaged() {
  std::string bytes = ModuleBytes("miniplayer.ocx");
  bytes.resize(bytes.size() / 3);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(Cases, BadModule,
                         ::testing::Values(TBadModuleCase{"nil", true, ""},
                                           TBadModuleCase{"empty", false, ""},
                                           TBadModuleCase{"notAModule", false, "MZ not a module"},
                                           TBadModuleCase{"truncated", false, Damaged()}),
                         [](const auto& info) { return std::string(info.param.what); });

// The installed runtime's entry, written where HKEY_CLASSES_ROOT reads it,
// and removed again.
class TInstalledEntry {
 public:
  explicit TInstalledEntry(const std::string& path) {
    HKEY key = nullptr;
    ok_ = ::RegCreateKeyExA(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS;
    if (ok_) {
      ok_ = ::RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             static_cast<DWORD>(path.size() + 1)) == ERROR_SUCCESS;
      ::RegCloseKey(key);
    }
  }
  ~TInstalledEntry() {
    ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kKey);
    ::RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}");
  }
  TInstalledEntry(const TInstalledEntry&) = delete;
  TInstalledEntry& operator=(const TInstalledEntry&) = delete;
  bool Ok() const { return ok_; }

 private:
  static constexpr char kKey[] = "CLSID\\{D27CDB6E-AE6D-11cf-96B8-444553540000}\\InprocServer32";
  bool ok_ = false;
};

std::string WindowsPath(const std::string& path) {
  std::string result = path;
  for (char& c : result) {
    if (c == '/') {
      c = '\\';
    }
  }
  return result;
}

TEST_F(CodeProvider, TheInstalledRuntimeIsMappedFromTheFileItsEntryNames) {
  {
    TInstalledEntry entry(WindowsPath(ModulePath("miniplayer-9.0.28.0.ocx")));
    ASSERT_TRUE(entry.Ok());
    UseInstalledRuntime();
    TFlashOCXCodeProviderBasedOnStream* provider = RuntimeCodeProvider();
    ASSERT_NE(provider, nullptr);
    EXPECT_TRUE(provider->HasModule());
    EXPECT_EQ(provider->GetVersion(), 0x09001C00u);
    TComPtr<IOleObject> object;
    EXPECT_EQ(provider->CreateInstance(IID_IOleObject, object.PutVoid()), S_OK);
    EXPECT_TRUE(object);
  }
  {
    TInstalledEntry entry("Z:\\no\\such\\runtime.ocx");
    ASSERT_TRUE(entry.Ok());
    UseInstalledRuntime();
    EXPECT_FALSE(RuntimeCodeProvider()->HasModule());
  }
  UseInstalledRuntime();
  EXPECT_FALSE(RuntimeCodeProvider()->HasModule());
  EXPECT_EQ(RuntimeCodeProvider()->GetVersion(), 0u);
}

// The stand-in runtime, mapped by the provider, playing in a container.
class MappedRuntime : public RuntimeUnitTest {
 protected:
  void SetUp() override {
    RuntimeUnitTest::SetUp();
    trace_ = dir_.Path() / "trace.txt";
    ::SetEnvironmentVariableW(L"MINIPLAYER_TRACE", trace_.wstring().c_str());
    MapModule("miniplayer.ocx");
    module_ = static_cast<HINSTANCE>(RuntimeCodeProvider()->Loader()->ModuleBase());
    ASSERT_EQ(RuntimeCodeProvider()->CreateInstance(IID_IOleObject, player_.PutVoid()), S_OK);
    ASSERT_TRUE(player_);
    ASSERT_EQ(player_->SetClientSite(&site_), S_OK);
    ASSERT_EQ(player_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site_, 0, site_.Parent(),
                              &site_.position),
              S_OK);
    dispatch_ = player_.As<IDispatch>(IID_IDispatch);
  }
  void TearDown() override {
    if (player_) {
      // As the host does: the runtime's Close joins threads of its own whose
      // deliveries may wait for this thread, so their calls are refused meanwhile.
      std::optional<TRefusedSynchronize> refused;
      if (IsMainThread()) {
        refused.emplace();
      }
      player_->Close(OLECLOSE_NOSAVE);
      refused.reset();
      player_->SetClientSite(nullptr);
    }
    dispatch_.Reset();
    player_.Reset();
    miniplayer::testing::Pump(20);
    RuntimeUnitTest::TearDown();
    ::SetEnvironmentVariableW(L"MINIPLAYER_TRACE", nullptr);
  }

  std::string Trace() const { return ReadTrace(trace_.wstring()); }
  bool TraceHas(const std::string& text) const {
    return PumpUntil([&] { return Trace().find(text) != std::string::npos; });
  }
  static std::string Movie() {
    swf::TSwfWriter movie(6, 320, 240, 30.0);
    movie.SetBackgroundColor(0x336699);
    movie.DoAction(swf::TActions().Stop()).ShowFrame();
    movie.ShowFrame();
    return movie.Bytes(true);
  }

  TTempDir dir_;
  fs::path trace_;
  HINSTANCE module_ = nullptr;
  TSite site_;
  TComPtr<IOleObject> player_;
  TComPtr<IDispatch> dispatch_;
};

std::wstring Generated(const std::wstring& name) {
  return L"FlashPlayerControl_" + name + L"_" + std::to_wstring(replacements::HostCopyNumber());
}

TEST_F(MappedRuntime, ItsClassesWindowsAndCursorGoThroughTheHost) {
  HWND window =
      ::FindWindowExW(site_.Parent(), nullptr, Generated(L"MiniPlayerWindow").c_str(), nullptr);
  ASSERT_NE(window, nullptr) << Trace();
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(window, GWLP_HINSTANCE)),
            replacements::HostModuleInstance());
  // The page cursor was built once from the mapped image.
  EXPECT_EQ(reinterpret_cast<HCURSOR>(::GetClassLongPtrW(window, GCLP_HCURSOR)),
            RuntimeUnit().savedCursors->Find(module_, MAKEINTRESOURCEA(101)));
  EXPECT_NE(::GetClassLongPtrW(window, GCLP_HCURSOR), 0);
  EXPECT_EQ(RuntimeUnit().savedCursors->Count(), 1u);
  WNDCLASSEXA info{};
  info.cbSize = sizeof info;
  const std::string worker =
      "FlashPlayerControl_MiniPlayerWorker_" + std::to_string(replacements::HostCopyNumber());
  EXPECT_TRUE(::GetClassInfoExA(replacements::HostModuleInstance(), worker.c_str(), &info));
  EXPECT_EQ(Trace().find("not created"), std::string::npos);
  EXPECT_EQ(Trace().find("missing"), std::string::npos);
  // A second object finds its classes again through the name map.
  TComPtr<IOleObject> second;
  ASSERT_EQ(RuntimeCodeProvider()->CreateInstance(IID_IOleObject, second.PutVoid()), S_OK);
  EXPECT_EQ(RuntimeUnit().savedCursors->Count(), 1u);
}

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR, DWORD) {
  ::EndMenu();
}

TEST_F(MappedRuntime, ItsContextMenuIsBuiltFromTheMappedImage) {
  HWND window =
      ::FindWindowExW(site_.Parent(), nullptr, Generated(L"MiniPlayerWindow").c_str(), nullptr);
  ASSERT_NE(window, nullptr);
  // The menu's own message loop runs the timer that closes it again.
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 200, CloseMenu);
  ::SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), -1);
  ::KillTimer(nullptr, timer);
  EXPECT_NE(Trace().find("context menu shown"), std::string::npos) << Trace();
  EXPECT_EQ(Trace().find("context menu missing"), std::string::npos);
}

TEST_F(MappedRuntime, EveryListedImportOfTheModuleIsAnsweredByTheHost) {
  TFlashOCXLoader& loader = *RuntimeCodeProvider()->Loader();
  std::set<std::string> replaced;
  for (const TImportedFunction& import : loader.ImportedFunctions()) {
    void* replacement = loader.GetImportReplacement(nullptr, import.FunctionName.c_str());
    const auto slot = reinterpret_cast<void*>(static_cast<uintptr_t>(*import.Slot));
    if (replacement != nullptr) {
      EXPECT_EQ(slot, replacement) << import.LibraryName << "!" << import.FunctionName;
      replaced.insert(import.FunctionName);
    } else {
      EXPECT_EQ(slot,
                reinterpret_cast<void*>(::GetProcAddress(
                    ::GetModuleHandleA(import.LibraryName.c_str()), import.FunctionName.c_str())))
          << import.LibraryName << "!" << import.FunctionName;
    }
  }
  // GetFileSizeEx is looked up at run time, through GetProcAddress.
  std::set<std::string> expected;
  for (const std::string& name : TFlashOCXLoader::ReplacedNames()) {
    expected.insert(name);
  }
  expected.erase("GetFileSizeEx");
  EXPECT_EQ(replaced, expected);
}

TEST_F(MappedRuntime, ItReadsAnInMemoryMovieThroughFakeHandles) {
  auto control = TFakeControl::Create();
  const std::string movie = Movie();
  control->onMovie = [this](const std::wstring& url) { Put(dispatch_.Get(), L"Movie", Str(url)); };
  control->onAsync = [movie](const std::wstring&) -> std::unique_ptr<TStream> {
    return std::make_unique<TStringStream>(movie);
  };
  ContentManager()->CreateMovieStream(control.Get(), false, 0).reset();
  ASSERT_TRUE(TraceHas("loaded level 0 movie")) << Trace();
  EXPECT_NE(Trace().find("via file Z:\\FromMemory\\"), std::string::npos) << Trace();
  bool asked = false;
  bool released = false;
  for (const std::string& call : control->Calls()) {
    asked = asked || call.rfind("Async ", 0) == 0;
    released = released || call.rfind("Unload", 0) == 0;
  }
  EXPECT_TRUE(asked);
  EXPECT_TRUE(released);  // the runtime closed its fake handle
  ContentManager()->UnregisterControl(control.Get());
}

TEST_F(MappedRuntime, ItsUrlBindsAreAnsweredByTheContentManager) {
  const std::string movie = Movie();
  std::wstring asked;
  ContentManager()->SetGlobalOnLoadExternalResourceEx(
      [&](const std::wstring& url, std::unique_ptr<TStream>& writer, bool& handled) {
        asked = url;
        writer->WriteBuffer(movie.data(), static_cast<int32_t>(movie.size()));
        handled = true;
      });
  EXPECT_EQ(Put(dispatch_.Get(), L"Movie", Str(L"http://book.invalid/book.swf")), S_OK);
  ASSERT_TRUE(TraceHas("loaded level 0 movie")) << Trace();
  EXPECT_EQ(asked, L"http://book.invalid/book.swf");
  EXPECT_NE(Trace().find("via moniker http://book.invalid/book.swf"), std::string::npos);
  ContentManager()->SetGlobalOnLoadExternalResourceEx(nullptr);
}

}  // namespace
}  // namespace leafbook::testing
