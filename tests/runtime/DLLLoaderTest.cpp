// TDLLLoader under Wine: mapping the fixture DLLs and a foreign DLL from
// memory, relocation at another and at the preferred base, import resolution
// and replacement, entry-point calls, the order of Destroy, and the release of
// everything a failed or refused load obtained.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "framework/base/Streams.h"
#include "runtime/DLLLoader.h"
#include "tests/runtime/DamagedImages.h"
#include "tests/runtime/ImageFixtures.h"

namespace leafbook::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

std::string ModuleName(HMODULE module) {
  char path[MAX_PATH];
  DWORD length = ::GetModuleFileNameA(module, path, MAX_PATH);
  std::string name(path, length);
  name = name.substr(name.find_last_of("\\/") + 1);
  std::transform(name.begin(), name.end(), name.begin(), ::tolower);
  return name;
}

// Passes every call to the system and records it in order. It can place the
// image at a chosen address and fill it before the layout.
class TRecordingLayer : public TModuleSystem {
 public:
  std::vector<std::string> Calls;
  void* PlaceAt = nullptr;
  bool Prefill = false;

  void* AllocateImage(uint32_t size) override {
    void* image = PlaceAt != nullptr ? ::VirtualAlloc(PlaceAt, size, MEM_RESERVE | MEM_COMMIT,
                                                      PAGE_EXECUTE_READWRITE)
                                     : TModuleSystem::AllocateImage(size);
    if (image != nullptr && Prefill) {
      std::memset(image, 0xCC, size);
    }
    Calls.push_back("allocate");
    return image;
  }
  void ReleaseImage(void* image) override {
    Calls.push_back("release");
    TModuleSystem::ReleaseImage(image);
  }
  HMODULE LoadModule(const char* name) override {
    HMODULE module = TModuleSystem::LoadModule(name);
    Calls.push_back(std::string("load ") + (module != nullptr ? ModuleName(module) : "failed"));
    return module;
  }
  void UnloadModule(HMODULE module) override {
    Calls.push_back("free " + ModuleName(module));
    TModuleSystem::UnloadModule(module);
  }
  void FlushCode(void* image, uint32_t size) override {
    Calls.push_back("flush");
    TModuleSystem::FlushCode(image, size);
  }
  void CallEntryPoint(void* entry, void* image, uint32_t reason) override {
    Calls.push_back("entry " + std::to_string(reason));
    TModuleSystem::CallEntryPoint(entry, image, reason);
  }

