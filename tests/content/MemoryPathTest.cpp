// In-memory paths: their form, and recognising their folder in any text.
#include <gtest/gtest.h>

#include "content/MemoryPath.h"

namespace leafbook::testing {
namespace {

const std::wstring kMarker(kMemoryFolderMarker);

TEST(MemoryPathTest, FormatsTheFolderIdInDecimal) {
  EXPECT_EQ(FormatMemoryPath(1),
            L"Z:\\FromMemory\\46A10F369771449587DE913EFC0A258C\\1\\"
            L"E4ED7C01D28A43418DBF2CB92CC35E56.swf");
  EXPECT_EQ(FormatMemoryPath(1234).find(L"\\1234\\"), 14u + kMarker.size());
}

TEST(MemoryPathTest, ThePlaceholderIsTheMarkerWithoutItsLastDigit) {
  EXPECT_EQ(kPlaceholderUrl.size(), 38u);
  EXPECT_EQ(std::wstring(kPlaceholderUrl), L"file://" + kMarker.substr(0, 31));
}

struct TParseCase {
  const char* name;
  std::wstring text;
  bool parses;
  uint32_t id;
  std::wstring relative;
};

class ParseMemoryPathTest : public ::testing::TestWithParam<TParseCase> {};

TEST_P(ParseMemoryPathTest, FindsFolderAndRelativePath) {
  const TParseCase& c = GetParam();
  uint32_t id = 99;
  std::wstring relative = L"untouched";
  EXPECT_EQ(ParseMemoryPath(c.text, id, relative), c.parses);
  if (c.parses) {
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(relative, c.relative);
  } else {
    EXPECT_EQ(id, 99u);
    EXPECT_EQ(relative, L"untouched");
  }
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') {
      c = static_cast<wchar_t>(c - L'A' + L'a');
    }
  }
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseMemoryPathTest,
    ::testing::Values(
        TParseCase{"FileUrlWithForwardSlashes",
                   L"file:///Z:/FromMemory/" + kMarker + L"/12/img/a.png", true, 12, L"img/a.png"},
        TParseCase{"Backslashes", L"Z:\\FromMemory\\" + kMarker + L"\\12\\img\\a.png", true, 12,
                   L"img/a.png"},
        TParseCase{"TheMovieItself", FormatMemoryPath(1), true, 1, std::wstring(kMemoryMovieName)},
        TParseCase{"AnythingBeforeTheMarker", L"http://host/a/" + kMarker + L"/3/deep/er/x.png",
                   true, 3, L"deep/er/x.png"},
        TParseCase{"EmptyRelativePath", L"Z:/" + kMarker + L"/7/", true, 7, L""},
        TParseCase{"LeadingSlashKept", L"Z:/" + kMarker + L"/3//a", true, 3, L"/a"},
        TParseCase{"AnyCharacterAfterTheMarkerIsSkipped", kMarker + L"X5/a", true, 5, L"a"},
        TParseCase{"FirstMarkerCounts", kMarker + L"/4/" + kMarker + L"/5/b", true, 4,
                   kMarker + L"/5/b"},
        TParseCase{"LeadingZeros", kMarker + L"/007/a", true, 7, L"a"},
        TParseCase{"LargestId", kMarker + L"/2147483647/a", true, 2147483647u, L"a"},
        TParseCase{"EndsAfterTheMarker", L"Z:/" + kMarker, false, 0, L""},
        TParseCase{"EndsAfterTheSeparator", L"Z:/" + kMarker + L"/", false, 0, L""},
        TParseCase{"NoSlashAfterTheId", L"Z:/" + kMarker + L"/7", false, 0, L""},
        TParseCase{"Placeholder", std::wstring(kPlaceholderUrl), false, 0, L""},
        TParseCase{"LowerCaseMarker", Lower(FormatMemoryPath(1)), false, 0, L""},
        TParseCase{"NonNumericId", kMarker + L"/x1/a.png", false, 0, L""},
        TParseCase{"HexId", kMarker + L"/$1F/a.png", false, 0, L""},
        TParseCase{"SignedId", kMarker + L"/+7/a.png", false, 0, L""},
        TParseCase{"NegativeId", kMarker + L"/-7/a.png", false, 0, L""},
        TParseCase{"SpaceInId", kMarker + L"/ 7/a.png", false, 0, L""},
        TParseCase{"EmptyId", kMarker + L"//a.png", false, 0, L""},
        TParseCase{"IdTooLarge", kMarker + L"/2147483648/a", false, 0, L""},
        TParseCase{"IdFarTooLarge", kMarker + L"/99999999999999999999999/a", false, 0, L""},
        TParseCase{"Empty", L"", false, 0, L""}),
    [](const ::testing::TestParamInfo<TParseCase>& info) { return info.param.name; });

}  // namespace
}  // namespace leafbook::testing
