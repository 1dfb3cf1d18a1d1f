// The cursors built from a mapped module's own resources, kept so that asking
// again for the same cursor of the same module gives the same handle instead
// of a new one each time. Used from any thread the runtime calls from.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/base/CriticalSection.h"

namespace leafbook {

struct TSavedCursor {
  HCURSOR Cursor = nullptr;
  const void* Module = nullptr;
  bool IsNamed = false;
  uint16_t Id = 0;
  std::string Name;
};

class TSavedCursors {
 public:
  TSavedCursors() = default;
  TSavedCursors(const TSavedCursors&) = delete;
  TSavedCursors& operator=(const TSavedCursors&) = delete;

  // name is an integer identifier (a value below 0x10000) or a string.
  void Add(HCURSOR cursor, const void* module, const char* name);
  // The first saved cursor of module asked for by the same identifier, or by
  // the same name (case-sensitive); nullptr when there is none.
  HCURSOR Find(const void* module, const char* name);
  size_t Count();

 private:
  std::vector<TSavedCursor> items_;
  TCriticalSection lock_;
};

}  // namespace leafbook
