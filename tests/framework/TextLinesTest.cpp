// Line splitting as a string list reads a text.
#include <gtest/gtest.h>

#include "framework/base/TextLines.h"

namespace leafbook {
namespace {

TEST(TextLines, SplitsLinesLikeAStringList) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\n\rb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines(std::string("a\r\nb\0c\r\nd", 9)), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
}

}  // namespace
}  // namespace leafbook
