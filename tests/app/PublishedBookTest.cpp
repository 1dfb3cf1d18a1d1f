// The Windows side of a published book (tests/app/published-book.sh builds it
// with leafpack.exe, signs it and names it in LEAFBOOK_PUBLISHED_BOOK): its
// version details and icon as Explorer reads them, and the book playing.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "framework/base/Handle.h"
#include "tests/app/ViewerProcess.h"

namespace leafbook::testing {
namespace {

// What published-book.sh gives leafpack.
constexpr wchar_t kCompany[] = L"\u00C9ditions \u00C9t\u00E9";
constexpr wchar_t kCopyright[] = L"\u00A9 2026 \u00C9ditions \u00C9t\u00E9";
constexpr char kCaption[] = "Herbier illustr\xE9";  // in the ANSI code page, 1252

class PublishedBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("LEAFBOOK_PUBLISHED_BOOK");
    if (!path) {
      GTEST_SKIP() << "run by tests/app/published-book.sh, which makes the book";
    }
    book_ = path;
    wideBook_.assign(book_.begin(), book_.end());  // the script's paths are ASCII
  }

  std::wstring VersionString(const std::vector<BYTE>& info, const std::wstring& name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\040904B0\\" + name;
    if (!::VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
        !value) {
      return L"<none>";
    }
    return std::wstring(value, length > 0 ? length - 1 : 0);
  }

  std::string book_;
  std::wstring wideBook_;
};

TEST_F(PublishedBookTest, VersionDetailsReadBack) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(wideBook_.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(::GetFileVersionInfoW(wideBook_.c_str(), 0, size, info.data()));
  EXPECT_EQ(VersionString(info, L"CompanyName"), kCompany);
  EXPECT_EQ(VersionString(info, L"LegalCopyright"), kCopyright);
  EXPECT_EQ(VersionString(info, L"ProductName"), L"Herbier");
  EXPECT_EQ(VersionString(info, L"FileDescription"), L"Un herbier en images");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (2u << 16) | 1u);
  EXPECT_EQ(fixed->dwFileVersionLS, 7u);
  EXPECT_EQ(fixed->dwProductVersionMS, (2u << 16) | 1u);
}

TEST_F(PublishedBookTest, TheBooksIconIsExtracted) {
  EXPECT_EQ(::ExtractIconExW(wideBook_.c_str(), -1, nullptr, nullptr, 0), 1u);
  HICON large = nullptr;
  ASSERT_EQ(::ExtractIconExW(wideBook_.c_str(), 0, &large, nullptr, 1), 1u);
  ASSERT_NE(large, nullptr);
  ICONINFO icon{};
  ASSERT_TRUE(::GetIconInfo(large, &icon));
  BITMAP colour{};
  ::GetObjectW(icon.hbmColor, sizeof colour, &colour);
  EXPECT_EQ(colour.bmWidth, 32);  // the system's large icon size, from the 32-pixel image
  // The book's green, not the viewer's own icon.
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HGDIOBJ old = ::SelectObject(memory, icon.hbmColor);
  const COLORREF middle = ::GetPixel(memory, 16, 16);
  ::SelectObject(memory, old);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(middle, RGB(40, 140, 60));
  ::DeleteObject(icon.hbmColor);
  ::DeleteObject(icon.hbmMask);
  ::DestroyIcon(large);
}

TEST_F(PublishedBookTest, TheSignedBookPlaysInTheConfiguredWindow) {
  TViewerProcess viewer(book_, {});
  ASSERT_TRUE(viewer.Started());
  HWND window = viewer.MainWindow();
  ASSERT_NE(window, nullptr);
  const TWindowFacts facts = InspectWindow(window);
  EXPECT_EQ(facts.Caption, kCaption);
  EXPECT_EQ(facts.Rect.right - facts.Rect.left, 900);
  EXPECT_EQ(facts.Rect.bottom - facts.Rect.top, 700);
  // The first page replaces the window's own colour once the movie plays.
  COLORREF centre = ::GetSysColor(COLOR_BTNFACE);
  for (int i = 0; i < 500 && centre == ::GetSysColor(COLOR_BTNFACE); ++i) {
    ::Sleep(20);
    centre = ClientCentre(window);
  }
  EXPECT_NE(centre, ::GetSysColor(COLOR_BTNFACE)) << "no page drawn";
}

}  // namespace
}  // namespace leafbook::testing
