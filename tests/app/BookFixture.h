// The fixture of the end-to-end tests that play a book: the real viewer with
// a package of coloured pages, a movie that turns through them and the
// stand-in runtime as "flash.ocx", and what the viewer's log and the
// runtime's trace say.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "framework/base/Resources.h"
#include "tests/package/PackageFixture.h"

namespace leafbook::testing {

using TBookFiles = std::vector<std::pair<std::string, std::string>>;

std::string ViewerPath();
// The stand-in runtime's module, as a book carries it.
std::string StandIn();
// Polls done every 50 ms for at most limitMs.
bool WaitFor(const std::function<bool()>& done, int limitMs = 20000);
// How often text occurs in lines.
int Count(const std::string& lines, const std::string& text);

// Page n's colour (from 1): no two of the first twelve alike, none the
// stage's grey or the window's face.
COLORREF PageColour(int page);

// An environment variable for the viewers started while it lives (they
// inherit it); unset again after.
class TScopedVariable {
 public:
  TScopedVariable(const wchar_t* name, const std::string& value);
  ~TScopedVariable();
  TScopedVariable(const TScopedVariable&) = delete;
  TScopedVariable& operator=(const TScopedVariable&) = delete;

 private:
  const wchar_t* name_;
};

class TBookTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A movie of pages frames at 12 frames a second, each loading its page into
  // level 1 and stopping: page 1 by its name, the later ones as
  // "./<folder>/<n>.png" (URLs in UTF-8, as movies from version 6 on write
  // them). With fullscreen, frame 1 also asks for full screen.
  static std::string Movie(int pages = 2, bool fullscreen = false,
                           const std::string& folder = "pages");
  // The viewer with files as its package, written as name into the test's folder.
  std::string Book(const TBookFiles& files, const std::string& name = "book.exe");
  // The same with a block digest table of blocks of blockSize, as leafpack
  // writes large books: checked block by block as the viewer reads them.
  std::string BookWithBlockDigests(const TBookFiles& files, const std::string& name,
                                   int32_t blockSize = 4096);
  // The same, then one byte changed in the middle of the file named damaged:
  // only a read of that file's block can notice.
  std::string BookWithADamagedBlock(const TBookFiles& files, const std::string& name,
                                    const std::string& damaged);
  // The same on another copy of the viewer (one with a book's identity).
  std::string BookOnViewer(const std::string& viewer, const TBookFiles& files,
                           const std::string& name = "book.exe");
  // count pages of 400 x 300 in their colours ("pages/<n>.png"), then
  // ExeConfig.xml: a 600 x 450 window captioned "Sample".
  static TBookFiles Pages(int count = 2);
  // Pages, the movie and the stand-in: a book that plays.
  static TBookFiles PlayingBook(int pages = 2, bool fullscreen = false);
  // Waits for page n in the middle of window.
  static bool Shows(HWND window, int page);

  bool Logged(const std::string& text) { return ReadBytes(log_).find(text) != std::string::npos; }
  bool Traced(const std::string& text) { return ReadBytes(trace_).find(text) != std::string::npos; }
  // What to show when an expectation about the screen fails.
  std::string LogAndTrace() { return ReadBytes(log_) + ReadBytes(trace_); }

  // The pages are made with the system's imaging component.
  TComInitialization com_;
  TTempDir dir_;
  std::string trace_;
  std::string log_ = dir_.File("viewer.log");
};

}  // namespace leafbook::testing
