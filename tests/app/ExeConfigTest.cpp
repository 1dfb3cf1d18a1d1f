// TExeConfigInfo over MSXML: what a file gives, and which files are refused.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include "app/ExeConfigInfo.h"
#include "framework/base/Exceptions.h"
#include "tools/leafpack/ExeConfigText.h"

namespace leafbook {
namespace {

class ExeConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { ::CoUninitialize(); }

  static TExeConfigInfo Load(const std::string& bytes) {
    TStringStream stream(bytes);
    stream.Seek(0, TSeekOrigin::End);  // parsed from the beginning whatever the position
    TExeConfigInfo config;
    config.LoadFromStream(stream);
    return config;
  }
};

TEST_F(ExeConfigTest, ReadsTheFourSettings) {
  TExeConfigInfo config = Load(
      "<?xml version=\"1.0\"?>\n<ExeConfig version=\"2\">\n  <Other>ignored</Other>\n"
      "  <ExeCaption>My Book</ExeCaption>\n  <WindowOpenMode>1</WindowOpenMode>\n"
      "  <WindowOpenWidth> 1024 </WindowOpenWidth>\n  <WindowOpenHeight>-5</WindowOpenHeight>\n"
      "  <ExeCaption>second, not used</ExeCaption>\n</ExeConfig>\n");
  EXPECT_EQ(config.Caption, "My Book");
  EXPECT_EQ(config.OpenMode, 1);
  EXPECT_EQ(config.OpenWidth, 1024);
  EXPECT_EQ(config.OpenHeight, -5);
}

TEST_F(ExeConfigTest, EmptyOrNonNumericValuesGiveTheDefaults) {
  TExeConfigInfo config = Load(
      "<ExeConfig><ExeCaption/><WindowOpenMode></WindowOpenMode><WindowOpenWidth>wide"
      "</WindowOpenWidth><WindowOpenHeight>0x20</WindowOpenHeight></ExeConfig>");
  EXPECT_EQ(config.Caption, "");
  EXPECT_EQ(config.OpenMode, 2);
  EXPECT_EQ(config.OpenWidth, 800);
  EXPECT_EQ(config.OpenHeight, 600);
}

TEST_F(ExeConfigTest, TheEncodingComesFromTheDeclarationOrTheByteOrderMark) {
  const std::string settings =
      "<WindowOpenMode>3</WindowOpenMode><WindowOpenWidth>1</WindowOpenWidth>"
      "<WindowOpenHeight>1</WindowOpenHeight></ExeConfig>";
  // Latin-1 declared; the caption arrives in the ANSI code page.
  TExeConfigInfo latin = Load(
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><ExeConfig>"
      "<ExeCaption>Caf\xe9</ExeCaption>" +
      settings);
  // UTF-8 of the same text.
  TExeConfigInfo utf8 = Load(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><ExeConfig>"
      "<ExeCaption>Caf\xc3\xa9</ExeCaption>" +
      settings);
  // UTF-16 with its byte-order mark.
  std::string ascii = "<ExeConfig><ExeCaption>Wide</ExeCaption>" + settings;
  std::string utf16 = "\xff\xfe";
  for (char c : ascii) {
    utf16 += c;
    utf16 += '\0';
  }
  TExeConfigInfo wide = Load(utf16);
  if (::GetACP() == 1252) {
    EXPECT_EQ(latin.Caption, "Caf\xe9");
    EXPECT_EQ(utf8.Caption, "Caf\xe9");
  }
  EXPECT_EQ(wide.Caption, "Wide");
  EXPECT_EQ(wide.OpenMode, 3);
}

TEST_F(ExeConfigTest, CharacterDataCountsAsText) {
  TExeConfigInfo config = Load(
      "<ExeConfig><ExeCaption><![CDATA[<Book & Co>]]></ExeCaption><WindowOpenMode>2"
      "</WindowOpenMode><WindowOpenWidth>1</WindowOpenWidth><WindowOpenHeight>1"
      "</WindowOpenHeight></ExeConfig>");
  EXPECT_EQ(config.Caption, "<Book & Co>");
}

TEST_F(ExeConfigTest, FaultyFilesRaise) {
  const std::string tail =
      "<WindowOpenMode>1</WindowOpenMode><WindowOpenWidth>1</WindowOpenWidth>"
      "<WindowOpenHeight>1</WindowOpenHeight>";
  const std::pair<const char*, std::string> cases[] = {
      {"empty stream", ""},
      {"not XML", "ExeConfig"},
      {"unclosed", "<ExeConfig><ExeCaption>x</ExeCaption>"},
      {"other root", "<Config><ExeCaption>x</ExeCaption>" + tail + "</Config>"},
      {"root in other case", "<execonfig><ExeCaption>x</ExeCaption>" + tail + "</execonfig>"},
      {"setting in other case", "<ExeConfig><exeCaption>x</exeCaption>" + tail + "</ExeConfig>"},
      {"missing height",
       "<ExeConfig><ExeCaption>x</ExeCaption><WindowOpenMode>1</WindowOpenMode>"
       "<WindowOpenWidth>1</WindowOpenWidth></ExeConfig>"},
      {"setting nested deeper",
       "<ExeConfig><Group><ExeCaption>x</ExeCaption>" + tail + "</Group></ExeConfig>"},
      {"comment beside text",
       "<ExeConfig><ExeCaption>x<!--c--></ExeCaption>" + tail + "</ExeConfig>"},
      {"child element", "<ExeConfig><ExeCaption><b>x</b></ExeCaption>" + tail + "</ExeConfig>"},
      {"external entity",
       "<!DOCTYPE ExeConfig [<!ENTITY e SYSTEM \"file:///C:/windows/win.ini\">]>"
       "<ExeConfig><ExeCaption>&e;</ExeCaption>" +
           tail + "</ExeConfig>"},
  };
  for (const auto& [what, xml] : cases) {
    EXPECT_THROW(Load(xml), Exception) << what;
  }
}

TEST(SettingToInt, Syntax) {
  const std::pair<const wchar_t*, int32_t> cases[] = {
      {L"12", 12},
      {L" 12 ", 12},
      {L"+7", 7},
      {L"-7", -7},
      {L"", 99},
      {L" ", 99},
      {L"1 2", 99},
      {L"0x10", 99},
      {L"2147483647", 2147483647},
      {L"2147483648", 99},
      {L"-2147483648", INT32_MIN},
      {L"12px", 99},
  };
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(SettingToInt(text, 99), value)
        << '"' << std::string(text, text + wcslen(text)) << '"';
  }
}

// What leafpack writes for --caption, --open-mode, --width and --height is
// what the viewer reads: all four settings, the caption's special characters
// intact, its letters in the ANSI code page.
TEST_F(ExeConfigTest, ReadsWhatLeafpackWrites) {
  const std::string special = "<&>\"' caf\u00e9 \u00fcber";
  for (auto mode : {leafpack::TOpenMode::Size, leafpack::TOpenMode::Maximized,
                    leafpack::TOpenMode::FullScreen}) {
    TExeConfigInfo config = Load(leafpack::ExeConfigText({special, mode, 1024, 700}));
    if (::GetACP() == 1252) {
      EXPECT_EQ(config.Caption, "<&>\"' caf\351 \374ber");
    }
    EXPECT_EQ(config.OpenMode, static_cast<int32_t>(mode));
    EXPECT_EQ(config.OpenWidth, 1024);
    EXPECT_EQ(config.OpenHeight, 700);
  }
  EXPECT_EQ(Load(leafpack::ExeConfigText({"", leafpack::TOpenMode::Size, 1, 1})).Caption, "");
}

}  // namespace
}  // namespace leafbook
