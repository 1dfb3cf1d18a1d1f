// The end-to-end tests' book fixture, and how they report a foreign-thread call.
#include "tests/app/BookFixture.h"

#include <filesystem>

#include "framework/base/AnsiText.h"
#include "framework/base/Platform.h"
#include "framework/base/Streams.h"
#include "package/PackageWriter.h"
#include "tests/app/ViewerProcess.h"
#include "tests/miniplayer/Png.h"
#include "tools/swfwriter/SwfWriter.h"

namespace leafbook::testing {

namespace fs = std::filesystem;

void ReportForeignThreadCall(const std::string& line) {
  ADD_FAILURE() << "the runtime was called from a thread other than its own: " << line;
}

std::string ViewerPath() {
  return (fs::path(platform::ExecutablePath()).parent_path() / "leafbook.exe").string();
}

std::string StandIn() {
  return ReadBytes(fs::path(std::string(MINIPLAYER_MODULE_DIR) + "/miniplayer.ocx"));
}

bool WaitFor(const std::function<bool()>& done, int limitMs) {
  for (int waited = 0; waited < limitMs; waited += 50) {
    if (done()) {
      return true;
    }
    ::Sleep(50);
  }
  return done();
}

int Count(const std::string& lines, const std::string& text) {
  int count = 0;
  for (size_t at = lines.find(text); at != std::string::npos; at = lines.find(text, at + 1)) {
    ++count;
  }
  return count;
}

COLORREF PageColour(int page) {
  static const COLORREF kFirst[] = {RGB(0, 200, 0), RGB(0, 0, 200), RGB(200, 0, 0),
                                    RGB(200, 200, 0)};
  if (page >= 1 && page <= 4) {
    return kFirst[page - 1];
  }
  return RGB(20 * page % 256, 60, 160);
}

namespace {

uint32_t Bgra(COLORREF color) {
  return 0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

}  // namespace

TScopedVariable::TScopedVariable(const wchar_t* name, const std::string& value) : name_(name) {
  ::SetEnvironmentVariableW(name_, AnsiToWide(value).c_str());
}

TScopedVariable::~TScopedVariable() {
  ::SetEnvironmentVariableW(name_, nullptr);
}

void TBookTest::SetUp() {
  trace_ = dir_.File("trace.txt");
  ::SetEnvironmentVariableW(L"MINIPLAYER_TRACE", AnsiToWide(trace_).c_str());
}

void TBookTest::TearDown() {
  ::SetEnvironmentVariableW(L"MINIPLAYER_TRACE", nullptr);
}

std::string TBookTest::Movie(int pages, bool fullscreen, const std::string& folder) {
  swf::TSwfWriter movie(6, 400, 300, 12.0);
  movie.SetBackgroundColor(0x808080);
  for (int page = 1; page <= pages; ++page) {
    swf::TActions actions;
    if (page == 1 && fullscreen) {
      actions.FsCommand("fullscreen", "true");
    }
    const std::string url = (page == 1 ? "" : "./") + folder + "/" + std::to_string(page) + ".png";
    movie.DoAction(actions.GetUrl(url, "_level1").Stop()).ShowFrame();
  }
  return movie.Bytes();
}

std::string TBookTest::Book(const TBookFiles& files, const std::string& name) {
  return BookOnViewer(ReadBytes(ViewerPath()), files, name);
}

std::string TBookTest::BookOnViewer(const std::string& viewer, const TBookFiles& files,
                                    const std::string& name) {
  TRawPackage package;
  package.prefix = viewer;
  std::vector<std::pair<std::string, int>> names;
  package.entries.push_back("");  // the directory, below
  for (const auto& [file, bytes] : files) {
    names.push_back({file, static_cast<int>(package.entries.size())});
    package.entries.push_back(bytes);
  }
  package.entries[0] = Directory(names);
  const std::string path = dir_.File(name);
  WriteBytes(path, package.Bytes());
  return path;
}

std::string TBookTest::BookWithBlockDigests(const TBookFiles& files, const std::string& name,
                                            int32_t blockSize) {
  std::vector<std::pair<std::string, int32_t>> names;
  for (const auto& [file, bytes] : files) {
    names.emplace_back(file, static_cast<int32_t>(names.size()) + 1);
  }
  const std::string path = dir_.File(name);
  TFileStream out(path, platform::TFileMode::Create);
  const std::string viewer = ReadBytes(ViewerPath());
  out.WriteBuffer(viewer.data(), static_cast<int32_t>(viewer.size()));
  TPackageWriter writer(out, true, nullptr, blockSize);
  writer.AddEntry(BuildDirectoryText(names));
  for (const auto& file : files) {
    writer.AddEntry(file.second);
  }
  writer.Finish();
  return path;
}

std::string TBookTest::BookWithADamagedBlock(const TBookFiles& files, const std::string& name,
                                             const std::string& damaged) {
  const std::string path = BookWithBlockDigests(files, name);
  std::string bytes = ReadBytes(path);
  for (const auto& [file, content] : files) {
    if (file == damaged) {
      const size_t at = bytes.find(content, ReadBytes(ViewerPath()).size());
      EXPECT_NE(at, std::string::npos) << damaged;
      if (at != std::string::npos) {
        bytes[at + content.size() / 2] ^= 0x5A;
      }
    }
  }
  WriteBytes(path, bytes);
  return path;
}

TBookFiles TBookTest::Pages(int count) {
  TBookFiles files;
  for (int page = 1; page <= count; ++page) {
    files.push_back(
        {"pages/" + std::to_string(page) + ".png", Png(400, 300, Bgra(PageColour(page)))});
  }
  files.push_back({"ExeConfig.xml",
                   "<ExeConfig><ExeCaption>Sample</ExeCaption><WindowOpenMode>1</WindowOpenMode>"
                   "<WindowOpenWidth>600</WindowOpenWidth><WindowOpenHeight>450</WindowOpenHeight>"
                   "</ExeConfig>"});
  return files;
}

TBookFiles TBookTest::PlayingBook(int pages, bool fullscreen) {
  TBookFiles files = Pages(pages);
  files.push_back({"book.swf", Movie(pages, fullscreen)});
  files.push_back({"flash.ocx", StandIn()});
  return files;
}

bool TBookTest::Shows(HWND window, int page) {
  return WaitFor([&] { return ClientCentre(window) == PageColour(page); });
}

}  // namespace leafbook::testing
