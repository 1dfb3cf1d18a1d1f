// Saved cursors: a list searched under its own lock, never across the creation
// of a cursor.
#include "runtime/SavedCursors.h"

namespace leafbook {
namespace {

bool IsIdentifier(const char* name) {
  return reinterpret_cast<uintptr_t>(name) < 0x10000;
}

}  // namespace

void TSavedCursors::Add(HCURSOR cursor, const void* module, const char* name) {
  TSavedCursor item;
  item.Cursor = cursor;
  item.Module = module;
  item.IsNamed = !IsIdentifier(name);
  if (item.IsNamed) {
    item.Name = name;
  } else {
    item.Id = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(name));
  }
  TLockGuard guard(lock_);
  items_.push_back(std::move(item));
}

HCURSOR TSavedCursors::Find(const void* module, const char* name) {
  const bool named = !IsIdentifier(name);
  const auto id = static_cast<uint16_t>(reinterpret_cast<uintptr_t>(name));
  TLockGuard guard(lock_);
  for (const TSavedCursor& item : items_) {
    if (item.Module != module || item.IsNamed != named) {
      continue;
    }
    if (named ? item.Name == name : item.Id == id) {
      return item.Cursor;
    }
  }
  return nullptr;
}

size_t TSavedCursors::Count() {
  TLockGuard guard(lock_);
  return items_.size();
}

}  // namespace leafbook
