// The stream family: memory, string and file streams.
#include <gtest/gtest.h>

#include <cstring>

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

TEST(MemoryStream, RoomForAProducerGrowsTheSizeButNotThePosition) {
  TStringStream stream("abcd");
  stream.SetPosition(2);
  std::memcpy(stream.Room(4), "WXYZ", 4);  // over the end
  EXPECT_EQ(stream.DataString(), "abWXYZ");
  EXPECT_EQ(stream.GetPosition(), 2);
  std::memcpy(stream.Room(1), "c", 1);  // inside: the size stays
  EXPECT_EQ(stream.DataString(), "abcXYZ");
  stream.SetPosition(8);  // past the end: the gap reads as zeros
  std::memcpy(stream.Room(1), "!", 1);
  EXPECT_EQ(stream.DataString(), std::string("abcXYZ\0\0!", 9));
  EXPECT_NE(stream.Room(0), nullptr);
  EXPECT_THROW(stream.Room(-1), EStreamError);
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

TEST_F(FileStreamTest, APositionedReadReadsAtItsOffsetWhateverThePosition) {
  testing::WriteBytes(File("data.bin"), "0123456789");
  TFileStream file(File("data.bin"), platform::TFileMode::OpenRead);
  file.SetPosition(1);
  char bytes[4] = {};
  EXPECT_EQ(platform::ReadFileAt(file.Handle(), 6, bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "6789");
  EXPECT_EQ(platform::ReadFileAt(file.Handle(), 8, bytes, 4), 2);
  EXPECT_EQ(platform::ReadFileAt(file.Handle(), 20, bytes, 4), 0);
  EXPECT_EQ(platform::ReadFileAt(file.Handle(), 0, bytes, 1), 1);
  EXPECT_EQ(bytes[0], '0');
}

TEST_F(FileStreamTest, AFilesIdentityChangesWithItsContentAndNotOtherwise) {
  testing::WriteBytes(File("a.bin"), "first");
  testing::WriteBytes(File("b.bin"), "first");
  platform::TFileIdentity a, again, b, opened;
  ASSERT_TRUE(platform::FileIdentityOf(File("a.bin"), a));
  ASSERT_TRUE(platform::FileIdentityOf(File("a.bin"), again));
  ASSERT_TRUE(platform::FileIdentityOf(File("b.bin"), b));
  EXPECT_EQ(a, again);
  EXPECT_NE(a, b);  // same size and bytes, another file
  {
    TFileStream file(File("a.bin"), platform::TFileMode::OpenRead);
    ASSERT_TRUE(platform::FileIdentityOf(file.Handle(), opened));
    EXPECT_EQ(opened, a);
  }
  testing::WriteBytes(File("a.bin"), "second!");
  ASSERT_TRUE(platform::FileIdentityOf(File("a.bin"), again));
  EXPECT_NE(a, again);
  EXPECT_EQ(again.Size, 7);

  platform::TFileIdentity none;
  EXPECT_FALSE(platform::FileIdentityOf(File("absent.bin"), none));
  EXPECT_FALSE(platform::FileIdentityOf(dir_.Path().string(), none));
}

TEST(Platform, AnsiSameTextFoldsCase) {
  EXPECT_TRUE(platform::AnsiSameText("Book.SWF", "book.swf"));
  EXPECT_FALSE(platform::AnsiSameText("book.swf", "book.sw"));
  EXPECT_FALSE(platform::AnsiSameText("a", "b"));
  EXPECT_TRUE(platform::AnsiSameText("", ""));
}

}  // namespace
}  // namespace leafbook
