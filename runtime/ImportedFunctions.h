// The record of a loaded module's imports by name: which library and function
// each one is, and the import address table slot that received its address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace leafbook {

struct TImportedFunction {
  std::string LibraryName;    // file-name part of the descriptor's library name
  std::string FunctionName;   // the imported name
  uintptr_t* Slot = nullptr;  // the pointer-sized slot that received the address
};

// Owns its entries; they are freed with the list.
class TImportedFunctions {
 public:
  void Add(const std::string& libraryName, const std::string& functionName, uintptr_t* slot);
  void Clear() { items_.clear(); }
  size_t Count() const { return items_.size(); }
  const TImportedFunction& operator[](size_t index) const { return items_[index]; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<TImportedFunction> items_;
};

}  // namespace leafbook