  long Count(const std::string& prefix) const {
    return std::count_if(Calls.begin(), Calls.end(),
                         [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
  }
};

// Records what it is offered and answers from a table of replacements; can
// fail on the n-th import.
class TRecordingLoader : public TDLLLoader {
 public:
  using TDLLLoader::TDLLLoader;
  std::vector<std::string> Offered;
  std::map<std::string, void*> Replacements;
  size_t FailAt = 0;

  void* GetImportReplacement(const char* libraryName, const char* nameOrOrdinal) override {
    auto value = reinterpret_cast<uintptr_t>(nameOrOrdinal);
    std::string key = value < 0x10000 ? "#" + std::to_string(value) : std::string(nameOrOrdinal);
    Offered.push_back(std::string(libraryName) + "!" + key);
    if (Offered.size() == FailAt) {
      throw Exception("replacement failed");
    }
    auto found = Replacements.find(key);
    return found == Replacements.end() ? nullptr : found->second;
  }
};

std::unique_ptr<TMemoryStream> StreamOf(const TBytes& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream->SetPosition(stream->Size());  // the loader reads from the beginning
  return stream;
}

void Load(TDLLLoader& loader, const TBytes& bytes) {
  loader.LoadFromStream(*StreamOf(bytes));
}

template <class F>
F Export(const TDLLLoader& loader, const char* name) {
  void* address = loader.FindExport(name);
  if (address == nullptr) {
    throw std::runtime_error(std::string("no export ") + name);
  }
  return reinterpret_cast<F>(address);
}

struct TEntryCall {
  HINSTANCE Instance;
  DWORD Reason;
  LPVOID Reserved;
};

constexpr uintptr_t kRelocPreferredBase = 0x10000000;

TEST(DLLLoader, FindExportIsNilBeforeALoad) {
  TDLLLoader loader;
  EXPECT_EQ(loader.ModuleBase(), nullptr);
  EXPECT_EQ(loader.FindExport("GetValue"), nullptr);
}

TEST(DLLLoader, RelocatesAtAnotherBaseAndCallsTheEntryPointTwice) {
  TDLLLoader loader;
  Load(loader, ReadFixture("fx_reloc.dll"));
  ASSERT_NE(loader.ModuleBase(), nullptr);
  EXPECT_NE(reinterpret_cast<uintptr_t>(loader.ModuleBase()), kRelocPreferredBase);

  auto* values = Export<int*>(loader, "Values");
  auto* table = Export<int**>(loader, "Table");
  auto getValue = Export<int (*)(int)>(loader, "GetValue");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(table[i], &values[i]);
    EXPECT_EQ(getValue(i), (i + 1) * 10);
  }
  auto* zeroed = Export<char*>(loader, "Zeroed");
  EXPECT_TRUE(std::all_of(zeroed, zeroed + 70000, [](char c) { return c == 0; }));

  int count = 0;
  auto entryCalls = Export<const TEntryCall* (*)(int*)>(loader, "EntryCalls");
  const TEntryCall* calls = entryCalls(&count);
  ASSERT_EQ(count, 2);
  auto* base = static_cast<HINSTANCE>(loader.ModuleBase());
  EXPECT_EQ(calls[0].Instance, base);
  EXPECT_EQ(calls[0].Reason, DWORD{DLL_PROCESS_ATTACH});
  EXPECT_EQ(calls[0].Reserved, nullptr);
  EXPECT_EQ(calls[1].Instance, base);
  EXPECT_EQ(calls[1].Reason, DWORD{DLL_THREAD_ATTACH});
  EXPECT_EQ(calls[1].Reserved, nullptr);
}

TEST(DLLLoader, MapsAtThePreferredBase) {
  TRecordingLayer layer;
  layer.PlaceAt = reinterpret_cast<void*>(kRelocPreferredBase);
  layer.Prefill = true;
  TDLLLoader loader(layer);
  Load(loader, ReadFixture("fx_reloc.dll"));
  ASSERT_EQ(reinterpret_cast<uintptr_t>(loader.ModuleBase()), kRelocPreferredBase);
  auto getValue = Export<int (*)(int)>(loader, "GetValue");
  EXPECT_EQ(getValue(3), 40);
  // Over memory that was not zero, the section beyond its raw data is zeroed.
  auto* zeroed = Export<char*>(loader, "Zeroed");
  EXPECT_TRUE(std::all_of(zeroed, zeroed + 70000, [](char c) { return c == 0; }));
  EXPECT_THAT(layer.Calls, ElementsAre("allocate", "flush", "entry 1", "entry 2"));
}

int FakeSub(int a, int b) {
  return 1000 + a - b;
}
int FakeMul(int a, int b) {
  return 2000 + a * b;
}

TEST(DLLLoader, OffersEveryImportOnceAndResolvesTheRest) {
  TRecordingLayer layer;
  TRecordingLoader loader(layer);
  Load(loader, ReadFixture("fx_imports.dll"));

  EXPECT_THAT(loader.Offered,
              UnorderedElementsAre("fx_target.dll!Add", "fx_target.dll!Sub", "fx_target.dll!#7",
                                   "fx_target.dll!Missing", "fx_absent.dll!Ghost",
                                   "KERNEL32.dll!GetCurrentProcessId", "KERNEL32.dll!lstrlenA"));
  EXPECT_EQ(Export<int (*)(int, int)>(loader, "CallAdd")(2, 3), 5);
  EXPECT_EQ(Export<int (*)(int, int)>(loader, "CallSub")(7, 2), 5);
  EXPECT_EQ(Export<int (*)(int, int)>(loader, "CallMul")(6, 7), 42);
  EXPECT_EQ(Export<DWORD (*)()>(loader, "CallGetCurrentProcessId")(), ::GetCurrentProcessId());
  EXPECT_EQ(Export<int (*)(const char*)>(loader, "CallLstrlenA")("leaf"), 4);
  // Not exported by its library, and from a library that does not load: nil.
  EXPECT_EQ(Export<void* (*)()>(loader, "AddressOfMissing")(), nullptr);
  EXPECT_EQ(Export<void* (*)()>(loader, "AddressOfGhost")(), nullptr);

  // Only the libraries that loaded, in load order.
  std::vector<std::string> loaded;
  for (HMODULE library : loader.Libraries()) {
    loaded.push_back(ModuleName(library));
  }
  std::vector<std::string> expected;
  for (const std::string& call : layer.Calls) {
    if (call.rfind("load ", 0) == 0 && call != "load failed") {
      expected.push_back(call.substr(5));
    }
  }
  EXPECT_EQ(loaded, expected);
  EXPECT_THAT(loaded, UnorderedElementsAre("fx_target.dll", "kernel32.dll"));

  // Named imports only, with the slot that received each address.
  std::vector<std::string> recorded;
  for (const TImportedFunction& f : loader.ImportedFunctions()) {
    recorded.push_back(f.LibraryName + "!" + f.FunctionName);
    ASSERT_NE(f.Slot, nullptr);
    HMODULE library = ::GetModuleHandleA(f.LibraryName.c_str());
    uint32_t resolved = library == nullptr
                            ? 0
                            : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(
                                  ::GetProcAddress(library, f.FunctionName.c_str())));
    EXPECT_EQ(*f.Slot, resolved) << f.FunctionName;
  }
  EXPECT_THAT(recorded,
              UnorderedElementsAre("fx_target.dll!Add", "fx_target.dll!Sub",
                                   "fx_target.dll!Missing", "fx_absent.dll!Ghost",
                                   "KERNEL32.dll!GetCurrentProcessId", "KERNEL32.dll!lstrlenA"));
}

