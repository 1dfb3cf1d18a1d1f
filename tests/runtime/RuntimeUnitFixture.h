// The fixture of the runtime machinery's tests: COM, a main thread and the
// program's unit started for each test, plus the stand-in runtime's module bytes read
// from its file (the module is only ever mapped from them, never loaded by
// the system).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/ProgramUnit.h"
#include "framework/base/Streams.h"
#include "runtime/RuntimeUnit.h"

namespace leafbook::testing {

// The bytes of a module built beside the tests, e.g. "miniplayer.ocx".
std::string ModuleBytes(const std::string& fileName);
// The Windows path of that module.
std::string ModulePath(const std::string& fileName);
// A memory stream holding bytes, positioned at its beginning.
std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes);

class RuntimeUnitTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Makes the process-wide provider one that maps fileName from a stream.
  static void MapModule(const std::string& fileName);

  std::unique_ptr<TProgramUnit> unit_;
};

}  // namespace leafbook::testing
