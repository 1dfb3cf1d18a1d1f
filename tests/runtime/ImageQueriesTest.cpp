// The resource and version queries on an image mapped by TDLLLoader: cursor
// group and cursor, menu, string names, the language fallback order and the
// product version.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/base/Streams.h"
#include "runtime/DLLLoader.h"
#include "runtime/ImageQueries.h"
#include "tests/runtime/ImageFixtures.h"

namespace leafbook::testing {
namespace {

constexpr uint16_t RtCursor = 1, RtMenu = 4, RtData = 10, RtGroupCursor = 12, RtVersion = 16;
constexpr uint32_t German = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
constexpr uint32_t French = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
constexpr uint32_t UsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::unique_ptr<TDLLLoader> LoadFixture(const std::string& name) {
  auto loader = std::make_unique<TDLLLoader>();
  TFileStream file(FixturePath(name), platform::TFileMode::OpenRead);
  loader->LoadFromStream(file);
  return loader;
}

// The thread locale, put back when the test ends.
class TThreadLocale {
 public:
  explicit TThreadLocale(uint32_t language) : saved_(::GetThreadLocale()) {
    ::SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
  }
  ~TThreadLocale() { ::SetThreadLocale(saved_); }

 private:
  LCID saved_;
};

class ImageQueries : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { resources_ = LoadFixture("fx_resources.dll"); }
  static void TearDownTestSuite() { resources_.reset(); }

  static const void* Base() { return resources_->ModuleBase(); }

  static std::string Text(uint16_t type, const char* name) {
    const void* data = nullptr;
    uint32_t size = 0;
    if (!FindImageResource(Base(), type, name, data, size)) {
      return "(none)";
    }
    return std::string(static_cast<const char*>(data));
  }
  static std::string TextIn(uint16_t type, const char* name, uint32_t language) {
    const void* data = nullptr;
    uint32_t size = 0;
    if (!FindImageResourceForLanguage(Base(), type, name, language, data, size)) {
      return "(none)";
    }
    return std::string(static_cast<const char*>(data));
  }

  static std::unique_ptr<TDLLLoader> resources_;
};
std::unique_ptr<TDLLLoader> ImageQueries::resources_;

TEST_F(ImageQueries, CursorGroupLeadsToAUsableCursor) {
  const void* group = nullptr;
  uint32_t groupSize = 0;
  ASSERT_TRUE(FindImageResource(Base(), RtGroupCursor, MAKEINTRESOURCEA(1), group, groupSize));
  int id = ::LookupIconIdFromDirectory(static_cast<PBYTE>(const_cast<void*>(group)), FALSE);
  ASSERT_NE(id, 0);
  const void* cursor = nullptr;
  uint32_t cursorSize = 0;
  ASSERT_TRUE(FindImageResource(Base(), RtCursor, MAKEINTRESOURCEA(id), cursor, cursorSize));
  HICON handle = ::CreateIconFromResource(static_cast<PBYTE>(const_cast<void*>(cursor)), cursorSize,
                                          FALSE, 0x00030000);
  ASSERT_NE(handle, nullptr);
  ::DestroyCursor(handle);
}

TEST_F(ImageQueries, MenuLoadsFromItsTemplate) {
  const void* data = nullptr;
  uint32_t size = 0;
  ASSERT_TRUE(FindImageResource(Base(), RtMenu, MAKEINTRESOURCEA(1), data, size));
  HMENU menu = ::LoadMenuIndirectA(data);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(::GetMenuItemCount(::GetSubMenu(menu, 0)), 2);
  ::DestroyMenu(menu);
}

TEST_F(ImageQueries, StringNamesMatchCaseSensitively) {
  const void* data = nullptr;
  uint32_t size = 0;
  EXPECT_TRUE(FindImageResource(Base(), RtGroupCursor, "ARROW", data, size));
  EXPECT_FALSE(FindImageResource(Base(), RtGroupCursor, "Arrow", data, size));
  EXPECT_FALSE(FindImageResource(Base(), RtGroupCursor, "arrow", data, size));
  EXPECT_FALSE(FindImageResource(Base(), RtGroupCursor, "ARROWS", data, size));
}

TEST_F(ImageQueries, LanguagesAreTriedInTheFixedOrder) {
  auto languages = ImageResourceLanguages();
  EXPECT_EQ(languages[0], ::GetThreadLocale());
  EXPECT_EQ(languages[1], ::GetSystemDefaultLCID());
  EXPECT_EQ(languages[2], ::GetUserDefaultLCID());
  EXPECT_EQ(languages[3], 0u);
  EXPECT_EQ(languages[4], UsEnglish);
}

TEST_F(ImageQueries, ThreadLanguageComesFirst) {
  TThreadLocale german(German);
  EXPECT_EQ(Text(RtData, MAKEINTRESOURCEA(102)), "Deutsch");
}

TEST_F(ImageQueries, NeutralAndUsEnglishAreFoundLast) {
  TThreadLocale french(French);
  EXPECT_EQ(Text(RtData, MAKEINTRESOURCEA(100)), "neutral only");
  EXPECT_EQ(Text(RtData, MAKEINTRESOURCEA(101)), "U.S. English only");
  EXPECT_EQ(Text(RtData, MAKEINTRESOURCEA(999)), "(none)");
  // 102 exists in German, neutral and U.S. English: with a French thread the
  // first language of the list that has a variant wins.
  std::string expected;
  for (uint32_t language : ImageResourceLanguages()) {
    uint32_t primary = language & 0xFFFF;
    expected = primary == German      ? "Deutsch"
               : primary == 0         ? "neutral"
               : primary == UsEnglish ? "U.S. English"
                                      : "";
    if (!expected.empty()) {
      break;
    }
  }
  EXPECT_EQ(Text(RtData, MAKEINTRESOURCEA(102)), expected);
}

TEST_F(ImageQueries, ForOneLanguageOnly) {
  EXPECT_EQ(TextIn(RtData, MAKEINTRESOURCEA(101), 0), "(none)");
  EXPECT_EQ(TextIn(RtData, MAKEINTRESOURCEA(101), UsEnglish), "U.S. English only");
  EXPECT_EQ(TextIn(RtData, MAKEINTRESOURCEA(102), 0), "neutral");
  EXPECT_EQ(TextIn(RtData, MAKEINTRESOURCEA(102), MAKELCID(German, SORT_DEFAULT)), "Deutsch");
  EXPECT_EQ(TextIn(RtVersion, MAKEINTRESOURCEA(2), UsEnglish), "(none)");
}

TEST_F(ImageQueries, ProductVersionIsPacked) {
  EXPECT_EQ(GetImageProductVersion(Base()), 0x09001C00u);
  auto plain = LoadFixture("fx_reloc.dll");
  EXPECT_EQ(GetImageProductVersion(plain->ModuleBase()), 0u);
  EXPECT_EQ(GetImageProductVersion(nullptr), 0u);
}

}  // namespace
}  // namespace leafbook::testing
