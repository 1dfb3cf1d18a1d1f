// Resolving a movie's relative URLs and choosing the route of each URL.
#include <gtest/gtest.h>

#include "miniplayer/MovieUrl.h"

namespace leafbook::miniplayer {
namespace {

TEST(MovieUrl, Resolve) {
  struct TCase {
    const wchar_t* base;
    const wchar_t* rel;
    const wchar_t* expected;
  };
  const TCase cases[] = {
      {L"Z:\\FromMemory\\M\\1\\book.swf", L"pages/1.jpg", L"Z:\\FromMemory\\M\\1\\pages/1.jpg"},
      {L"C:\\books\\book.swf", L"..\\x.swf", L"C:\\books\\..\\x.swf"},
      {L"C:\\books\\book.swf", L"/root.swf", L"C:/root.swf"},
      {L"C:\\books\\book.swf", L"D:\\other.swf", L"D:\\other.swf"},
      {L"file:///C:/books/book.swf", L"p/2.png", L"file:///C:/books/p/2.png"},
      {L"http://host/a/b.swf?x=/y", L"c.jpg", L"http://host/a/c.jpg"},
      {L"http://host/a/b.swf", L"/c.jpg", L"http://host/c.jpg"},
      {L"http://host/a/b.swf", L"https://else/d.jpg", L"https://else/d.jpg"},
      {L"book.swf", L"pages/1.jpg", L"pages/1.jpg"},
      {L"", L"pages/1.jpg", L"pages/1.jpg"},
      {L"\\\\server\\share\\b.swf", L"x.jpg", L"\\\\server\\share\\x.jpg"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Resolve(c.base, c.rel), c.expected) << std::wstring(c.base) << L" + " << c.rel;
  }
}

TEST(MovieUrl, Route) {
  EXPECT_EQ(RouteOf(L"C:\\a.swf"), TRoute::File);
  EXPECT_EQ(RouteOf(L"z:/a.swf"), TRoute::File);
  EXPECT_EQ(RouteOf(L"\\\\server\\a.swf"), TRoute::File);
  EXPECT_EQ(RouteOf(L"file:///C:/a.swf"), TRoute::Moniker);
  EXPECT_EQ(RouteOf(L"file://46A10F369771449587DE913EFC0A258"), TRoute::Moniker);
  EXPECT_EQ(RouteOf(L"http://host/a.swf"), TRoute::Moniker);
  EXPECT_EQ(RouteOf(L"pages/1.jpg"), TRoute::Moniker);
}

TEST(MovieUrl, Targets) {
  EXPECT_EQ(LevelOfTarget(L"_level0"), 0);
  EXPECT_EQ(LevelOfTarget(L"_LEVEL12"), 12);
  EXPECT_FALSE(LevelOfTarget(L"_level").has_value());
  EXPECT_FALSE(LevelOfTarget(L"_level1x").has_value());
  EXPECT_FALSE(LevelOfTarget(L"_level99999").has_value());
  EXPECT_FALSE(LevelOfTarget(L"_blank").has_value());
  EXPECT_EQ(FsCommandOf(L"FSCommand:fullscreen"), L"fullscreen");
  EXPECT_EQ(FsCommandOf(L"fscommand:quit"), L"quit");
  EXPECT_FALSE(FsCommandOf(L"http://x").has_value());
}

}  // namespace
}  // namespace leafbook::miniplayer
