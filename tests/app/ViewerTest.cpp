// The real leafbook.exe with packages appended, started as a user starts it:
// window geometry, style, state and caption seen from outside, and its log.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>

#include "app/Notices.h"
#include "framework/base/Platform.h"
#include "tests/app/ViewerProcess.h"
#include "tests/package/PackageFixture.h"

namespace leafbook::testing {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kOverlappedWindow = 0x00CF0000;
const RECT kDesignBounds{193, 223, 193 + 1372, 223 + 575};

std::string ViewerPath() {
  return (fs::path(platform::ExecutablePath()).parent_path() / "leafbook.exe").string();
}

std::string Config(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + body;
}

std::string Settings(const std::string& caption, const std::string& mode, const std::string& width,
                     const std::string& height) {
  return Config("<ExeConfig><ExeCaption>" + caption + "</ExeCaption><WindowOpenMode>" + mode +
                "</WindowOpenMode><WindowOpenWidth>" + width +
                "</WindowOpenWidth><WindowOpenHeight>" + height +
                "</WindowOpenHeight></ExeConfig>");
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

class ViewerTest : public ::testing::Test {
 protected:
  // A copy of the viewer carrying book.swf and, when given, ExeConfig.xml.
  std::string Book(const std::optional<std::string>& config, const std::string& name = "book.exe") {
    TRawPackage package;
    package.prefix = ReadBytes(ViewerPath());
    if (config) {
      package.entries = {Directory({{"book.swf", 1}, {"ExeConfig.xml", 2}}), "FWS", *config};
    } else {
      package.entries = {Directory({{"book.swf", 1}}), "FWS"};
    }
    std::string path = dir_.File(name);
    WriteBytes(path, package.Bytes());
    return path;
  }

  TWindowFacts Open(const std::string& book, const std::vector<std::string>& args = {}) {
    TViewerProcess viewer(book, args);
    EXPECT_TRUE(viewer.Started());
    HWND window = viewer.MainWindow();
    EXPECT_NE(window, nullptr);
    return window ? InspectWindow(window) : TWindowFacts{};
  }

  void ExpectDesignTimeWindow(const TWindowFacts& facts, const std::string& caption = "Leafbook") {
    EXPECT_TRUE(SameRect(facts.Rect, kDesignBounds)) << Describe(facts.Rect);
    EXPECT_EQ(facts.Style & kOverlappedWindow, kOverlappedWindow);
    EXPECT_FALSE(facts.Zoomed);
    EXPECT_EQ(facts.Caption, caption);
  }

  TTempDir dir_;
};

TEST_F(ViewerTest, WithoutConfigurationTheDesignTimeWindowOpens) {
  TViewerProcess viewer(Book(std::nullopt), {});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  ExpectDesignTimeWindow(InspectWindow(window));
  // The application takes its title from the caption.
  HWND application = viewer.ApplicationWindow();
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(InspectWindow(application).Caption, "Leafbook");
  EXPECT_EQ(viewer.Close(), 0u);
}

TEST_F(ViewerTest, AViewerWithoutAnyPackageStillOpens) {
  const std::string bare = dir_.File("bare.exe");
  fs::copy_file(ViewerPath(), bare);
  ExpectDesignTimeWindow(Open(bare));
}

TEST_F(ViewerTest, OpenModes) {
  TViewerProcess sized(Book(Settings("Mode One", "1", "800", "600")), {});
  HWND window = sized.MainWindow();
  ASSERT_NE(window, nullptr);
  TWindowFacts facts = InspectWindow(window);
  EXPECT_TRUE(SameRect(facts.Rect, RECT{193, 223, 993, 823})) << Describe(facts.Rect);
  EXPECT_EQ(facts.Caption, "Mode One");
  EXPECT_FALSE(facts.Zoomed);
  EXPECT_EQ(InspectWindow(sized.ApplicationWindow()).Caption, "Mode One");

  facts = Open(Book(Settings("Mode Two", "2", "800", "600"), "two.exe"));
  EXPECT_TRUE(facts.Zoomed);
  EXPECT_EQ(facts.Caption, "Mode Two");
}

TEST_F(ViewerTest, FullScreenFromTheConfigurationIsLeftByEscape) {
  TViewerProcess viewer(Book(Settings("Full", "3", "800", "600")), {});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  TWindowFacts full = InspectWindow(window);
  const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  EXPECT_TRUE(SameRect(full.Rect, screen)) << Describe(full.Rect);
  EXPECT_EQ(full.Style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0u);
  EXPECT_EQ(full.Caption, "Full");

  ASSERT_TRUE(PressKey(window, VK_ESCAPE));
  // The character message is made only when the viewer takes the key down:
  // wait until the window has its caption back, then until it settled.
  for (int i = 0; i < 200 && (InspectWindow(window).Style & WS_CAPTION) == 0; ++i) {
    ::Sleep(50);
  }
  viewer.Settle();
  TWindowFacts restored = InspectWindow(window);
  EXPECT_TRUE(SameRect(restored.Rect, kDesignBounds)) << Describe(restored.Rect);
  EXPECT_EQ(restored.Style & kOverlappedWindow, kOverlappedWindow);
  EXPECT_TRUE(restored.Visible);
  EXPECT_FALSE(restored.Zoomed);
}

TEST_F(ViewerTest, FaultyConfigurationsApplyNothing) {
  const std::pair<const char*, std::string> cases[] = {
      {"no WindowOpenHeight",
       Config("<ExeConfig><ExeCaption>X</ExeCaption><WindowOpenMode>1</WindowOpenMode>"
              "<WindowOpenWidth>800</WindowOpenWidth></ExeConfig>")},
      {"another root name", Config("<Config><ExeCaption>X</ExeCaption></Config>")},
      {"the root in other case",
       Config("<execonfig><ExeCaption>X</ExeCaption><WindowOpenMode>1</WindowOpenMode>"
              "<WindowOpenWidth>800</WindowOpenWidth><WindowOpenHeight>600</WindowOpenHeight>"
              "</execonfig>")},
      {"a comment beside the text", Settings("X<!-- note -->", "1", "800", "600")},
      {"an element inside a setting", Settings("<b>X</b>", "1", "800", "600")},
      {"not XML", "<ExeConfig><ExeCaption>X</ExeCaption>"},
  };
  int i = 0;
  for (const auto& [what, config] : cases) {
    SCOPED_TRACE(what);
    ExpectDesignTimeWindow(Open(Book(config, "faulty" + std::to_string(i++) + ".exe")));
  }
}

TEST_F(ViewerTest, EmptyAndNonNumericValuesTakeTheirDefaults) {
  // An empty mode opens maximised.
  TWindowFacts facts = Open(Book(Settings("Empty mode", "", "1", "1"), "a.exe"));
  EXPECT_TRUE(facts.Zoomed);
  EXPECT_EQ(facts.Caption, "Empty mode");

  // Mode 1 with a width that is no number: 800 wide.
  facts = Open(Book(Settings("Wide", "1", "wide", "500"), "b.exe"));
  EXPECT_TRUE(SameRect(facts.Rect, RECT{193, 223, 993, 723})) << Describe(facts.Rect);

  // Modes 0 and 4 apply the caption and leave the bounds.
  for (const char* mode : {"0", "4"}) {
    ExpectDesignTimeWindow(Open(Book(Settings("Other mode", mode, "800", "600"), "c.exe")),
                           "Other mode");
  }

  // An empty caption names window and application with nothing.
  TViewerProcess viewer(Book(Settings("", "0", "800", "600"), "d.exe"), {});
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(InspectWindow(window).Caption, "");
  EXPECT_EQ(InspectWindow(viewer.ApplicationWindow()).Caption, "");
}

std::vector<std::string> LogLines(const std::string& path) {
  std::string text = ReadBytes(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return lines;
}

TEST_F(ViewerTest, TheLogRecordsStartUp) {
  const std::string book = Book(Settings("Logged", "0", "1", "1"));
  const std::string log = dir_.File("logs/deeper/viewer.log");
  {
    TViewerProcess viewer(book, {"-D", "-F" + log});
    ASSERT_NE(viewer.MainWindow(), nullptr);
  }
  std::vector<std::string> lines = LogLines(log);
  ASSERT_EQ(lines.size(), 3u);
  const std::regex entry(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}: (.*))");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(lines[0], match, entry)) << lines[0];
  EXPECT_EQ(match[1], "ConfigFileName:ExeConfig.xml");
  ASSERT_TRUE(std::regex_match(lines[1], match, entry)) << lines[1];
  EXPECT_EQ(match[1], "Loading book.swf...");
  // The book carries no runtime and the machine has none: the reader is told.
  ASSERT_TRUE(std::regex_match(lines[2], match, entry)) << lines[2];
  EXPECT_EQ(match[1], NoticeText(TNotice::NoRuntime));

  // A second run appends, lower-case switches and either order work too.
  {
    TViewerProcess viewer(book, {"-f" + log, "-debug"});
    ASSERT_NE(viewer.MainWindow(), nullptr);
  }
  EXPECT_EQ(LogLines(log).size(), 6u);
}

TEST_F(ViewerTest, LogSwitches) {
  const std::string book = Book(std::nullopt);
  // A bare name lands in the executable's folder.
  {
    TViewerProcess viewer(book, {"-D", "-Fbare.log"}, (dir_.Path() / "..").string());
    ASSERT_NE(viewer.MainWindow(), nullptr);
  }
  EXPECT_EQ(LogLines(dir_.File("bare.log")).size(), 3u);

  // "-D" alone, "-F" alone, or "-F" with nothing after it: no log anywhere.
  const std::vector<std::vector<std::string>> silent = {{"-D"}, {"-Fsilent.log"}, {"-D", "-F"}};
  for (const auto& args : silent) {
    TViewerProcess viewer(book, args);
    ASSERT_NE(viewer.MainWindow(), nullptr);
  }
  EXPECT_FALSE(fs::exists(dir_.File("silent.log")));
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.Path())) {
    ++files;
  }
  EXPECT_EQ(files, 2u);  // book.exe and bare.log
}

// Pictures of each open mode beside the test executable, for a person to look at.
TEST_F(ViewerTest, ScreenshotsOfEachOpenMode) {
  const fs::path folder = fs::path(platform::ExecutablePath()).parent_path() / "screenshots";
  fs::create_directories(folder);
  const std::pair<const char*, std::string> modes[] = {
      {"no-config", ""},
      {"mode-1", Settings("Mode 1: 800 x 600", "1", "800", "600")},
      {"mode-2", Settings("Mode 2: maximised", "2", "800", "600")},
      {"mode-3", Settings("Mode 3: full screen", "3", "800", "600")},
  };
  for (const auto& [name, config] : modes) {
    TViewerProcess viewer(
        config.empty() ? Book(std::nullopt, "shot.exe") : Book(config, "shot.exe"), {});
    ASSERT_NE(viewer.MainWindow(), nullptr) << name;
    EXPECT_TRUE(SaveScreenPng((folder / (std::string(name) + ".png")).string())) << name;
  }
}

}  // namespace
}  // namespace leafbook::testing
