// The stream family: memory, string and file streams.
#include <gtest/gtest.h>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "tests/package/PackageFixture.h"

namespace leafbook {
namespace {

TEST(MemoryStream, ReadWriteSeekAndSize) {
  TMemoryStream stream;
  stream.WriteBuffer("hello", 5);
  EXPECT_EQ(stream.GetSize(), 5);
  EXPECT_EQ(stream.GetPosition(), 5);
  EXPECT_EQ(stream.Seek(-2, TSeekOrigin::End), 3);
  char two[2];
  stream.ReadBuffer(two, 2);
  EXPECT_EQ(std::string(two, 2), "lo");
  EXPECT_EQ(stream.Read(two, 2), 0);  // at the end
  EXPECT_THROW(stream.ReadBuffer(two, 1), EReadError);

  // Writing past the end fills the gap with zeros.
  stream.Seek(2, TSeekOrigin::Current);
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(stream.GetSize(), 8);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 8),
            std::string("hello\0\0!", 8));
  EXPECT_THROW(stream.Seek(-1, TSeekOrigin::Beginning), EStreamError);

  stream.SetSize(2);
  EXPECT_EQ(stream.GetPosition(), 2);
  stream.SetSize(4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 4),
            std::string("he\0\0", 4));
  stream.Clear();
  EXPECT_EQ(stream.GetSize(), 0);
}

TEST(MemoryStream, ManySmallWritesKeepEveryByte) {
  TMemoryStream stream;
  for (int i = 0; i < 100000; ++i) {
    auto byte = static_cast<uint8_t>(i);
    stream.WriteBuffer(&byte, 1);
  }
  ASSERT_EQ(stream.GetSize(), 100000);
  for (int i = 0; i < 100000; i += 9973) {
    EXPECT_EQ(stream.Memory()[i], static_cast<uint8_t>(i));
  }
}

TEST(StringStream, StartsAtZeroAndGivesItsData) {
  TStringStream stream(std::string("a\0b", 3));
  EXPECT_EQ(stream.GetPosition(), 0);
  EXPECT_EQ(stream.DataString(), std::string("a\0b", 3));
  TStringStream copy;
  EXPECT_EQ(copy.CopyFrom(stream, 3, 2), 3);
  EXPECT_EQ(copy.DataString(), std::string("a\0b", 3));
  EXPECT_THROW(copy.CopyFrom(stream, 1), EReadError);
}

class FileStreamTest : public ::testing::Test {
 protected:
  std::string File(const char* name) { return dir_.File(name); }
  testing::TTempDir dir_;
};

TEST_F(FileStreamTest, CreatesWritesAndReadsBack) {
  {
    TFileStream out(File("a.bin"), platform::TFileMode::Create);
    out.WriteBuffer("0123456789", 10);
    out.SetSize(6);
    EXPECT_EQ(out.GetSize(), 6);
  }
  TFileStream in(File("a.bin"), platform::TFileMode::OpenRead);
  EXPECT_EQ(in.GetSize(), 6);
  EXPECT_EQ(in.Seek(-2, TSeekOrigin::End), 4);
  char two[3] = {};
  in.ReadBuffer(two, 2);
  EXPECT_STREQ(two, "45");
  EXPECT_THROW(in.ReadBuffer(two, 1), EReadError);
  EXPECT_THROW(in.WriteBuffer("x", 1), EWriteError);
}

TEST_F(FileStreamTest, SharesTheFileWithOtherReadersAndWriters) {
  TFileStream writer(File("shared.bin"), platform::TFileMode::Create);
  writer.WriteBuffer("abc", 3);
  TFileStream reader(File("shared.bin"), platform::TFileMode::OpenRead);
  TFileStream second(File("shared.bin"), platform::TFileMode::OpenReadWrite);
  char text[4] = {};
  reader.ReadBuffer(text, 3);
  EXPECT_STREQ(text, "abc");
}

TEST_F(FileStreamTest, AMissingFileRaisesWithItsName) {
  try {
    TFileStream in(File("absent.bin"), platform::TFileMode::OpenRead);
    FAIL();
  } catch (const EFOpenError& error) {
    EXPECT_NE(error.Message().find("absent.bin"), std::string::npos) << error.Message();
  }
  EXPECT_THROW(TFileStream(dir_.Path().string(), platform::TFileMode::OpenRead), EFOpenError);
  EXPECT_FALSE(platform::FileExists(dir_.Path().string()));
  EXPECT_FALSE(platform::FileExists(File("absent.bin")));
}

TEST(Platform, ExecutablePathNamesThisProgram) {
  std::string path = platform::ExecutablePath();
  EXPECT_TRUE(platform::FileExists(path)) << path;
  EXPECT_NE(path.find("framework_tests"), std::string::npos) << path;
}

TEST(Platform, AnsiSameTextFoldsCase) {
  EXPECT_TRUE(platform::AnsiSameText("Book.SWF", "book.swf"));
  EXPECT_FALSE(platform::AnsiSameText("book.swf", "book.sw"));
  EXPECT_FALSE(platform::AnsiSameText("a", "b"));
  EXPECT_TRUE(platform::AnsiSameText("", ""));
}

}  // namespace
}  // namespace leafbook
