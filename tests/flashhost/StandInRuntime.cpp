// The stand-in runtime as the process's runtime.
#include "tests/flashhost/StandInRuntime.h"

#include <fstream>
#include <iterator>

#include "framework/base/Streams.h"
#include "runtime/FlashOCXCodeProvider.h"

namespace leafbook::testing {

bool UseStandInRuntime(const std::string& fileName) {
  std::ifstream file(std::string(MINIPLAYER_MODULE_DIR) + "/" + fileName, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  TMemoryStream stream;
  if (!bytes.empty()) {
    stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  stream.SetPosition(0);
  SetRuntimeModuleStream(&stream);
  return RuntimeCodeProvider() && RuntimeCodeProvider()->HasModule();
}

}  // namespace leafbook::testing
