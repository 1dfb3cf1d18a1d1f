// The lookup lists of the replaced system functions.
#include <gtest/gtest.h>

#include "content/Maps.h"

namespace leafbook {
namespace {

TEST(MapString2String, KeysAreFoundWithoutRegardToCase) {
  TMapString2String map;
  map.Add(L"Abc", L"1");
  map.Add(L"ABC", L"2");
  EXPECT_EQ(map.Count(), 1u);
  std::wstring value = L"untouched";
  ASSERT_TRUE(map.Find(L"abc", value));
  EXPECT_EQ(value, L"2");
  value = L"untouched";
  EXPECT_FALSE(map.Find(L"abcd", value));
  EXPECT_EQ(value, L"untouched");
}

TEST(MapCardinal2Cardinal, AddAppendsAndFindGivesTheFirst) {
  TMapCardinal2Cardinal map;
  map.Add(5, 1);
  map.Add(5, 2);
  EXPECT_EQ(map.Count(), 2u);
  uint32_t value = 77;
  ASSERT_TRUE(map.Find(5, value));
  EXPECT_EQ(value, 1u);
  value = 77;
  EXPECT_FALSE(map.Find(6, value));
  EXPECT_EQ(value, 77u);
}

}  // namespace
}  // namespace leafbook