TEST(DLLLoader, ReplacementsTakePrecedenceForNamesAndOrdinals) {
  TRecordingLoader loader;
  loader.Replacements["Sub"] = reinterpret_cast<void*>(&FakeSub);
  loader.Replacements["#7"] = reinterpret_cast<void*>(&FakeMul);
  loader.Replacements["Ghost"] = reinterpret_cast<void*>(&FakeSub);
  Load(loader, ReadFixture("fx_imports.dll"));
  EXPECT_EQ(Export<int (*)(int, int)>(loader, "CallSub")(7, 2), 1005);
  EXPECT_EQ(Export<int (*)(int, int)>(loader, "CallMul")(6, 7), 2042);
  EXPECT_EQ(Export<int (*)(int, int)>(loader, "CallAdd")(2, 3), 5);
  // Even an import of a library that did not load takes its replacement.
  EXPECT_EQ(Export<void* (*)()>(loader, "AddressOfGhost")(), reinterpret_cast<void*>(&FakeSub));
}

// The descriptor of fx_target.dll, with its FirstThunk names all pointing at
// one decoy and a non-zero TimeDateStamp: the names must come from
// OriginalFirstThunk.
TEST(DLLLoader, BoundDescriptorTakesNamesFromOriginalFirstThunk) {
  TPeFile pe(ReadFixture("fx_imports.dll"));
  uint32_t descriptor = pe.ImportDescriptor("fx_target.dll");
  uint32_t first = pe.Rva32(descriptor + 16);
  uint32_t original = pe.Rva32(descriptor);
  for (uint32_t i = 0; pe.Rva32(first + i * 4) != 0; ++i) {
    pe.PutRva32(first + i * 4, 0x80000063);  // ordinal 99 everywhere
  }
  pe.PutRva32(descriptor + 4, 0xFFFFFFFF);
  ASSERT_NE(original, first);

  TRecordingLoader loader;
  Load(loader, pe.Bytes());
  EXPECT_THAT(loader.Offered,
              ::testing::IsSupersetOf({"fx_target.dll!Add", "fx_target.dll!Sub", "fx_target.dll!#7",
                                       "fx_target.dll!Missing"}));
  EXPECT_EQ(Export<int (*)(int, int)>(loader, "CallAdd")(2, 3), 5);
  EXPECT_EQ(Export<int (*)(int, int)>(loader, "CallMul")(6, 7), 42);

  // Unbound, the same image reads the decoys from FirstThunk.
  pe.PutRva32(descriptor + 4, 0);
  TRecordingLoader unbound;
  Load(unbound, pe.Bytes());
  EXPECT_EQ(std::count(unbound.Offered.begin(), unbound.Offered.end(), "fx_target.dll!#99"), 4);
}

