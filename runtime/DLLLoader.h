// TDLLLoader: maps a DLL of the process's own width (32-bit in the viewer;
// 64-bit in the 64-bit test build) held in a stream into memory without the
// system's loader, relocates it, resolves its imports (each offered first to
// GetImportReplacement), starts it through its entry point and, when
// destroyed, stops and frees it. A damaged image is refused with an exception
// before it can lead the loader outside the image, and a load that fails
// releases everything it obtained.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "framework/base/Streams.h"
#include "runtime/ImageLayout.h"
#include "runtime/ImportedFunctions.h"
#include "runtime/ModuleSystem.h"

namespace leafbook {

class TDLLLoader {
 public:
  TDLLLoader();
  // A loader that reaches the system through layer (which must outlive it).
  explicit TDLLLoader(TModuleSystem& layer);
  virtual ~TDLLLoader();
  TDLLLoader(const TDLLLoader&) = delete;
  TDLLLoader& operator=(const TDLLLoader&) = delete;

  // Maps, relocates, resolves and starts the module held in stream (read from
  // its beginning). Raises on failure, leaving the loader empty. A loader maps
  // one module in its life.
  void LoadFromStream(TStream& stream);

  // Stops the module (its detach call) and frees it; the loader is empty
  // afterwards. The destructor does it too.
  void Unload();

  // The address of the named export (case-sensitive), or nullptr.
  void* FindExport(const char* name) const;

  // Offered every import once while resolving: the library name as stored in
  // the image and the function name, or the ordinal as a value below 0x10000.
  // A non-null result becomes the import's address.
  virtual void* GetImportReplacement(const char* libraryName, const char* nameOrOrdinal);

  // Start of the mapped image, also its instance handle; nullptr until loaded.
  void* ModuleBase() const { return moduleBase_; }
  // Library handles obtained while resolving imports, in load order.
  const std::vector<HMODULE>& Libraries() const { return libraries_; }
  const TImportedFunctions& ImportedFunctions() const { return importedFunctions_; }

 private:
  void FreeLibraries();
  void RegisterUnwindTable(uint8_t* base, const TImageDirectory& table);
  void UnregisterUnwindTable();

  void* moduleBase_ = nullptr;
  void* unwindTable_ = nullptr;
  std::vector<HMODULE> libraries_;
  TImportedFunctions importedFunctions_;
  TModuleSystem& layer_;
  uint32_t imageSize_ = 0;
  uint32_t entryPoint_ = 0;
  uint32_t exportAddress_ = 0;
};

}  // namespace leafbook
