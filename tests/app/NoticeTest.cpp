// The real leafbook.exe with a book it cannot show, one book for each reason:
// its window opens and says why in words, the log says the same, and the
// viewer closes as ever.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "app/Notices.h"
#include "framework/base/Platform.h"
#include "framework/base/Resources.h"
#include "tests/app/BookFixture.h"
#include "tests/app/ViewerProcess.h"

namespace leafbook::testing {
namespace {

namespace fs = std::filesystem;

constexpr TNotice kEveryNotice[] = {TNotice::NoRuntime,      TNotice::BrokenRuntime,
                                    TNotice::RuntimeRefused, TNotice::DamagedBook,
                                    TNotice::NoMovie,        TNotice::NoBook};

// The client area of window as the screen shows it, row by row.
struct TClientPicture {
  int Width = 0;
  int Height = 0;
  std::vector<COLORREF> Pixels;

  COLORREF At(int x, int y) const { return Pixels[static_cast<size_t>(y * Width + x)]; }
};

TClientPicture PictureOfClient(HWND window) {
  TClientPicture picture;
  RECT client{};
  ::GetClientRect(window, &client);
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  picture.Width = client.right;
  picture.Height = client.bottom;
  if (picture.Width <= 0 || picture.Height <= 0) {
    return picture;
  }
  const TWindowDC screen(nullptr);
  const TOwnedDC memory(::CreateCompatibleDC(screen.Get()));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.Width;
  info.bmiHeader.biHeight = -picture.Height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const TGdiObject<HBITMAP> bitmap(
      ::CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bits) {
    return picture;
  }
  const TSelectedObject selected(memory.Get(), bitmap.Get());
  ::BitBlt(memory.Get(), 0, 0, picture.Width, picture.Height, screen.Get(), origin.x, origin.y,
           SRCCOPY);
  ::GdiFlush();
  const auto* bgra = static_cast<const uint8_t*>(bits);
  picture.Pixels.resize(static_cast<size_t>(picture.Width) * static_cast<size_t>(picture.Height));
  for (size_t i = 0; i < picture.Pixels.size(); ++i) {
    picture.Pixels[i] = RGB(bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i]);
  }
  return picture;
}

// Words on the window's own face: the middle third has pixels of another
// colour, the corners (where no line of a short sentence reaches) are face
// only, so nothing covers the window.
bool ShowsWords(HWND window) {
  const TClientPicture picture = PictureOfClient(window);
  constexpr int kCorner = 12;
  if (picture.Width < 4 * kCorner || picture.Height < 4 * kCorner) {
    return false;
  }
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
  for (int y = 0; y < kCorner; ++y) {
    for (int x = 0; x < kCorner; ++x) {
      for (const auto& [cx, cy] : {std::pair{x, y}, std::pair{picture.Width - 1 - x, y},
                                   std::pair{x, picture.Height - 1 - y},
                                   std::pair{picture.Width - 1 - x, picture.Height - 1 - y}}) {
        if (picture.At(cx, cy) != face) {
          return false;
        }
      }
    }
  }
  int unlike = 0;
  for (int y = picture.Height / 3; y < 2 * picture.Height / 3; ++y) {
    for (int x = 0; x < picture.Width; ++x) {
      unlike += picture.At(x, y) != face ? 1 : 0;
    }
  }
  return unlike >= 50;  // a few letters at least
}

BOOL CALLBACK CountVisible(HWND child, LPARAM counter) {
  if (::IsWindowVisible(child)) {
    ++*reinterpret_cast<int*>(counter);
  }
  return TRUE;
}

// The windows inside window that are on screen (the runtime's, for one).
int VisibleChildren(HWND window) {
  int count = 0;
  ::EnumChildWindows(window, &CountVisible, reinterpret_cast<LPARAM>(&count));
  return count;
}

using Notice = TBookTest;

TEST_F(Notice, ABookThatCannotBeShownSaysWhyInItsWindowAndInTheLog) {
  struct TCase {
    const char* name;  // also the screenshot's
    std::function<std::string()> program;
    TNotice notice;
    const char* failStep = nullptr;  // the stand-in fails there (MINIPLAYER_FAIL)
    const char* logged = nullptr;    // also in the log
  };
  // The pages and their window, with extra files.
  auto pagesWith = [this](const TBookFiles& extra, const std::string& name) {
    TBookFiles files = Pages();
    files.insert(files.end(), extra.begin(), extra.end());
    return Book(files, name);
  };
  // A book as it should be, then one byte changed at fromEnd from its end.
  auto damaged = [this](const std::string& name, size_t fromEnd) {
    const std::string path = Book(PlayingBook(), name);
    std::string bytes = ReadBytes(path);
    bytes[bytes.size() - fromEnd] ^= 0x5A;
    WriteBytes(path, bytes);
    return path;
  };
  const TCase cases[] = {
      {"no-runtime",
       [&] {
         return pagesWith({{"book.swf", Movie()}}, "no-runtime.exe");
       },
       TNotice::NoRuntime},
      {"empty-runtime",
       [&] {
         return pagesWith({{"book.swf", Movie()}, {"flash.ocx", ""}}, "empty-runtime.exe");
       },
       TNotice::BrokenRuntime},
      {"broken-runtime",
       [&] {
         return pagesWith({{"book.swf", Movie()}, {"flash.ocx", "MZ not a module"}},
                          "broken-runtime.exe");
       },
       TNotice::BrokenRuntime},
      {"refused-at-construction", [&] { return Book(PlayingBook(), "refused-1.exe"); },
       TNotice::RuntimeRefused, "IOleObject::SetClientSite"},
      {"refused-in-the-window", [&] { return Book(PlayingBook(), "refused-2.exe"); },
       TNotice::RuntimeRefused, "IOleObject::DoVerb"},
      // Inside the last entry (the runtime), which the digest covers.
      {"failed-digest", [&] { return damaged("digest.exe", 200); }, TNotice::DamagedBook},
      // The check word, the trailer's last byte.
      {"broken-trailer", [&] { return damaged("trailer.exe", 1); }, TNotice::DamagedBook},
      {"damaged-movie-block",
       [&] { return BookWithADamagedBlock(PlayingBook(), "movie-block.exe", "book.swf"); },
       TNotice::DamagedBook, nullptr, "fails its check, read for entry"},
      // Read before the window opens, and before the log is on.
      {"damaged-runtime-block",
       [&] { return BookWithADamagedBlock(PlayingBook(), "runtime-block.exe", "flash.ocx"); },
       TNotice::DamagedBook, nullptr, "[flash.ocx]; nothing more is served from it"},
      // With the runtime inside: its window must not cover the notice.
      {"no-movie",
       [&] {
         return pagesWith({{"flash.ocx", StandIn()}}, "no-movie.exe");
       },
       TNotice::NoMovie},
      {"no-book", [] { return ViewerPath(); }, TNotice::NoBook},
  };
  const fs::path screenshots = fs::path(platform::ExecutablePath()).parent_path() / "screenshots";
  fs::create_directories(screenshots);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(log_);
    std::optional<TScopedVariable> fail;
    if (c.failStep) {
      fail.emplace(L"MINIPLAYER_FAIL", c.failStep);
    }
    TViewerProcess viewer(c.program(), {"-D", "-F" + log_});
    HWND window = viewer.MainWindow();
    ASSERT_NE(window, nullptr) << LogAndTrace();
    viewer.Settle();
    EXPECT_TRUE(WaitFor([&] { return ShowsWords(window); })) << LogAndTrace();
    EXPECT_EQ(VisibleChildren(window), 0);
    SaveScreenPng((screenshots / ("notice-" + std::string(c.name) + ".png")).string());
    EXPECT_EQ(viewer.Close(), 0u);
    if (c.logged) {
      EXPECT_TRUE(Logged(c.logged)) << ReadBytes(log_);
    }
    for (TNotice notice : kEveryNotice) {
      EXPECT_EQ(Logged(NoticeText(notice)), notice == c.notice) << NoticeText(notice) << "\n"
                                                                << ReadBytes(log_);
    }
  }
}

}  // namespace
}  // namespace leafbook::testing