// GetImportReplacement sees the library name as stored; the record keeps only
// its file-name part.
TEST(DLLLoader, RecordsTheFileNamePartOfTheLibraryName) {
  TPeFile pe(ReadFixture("fx_imports.dll"));
  std::string stored = "nowhere\\fx_absent.dll";
  TBytes text(stored.begin(), stored.end());
  text.push_back(0);
  uint32_t name = pe.AppendSection(text);
  uint32_t descriptor = pe.ImportDescriptor("fx_absent.dll");
  pe.PutRva32(descriptor + 12, name);

  TRecordingLoader loader;
  Load(loader, pe.Bytes());
  EXPECT_THAT(loader.Offered, ::testing::Contains("nowhere\\fx_absent.dll!Ghost"));
  bool recorded = false;
  for (const TImportedFunction& f : loader.ImportedFunctions()) {
    if (f.FunctionName == "Ghost") {
      EXPECT_EQ(f.LibraryName, "fx_absent.dll");
      recorded = true;
    }
  }
  EXPECT_TRUE(recorded);
}

TEST(DLLLoader, DestroyDetachesThenFreesLibrariesInLoadOrderThenReleases) {
  TRecordingLayer layer;
  std::vector<std::string> expected{"entry 0"};
  {
    TDLLLoader loader(layer);
    Load(loader, ReadFixture("fx_imports.dll"));
    for (HMODULE library : loader.Libraries()) {
      expected.push_back("free " + ModuleName(library));
    }
    expected.push_back("release");
    layer.Calls.clear();
  }
  EXPECT_EQ(layer.Calls, expected);
  EXPECT_EQ(::GetModuleHandleA("fx_target.dll"), nullptr);
}

TEST(DLLLoader, FailedLoadReleasesTheImageAndEveryLibrary) {
  for (size_t failAt : {1, 4, 7}) {
    SCOPED_TRACE(failAt);
    TRecordingLayer layer;
    TRecordingLoader loader(layer);
    loader.FailAt = failAt;
    EXPECT_THROW(Load(loader, ReadFixture("fx_imports.dll")), Exception);
    EXPECT_EQ(loader.ModuleBase(), nullptr);
    EXPECT_TRUE(loader.Libraries().empty());
    EXPECT_EQ(loader.ImportedFunctions().Count(), 0u);
    EXPECT_EQ(layer.Count("load ") - layer.Count("load failed"), layer.Count("free "));
    EXPECT_EQ(layer.Count("allocate"), 1);
    EXPECT_EQ(layer.Count("release"), 1);
    EXPECT_EQ(layer.Count("entry"), 0);
    EXPECT_EQ(::GetModuleHandleA("fx_target.dll"), nullptr);
  }
}

