// The in-memory module loader: system calls around the portable image code.
#include "runtime/DLLLoader.h"

#include <limits>
#include <span>
#include <string>
#include <utility>

#include "runtime/ImageExports.h"
#include "runtime/ImageMapping.h"

namespace leafbook {

namespace {

// Image memory released on the way out unless the load completes.
class TImageMemory {
 public:
  TImageMemory(TModuleSystem& layer, uint32_t size)
      : layer_(layer), image_(layer.AllocateImage(size)) {
    if (image_ == nullptr) {
      throw Exception("VirtualAlloc of " + std::to_string(size) + " bytes for the module failed");
    }
  }
  ~TImageMemory() {
    if (image_ != nullptr) {
      layer_.ReleaseImage(image_);
    }
  }
  TImageMemory(const TImageMemory&) = delete;
  TImageMemory& operator=(const TImageMemory&) = delete;

  uint8_t* Get() const { return static_cast<uint8_t*>(image_); }
  void* Keep() { return std::exchange(image_, nullptr); }

 private:
  TModuleSystem& layer_;
  void* image_;
};

std::vector<uint8_t> ReadWholeStream(TStream& stream) {
  int64_t size = stream.GetSize();
  if (size < 0 || size > std::numeric_limits<int32_t>::max()) {
    throw EBadImage("the module stream is too large");
  }
  std::vector<uint8_t> file(static_cast<size_t>(size));
  stream.SetPosition(0);
  if (size > 0) {
    stream.ReadBuffer(file.data(), static_cast<int32_t>(size));
  }
  return file;
}

}  // namespace

TDLLLoader::TDLLLoader() : layer_(SystemModuleLayer()) {}

TDLLLoader::TDLLLoader(TModuleSystem& layer) : layer_(layer) {}

TDLLLoader::~TDLLLoader() {
  Unload();
}

void TDLLLoader::Unload() {
  importedFunctions_.Clear();
  if (moduleBase_ == nullptr) {
    return;
  }
  if (entryPoint_ != 0) {
    layer_.CallEntryPoint(static_cast<uint8_t*>(moduleBase_) + entryPoint_, moduleBase_,
                          DLL_PROCESS_DETACH);
  }
  UnregisterUnwindTable();
  FreeLibraries();
  layer_.ReleaseImage(std::exchange(moduleBase_, nullptr));
}

// A 64-bit module's exceptions unwind through its function table, which the
// system knows only of modules it loaded itself: a mapped one says where its
// table is. A 32-bit module needs nothing.
void TDLLLoader::RegisterUnwindTable([[maybe_unused]] uint8_t* base,
                                     [[maybe_unused]] const TImageDirectory& table) {
#ifdef _WIN64
  const DWORD count = table.Size / sizeof(RUNTIME_FUNCTION);
  if (table.Address != 0 && count != 0) {
    auto* functions = reinterpret_cast<PRUNTIME_FUNCTION>(base + table.Address);
    if (::RtlAddFunctionTable(functions, count, reinterpret_cast<DWORD64>(base))) {
      unwindTable_ = functions;
    }
  }
#endif
}

void TDLLLoader::UnregisterUnwindTable() {
#ifdef _WIN64
  if (unwindTable_ != nullptr) {
    ::RtlDeleteFunctionTable(static_cast<PRUNTIME_FUNCTION>(unwindTable_));
    unwindTable_ = nullptr;
  }
#endif
}

void TDLLLoader::FreeLibraries() {
  for (HMODULE library : libraries_) {
    layer_.UnloadModule(library);
  }
  libraries_.clear();
}

void TDLLLoader::LoadFromStream(TStream& stream) {
  if (moduleBase_ != nullptr) {
    throw Exception("The loader already holds a module");
  }
  libraries_.clear();
  importedFunctions_.Clear();

  // A module already in memory is read where it lies; any other stream is
  // read into memory once.
  std::vector<uint8_t> copy;
  std::span<const uint8_t> file;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
    if (memory->Size() > std::numeric_limits<int32_t>::max()) {
      throw EBadImage("the module stream is too large");
    }
    file = std::span<const uint8_t>(memory->Memory(), static_cast<size_t>(memory->Size()));
    memory->SetPosition(memory->Size());
  } else {
    copy = ReadWholeStream(stream);
    file = copy;
  }
  TImageHeaders headers = ReadImageHeaders(file);
  // Code of the other width cannot run in this process.
  if (headers.Wide != (sizeof(void*) == 8)) {
    throw EBadImage(headers.Wide ? "a 64-bit module in a 32-bit process"
                                 : "a 32-bit module in a 64-bit process");
  }
  TImageMemory memory(layer_, headers.SizeOfImage);
  std::span<uint8_t> image(memory.Get(), headers.SizeOfImage);
  std::vector<TImportLibrary> imports =
      PrepareImage(file, headers, image, reinterpret_cast<uintptr_t>(memory.Get()));

  try {
    for (const TImportLibrary& library : imports) {
      HMODULE handle = layer_.LoadModule(library.Name.c_str());
      if (handle != nullptr) {
        libraries_.push_back(handle);
      }
      std::string fileName = LibraryFileName(library.Name);
      for (const TImportThunk& thunk : library.Thunks) {
        auto* slot = reinterpret_cast<uintptr_t*>(memory.Get() + thunk.Slot);
        const char* key = thunk.Name.c_str();
        if (thunk.ByOrdinal) {
          key = reinterpret_cast<const char*>(uintptr_t{thunk.Ordinal});
        } else {
          importedFunctions_.Add(fileName, thunk.Name, slot);
        }
        void* address = GetImportReplacement(library.Name.c_str(), key);
        // A library that failed to load resolves nothing: asking the system
        // with a null handle would search the host executable instead.
        if (address == nullptr && handle != nullptr) {
          address = layer_.FindProcedure(handle, key);
        }
        if constexpr (sizeof(void*) == 8) {
          StoreU64(image, thunk.Slot, reinterpret_cast<uintptr_t>(address),
                   "import address table slot");
        } else {
          StoreU32(image, thunk.Slot, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)),
                   "import address table slot");
        }
      }
    }
    layer_.FlushCode(memory.Get(), headers.SizeOfImage);
    RegisterUnwindTable(memory.Get(), headers.Exception);
    if (headers.AddressOfEntryPoint != 0) {
      void* entry = memory.Get() + headers.AddressOfEntryPoint;
      layer_.CallEntryPoint(entry, memory.Get(), DLL_PROCESS_ATTACH);
      layer_.CallEntryPoint(entry, memory.Get(), DLL_THREAD_ATTACH);
    }
  } catch (...) {
    UnregisterUnwindTable();
    importedFunctions_.Clear();
    FreeLibraries();
    throw;
  }
  imageSize_ = headers.SizeOfImage;
  entryPoint_ = headers.AddressOfEntryPoint;
  exportAddress_ = headers.Export.Address;
  moduleBase_ = memory.Keep();
}

void* TDLLLoader::FindExport(const char* name) const {
  if (moduleBase_ == nullptr) {
    return nullptr;
  }
  auto* base = static_cast<uint8_t*>(moduleBase_);
  auto offset =
      FindExportAddress(TImageView(base, imageSize_), exportAddress_,
                        [name](const char* stored) { return ::lstrcmpA(stored, name) == 0; });
  return offset ? base + *offset : nullptr;
}

void* TDLLLoader::GetImportReplacement(const char*, const char*) {
  return nullptr;
}

}  // namespace leafbook
