// The loader's record of named imports.
#include "runtime/ImportedFunctions.h"

namespace leafbook {

void TImportedFunctions::Add(const std::string& libraryName, const std::string& functionName,
                             uintptr_t* slot) {
  items_.push_back(TImportedFunction{libraryName, functionName, slot});
}

}  // namespace leafbook
