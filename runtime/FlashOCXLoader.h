// TFlashOCXLoader: the module loader for the movie runtime. It answers 23 of
// the runtime's imports, chosen by function name alone, with routines of the
// host (runtime/Replacements.h), so that the runtime's window classes,
// windows, cursors, menus, code pages, sound, files and URLs pass through the
// host. Imports by ordinal are never replaced.
#pragma once

#include <string>
#include <vector>

#include "runtime/DLLLoader.h"

namespace leafbook {

class TFlashOCXLoader : public TDLLLoader {
 public:
  using TDLLLoader::TDLLLoader;

  // The library name plays no part: a listed name is replaced whichever
  // library it comes from.
  void* GetImportReplacement(const char* libraryName, const char* nameOrOrdinal) override;

  // The names replaced, in the order they are compared.
  static std::vector<std::string> ReplacedNames();
};

}  // namespace leafbook
