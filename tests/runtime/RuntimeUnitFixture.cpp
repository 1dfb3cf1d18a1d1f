// The runtime machinery's test fixture.
#include "tests/runtime/RuntimeUnitFixture.h"

#include <ole2.h>

#include <filesystem>

#include "framework/gui/MainThread.h"
#include "runtime/FlashOCXCodeProvider.h"
#include "tests/package/PackageFixture.h"

namespace leafbook::testing {

std::string ModulePath(const std::string& fileName) {
  return std::string(MINIPLAYER_MODULE_DIR) + "/" + fileName;
}

std::string ModuleBytes(const std::string& fileName) {
  return ReadBytes(std::filesystem::path(ModulePath(fileName)));
}

std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  if (!bytes.empty()) {
    stream->WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  stream->SetPosition(0);
  return stream;
}

void RuntimeUnitTest::SetUp() {
  ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
  InitMainThread();
  unit_ = std::make_unique<TProgramUnit>();
}

void RuntimeUnitTest::TearDown() {
  unit_.reset();
  DoneMainThread();
  ::OleUninitialize();
}

void RuntimeUnitTest::MapModule(const std::string& fileName) {
  const auto stream = StreamOf(ModuleBytes(fileName));
  SetRuntimeModuleStream(stream.get());
}

}  // namespace leafbook::testing
