// The fixture of the tests that drive leafpack's commands in process: a
// temporary folder with a stand-in viewer, the book folder and an output folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/package/PackageFixture.h"
#include "tools/leafpack/Leafpack.h"

namespace leafbook::leafpack {

struct TResult {
  int code;
  std::string out;
  std::string err;
};

class TLeafpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteBytes(viewer_, "VIEWER-IMAGE");
    std::filesystem::create_directories(dir_.Path() / "out");
  }

  // terminal: as if standard error were a console, where progress lines are drawn.
  TResult Run(const std::vector<std::string>& args, bool terminal = false) {
    std::ostringstream out;
    std::ostringstream err;
    int code = leafpack::Run(args, TConsole{out, err, terminal});
    return {code, out.str(), err.str()};
  }
  std::string Book(const std::string& name) { return dir_.File("book/" + name); }
  TResult Build(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"build", dir_.File("book"), "--viewer", viewer_, "-o",
                                     output_};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }
  // Only the files a test named: no temporary left beside the output.
  std::vector<std::string> OutputFolder() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path() / "out")) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  testing::TTempDir dir_;
  std::string viewer_ = dir_.File("leafbook.exe");
  std::string output_ = dir_.File("out/book.exe");
};

}  // namespace leafbook::leafpack