TEST(DLLLoader, RefusesEmptyStreamAndSecondLoad) {
  TDLLLoader empty;
  EXPECT_THROW(Load(empty, TBytes{}), EBadImage);

  TDLLLoader loader;
  Load(loader, ReadFixture("fx_reloc.dll"));
  void* base = loader.ModuleBase();
  EXPECT_THROW(Load(loader, ReadFixture("fx_reloc.dll")), Exception);
  EXPECT_EQ(loader.ModuleBase(), base);
  EXPECT_EQ(Export<int (*)(int)>(loader, "GetValue")(0), 10);
}

TEST(DLLLoader, ExportNamesAreCaseSensitive) {
  TDLLLoader loader;
  Load(loader, ReadFixture("fx_imports.dll"));
  EXPECT_NE(loader.FindExport("CallAdd"), nullptr);
  EXPECT_EQ(loader.FindExport("calladd"), nullptr);
  EXPECT_EQ(loader.FindExport("CALLADD"), nullptr);
  EXPECT_EQ(loader.FindExport("CallAd"), nullptr);
}

// A plain DLL built by Debian's mingw-w64 packaging, not by this project.
TEST(DLLLoader, MapsAForeignDllFromAFileStream) {
  if (!FixtureExists("zlib1.dll")) {
    GTEST_SKIP() << "zlib1.dll (libz-mingw-w64) is not installed";
  }
  TDLLLoader loader;
  TFileStream file(FixturePath("zlib1.dll"), platform::TFileMode::OpenRead);
  loader.LoadFromStream(file);

  auto zlibVersion = Export<const char* (*)()>(loader, "zlibVersion");
  EXPECT_EQ(std::string(zlibVersion()).substr(0, 2), "1.");
  auto crc32 =
      Export<unsigned long (*)(unsigned long, const unsigned char*, unsigned)>(loader, "crc32");
  EXPECT_EQ(crc32(0, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926ul);

  using TCompress =
      int (*)(unsigned char*, unsigned long*, const unsigned char*, unsigned long, int);
  using TUncompress = int (*)(unsigned char*, unsigned long*, const unsigned char*, unsigned long);
  auto compress2 = Export<TCompress>(loader, "compress2");
  auto uncompress = Export<TUncompress>(loader, "uncompress");
  std::string text;
  for (int i = 0; i < 200; ++i) {
    text += "Leafbook maps modules from memory. ";
  }
  std::vector<unsigned char> packed(text.size() + 64);
  unsigned long packedSize = packed.size();
  ASSERT_EQ(compress2(packed.data(), &packedSize,
                      reinterpret_cast<const unsigned char*>(text.data()), text.size(), 9),
            0);
  EXPECT_LT(packedSize, text.size() / 10);
  std::string back(text.size(), '\0');
  unsigned long backSize = back.size();
  ASSERT_EQ(uncompress(reinterpret_cast<unsigned char*>(back.data()), &backSize, packed.data(),
                       packedSize),
            0);
  EXPECT_EQ(back, text);
}

class LoaderDamagedImage : public ::testing::TestWithParam<TDamagedImage> {};

TEST_P(LoaderDamagedImage, IsRefusedAndReleased) {
  TBytes file = MakeDamaged(GetParam());
  TRecordingLayer layer;
  TRecordingLoader loader(layer);
  try {
    Load(loader, file);
    ADD_FAILURE() << "accepted";
  } catch (const EBadImage& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr(GetParam().Reason));
  }
  EXPECT_EQ(loader.ModuleBase(), nullptr);
  EXPECT_TRUE(loader.Offered.empty());
  EXPECT_EQ(layer.Count("load"), 0);
  EXPECT_EQ(layer.Count("entry"), 0);
  EXPECT_EQ(layer.Count("allocate"), layer.Count("release"));
}

INSTANTIATE_TEST_SUITE_P(Table, LoaderDamagedImage, ::testing::ValuesIn(DamagedImages()),
                         [](const auto& info) { return TestNameOf(info.param); });

}  // namespace
}  // namespace leafbook::testing
