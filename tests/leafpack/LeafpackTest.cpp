// leafpack driven in process: build, list, verify, extract, their options, and bad input.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#include <sys/resource.h>
#endif

#include <filesystem>
#include <fstream>
#include <sstream>

#include "package/ExeExt.h"
#include "package/PackageAccess.h"
#include "tests/leafpack/LeafpackFixture.h"
#include "tests/package/PackageFixture.h"
#include "tools/leafpack/Commands.h"
#include "tools/leafpack/Console.h"
#include "tools/leafpack/ExeConfigText.h"
#include "tools/leafpack/Leafpack.h"
#include "tools/leafpack/Paths.h"

namespace leafbook::leafpack {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TRawPackage;
using testing::WriteBytes;

using LeafpackTest = TLeafpackTest;

TEST_F(LeafpackTest, WritesTheWorkedLayoutByteForByte) {
  WriteBytes(Book("book.swf"), "FWS\x01\x02");
  for (bool digest : {true, false}) {
    TResult result =
        Build(digest ? std::vector<std::string>{} : std::vector<std::string>{"--no-digest"});
    ASSERT_EQ(result.code, kOk) << result.err;
    TRawPackage expected;
    expected.prefix = "VIEWER-IMAGE";
    expected.entries = {"book.swf=1\r\n", "FWS\x01\x02"};
    expected.digest = digest;
    EXPECT_EQ(ReadBytes(output_), expected.Bytes());
    EXPECT_EQ(OutputFolder(), std::vector<std::string>{"book.exe"});
  }
}

TEST_F(LeafpackTest, StoresIdenticalFilesOnceUnderRelativeNames) {
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(Book("pages/1.jpg"), "SAME-BYTES");
  WriteBytes(Book("pages/deep/2.jpg"), "SAME-BYTES");
  WriteBytes(Book("other.jpg"), "SAME-BYTEZ");  // same size, other bytes
  WriteBytes(Book("ExeConfig.xml"), "<ExeConfig/>");
  ASSERT_EQ(Build().code, kOk);

  TExeExtReader reader(output_);
  EXPECT_EQ(reader.EntryCount(), 5);  // directory + 4 distinct contents
  EXPECT_EQ(reader.ReadEntryText(0),
            "ExeConfig.xml=1\r\nbook.swf=2\r\nother.jpg=3\r\npages/1.jpg=4\r\n"
            "pages/deep/2.jpg=4\r\n");
  auto stream = PackageFileStream("pages/deep/2.jpg", output_);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream->Memory()), 10), "SAME-BYTES");
  EXPECT_EQ(PackageFileIndex("other.jpg", output_), 3);
}

TEST_F(LeafpackTest, ListVerifyAndExtractABuiltBook) {
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(Book("pages/1.jpg"), std::string("J\0PG", 4));
  ASSERT_EQ(Build().code, kOk);

  TResult list = Run({"list", output_});
  ASSERT_EQ(list.code, kOk) << list.err;
  EXPECT_NE(list.out.find("3 entries, digest on"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("       1            5  book.swf\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("       2            4  pages/1.jpg\n"), std::string::npos) << list.out;

  TResult verify = Run({"verify", output_});
  EXPECT_EQ(verify.code, kOk) << verify.err;
  EXPECT_NE(verify.out.find("ok: 3 entries, 2 names, digest verified"), std::string::npos);

  TResult toOut = Run({"extract", output_, "PAGES/1.jpg"});
  EXPECT_EQ(toOut.code, kOk);
  EXPECT_EQ(toOut.out, std::string("J\0PG", 4));
  const std::string extracted = dir_.File("out/1.jpg");
  EXPECT_EQ(Run({"extract", output_, "pages/1.jpg", "-o", extracted}).code, kOk);
  EXPECT_EQ(ReadBytes(extracted), std::string("J\0PG", 4));

  TResult missing = Run({"extract", output_, "pages/2.jpg"});
  EXPECT_EQ(missing.code, kFailed);
  EXPECT_NE(missing.err.find("\"pages/2.jpg\" is not in the package"), std::string::npos);
}

TEST_F(LeafpackTest, VerifySaysWhichCheckFailed) {
  WriteBytes(Book("book.swf"), "MOVIE");
  ASSERT_EQ(Build().code, kOk);
  const std::string good = ReadBytes(output_);
  const size_t data = std::string("VIEWER-IMAGE").size();

  std::string badDigest = good;
  badDigest[data + 2] ^= 1;
  std::string badTrailer = good;
  badTrailer[badTrailer.size() - 1] ^= 1;
  TRawPackage badDirectory;
  badDirectory.entries = {"book.swf=1\r\npage.jpg=7\r\n", "MOVIE"};

  struct TCase {
    const char* what;
    std::string bytes;
    int code;
    const char* says;
  };
  const TCase cases[] = {
      {"intact", good, kOk, ""},
      {"damaged trailer", badTrailer, kNoPackage, "Can not find extent section"},
      {"bare viewer", "VIEWER-IMAGE", kNoPackage, "no book package"},
      {"damaged entry", badDigest, kBadDigest, "Content Valid failed!"},
      {"directory naming a missing entry", badDirectory.Bytes(), kBadDirectory, "\"page.jpg\""},
  };
  for (const TCase& c : cases) {
    const std::string path = dir_.File("check.exe");
    WriteBytes(path, c.bytes);
    TResult result = Run({"verify", path});
    EXPECT_EQ(result.code, c.code) << c.what << ": " << result.err;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << c.what << ": " << result.err;
  }
  TResult absent = Run({"verify", dir_.File("absent.exe")});
  EXPECT_EQ(absent.code, kFailed);
  EXPECT_NE(absent.err.find("no such file"), std::string::npos);
}

TEST_F(LeafpackTest, BadInputFailsClearlyAndLeavesTheOldOutputAlone) {
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(output_, "OLD");

  struct TCase {
    const char* what;
    std::vector<std::string> args;
    int code;
    const char* says;
  };
  const TCase cases[] = {
      {"missing folder",
       {"build", dir_.File("nowhere"), "--viewer", viewer_, "-o", output_},
       kFailed,
       "book folder not found"},
      {"missing viewer",
       {"build", dir_.File("book"), "--viewer", dir_.File("no.exe"), "-o", output_},
       kFailed,
       "viewer not found"},
      {"no output", {"build", dir_.File("book"), "--viewer", viewer_}, kUsage, "build needs"},
      {"unknown option", {"build", dir_.File("book"), "--fast"}, kUsage, "unknown option --fast"},
      {"no command", {}, kUsage, "no command given"},
      {"unknown command", {"pack"}, kUsage, "unknown command \"pack\""},
      {"flag without value", {"extract", output_, "x", "-o"}, kUsage, "--output"},
  };
  for (const TCase& c : cases) {
    TResult result = Run(c.args);
    EXPECT_EQ(result.code, c.code) << c.what;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << c.what << ": " << result.err;
  }

  // A name the directory cannot hold.
  WriteBytes(Book("a=b.png"), "x");
  TResult equals = Build();
  EXPECT_EQ(equals.code, kFailed);
  EXPECT_NE(equals.err.find("\"a=b.png\""), std::string::npos) << equals.err;
  fs::remove(Book("a=b.png"));

  // A file beyond the 32-bit sizes (sparse: nothing is really written).
  {
    std::ofstream(Book("huge.bin")).close();
    fs::resize_file(Book("huge.bin"), (uintmax_t{1} << 31) + 1);
    TResult huge = Build();
    EXPECT_EQ(huge.code, kFailed);
    EXPECT_NE(huge.err.find("too large"), std::string::npos) << huge.err;
    fs::remove(Book("huge.bin"));
  }

  EXPECT_EQ(ReadBytes(output_), "OLD");
  EXPECT_EQ(OutputFolder(), std::vector<std::string>{"book.exe"});

  // An output that cannot be written.
  TResult unwritable = Run({"build", dir_.File("book"), "--viewer", viewer_, "-o",
                            dir_.File("no/such/folder/book.exe")});
  EXPECT_EQ(unwritable.code, kFailed);
  EXPECT_NE(unwritable.err.find("cannot write"), std::string::npos) << unwritable.err;
  EXPECT_FALSE(fs::exists(dir_.File("no")));
}

#ifndef _WIN32
TEST_F(LeafpackTest, NamesTheViewerCouldNotTellApart) {
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(Book("Page.png"), "1");
  WriteBytes(Book("page.png"), "2");
  TResult caseClash = Build();
  EXPECT_EQ(caseClash.code, kFailed);
  EXPECT_NE(caseClash.err.find("differ only in letter case"), std::string::npos) << caseClash.err;
  fs::remove(Book("Page.png"));

  WriteBytes(Book("line\nbreak.png"), "3");
  TResult lineBreak = Build();
  EXPECT_EQ(lineBreak.code, kFailed);
  EXPECT_NE(lineBreak.err.find("CR, LF"), std::string::npos) << lineBreak.err;
}
#endif

TEST_F(LeafpackTest, ALeftoverOfAnInterruptedRunDoesNotConfuseTheNext) {
  // A run killed half-way leaves its temporary beside the output, never the output.
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(output_ + ".leafpack-tmp", "HALF A BOOK");
  ASSERT_EQ(Build().code, kOk);
  EXPECT_EQ(OutputFolder(), std::vector<std::string>{"book.exe"});
  EXPECT_EQ(PackageFileIndex("book.swf", output_), 1);
}

#ifndef _WIN32
TEST_F(LeafpackTest, AFullDiskFailsNamingTheOutputAndLeavesNothingBehind) {
  WriteBytes(Book("book.swf"), std::string(256 * 1024, 'm'));
  WriteBytes(output_, "OLD");
  // A file-size limit stands in for a full device: writes past it fail.
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit limited = previous;
  limited.rlim_cur = 64 * 1024;
  auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  TResult full = Build();
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(full.code, kFailed);
  EXPECT_NE(full.err.find("cannot write \"" + output_ + "\""), std::string::npos) << full.err;
  EXPECT_NE(full.err.find("disk full"), std::string::npos) << full.err;
  EXPECT_EQ(ReadBytes(output_), "OLD");
  EXPECT_EQ(OutputFolder(), std::vector<std::string>{"book.exe"});
}
#endif

#ifndef _WIN32
// Book folders on Linux hold names in UTF-8.
// (Octal escapes in the expected bytes: a hexadecimal one would swallow the letters after it.)
TEST_F(LeafpackTest, NamesAreStoredInTheReadersCodePage) {
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(Book("pag\u00e9.png"), "E");  // "pagé.png", UTF-8 in the folder
  ASSERT_EQ(Build().code, kOk);
  EXPECT_EQ(PackageFileIndex("pag\351.png", output_), 2);  // code page 1252
  EXPECT_EQ(PackageFileIndex("pag\u00e9.png", output_), 0);
  TResult list = Run({"list", output_});
  EXPECT_NE(list.out.find("  pag\u00e9.png\n"), std::string::npos) << list.out;
  TResult extract = Run({"extract", output_, "pag\u00e9.png"});
  EXPECT_EQ(extract.code, kOk) << extract.err;
  EXPECT_EQ(extract.out, "E");

  // Cyrillic has no place in 1252: refused, naming the file and the way out.
  fs::remove(Book("pag\u00e9.png"));
  WriteBytes(Book("\u0441\u0442\u0440.png"), "C");  // "стр.png"
  TResult refused = Build();
  EXPECT_EQ(refused.code, kFailed);
  EXPECT_NE(refused.err.find("\u0441\u0442\u0440.png"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("--code-page"), std::string::npos) << refused.err;
  ASSERT_EQ(Build({"--code-page", "1251"}).code, kOk);
  EXPECT_EQ(PackageFileIndex("\361\362\360.png", output_), 2);
  TResult cyrillic = Run({"list", output_, "--code-page", "1251"});
  EXPECT_NE(cyrillic.out.find("  \u0441\u0442\u0440.png\n"), std::string::npos) << cyrillic.out;

  // A double-byte code page: "ページ.png" in Shift JIS (932).
  fs::remove(Book("\u0441\u0442\u0440.png"));
  WriteBytes(Book("\u30da\u30fc\u30b8.png"), "J");
  ASSERT_EQ(Build({"--code-page", "932"}).code, kOk);
  EXPECT_EQ(PackageFileIndex("\203y\201[\203W.png", output_), 2);

  TResult unknown = Build({"--code-page", "12345"});
  EXPECT_EQ(unknown.code, kUsage);
  EXPECT_NE(unknown.err.find("unknown code page"), std::string::npos) << unknown.err;
}

TEST_F(LeafpackTest, AFileThatCannotBeReadIsNamed) {
  if (::geteuid() == 0) {
    GTEST_SKIP() << "the superuser reads every file";
  }
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(Book("locked.png"), "x");
  fs::permissions(Book("locked.png"), fs::perms::none);
  TResult locked = Build();
  fs::permissions(Book("locked.png"), fs::perms::owner_all);
  EXPECT_EQ(locked.code, kFailed);
  EXPECT_NE(locked.err.find("locked.png"), std::string::npos) << locked.err;
  EXPECT_FALSE(fs::exists(output_));
}

TEST_F(LeafpackTest, ANameThatIsNoTextIsRefused) {
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(Book("bad\xff.png"), "x");  // not UTF-8: no code page can hold it
  TResult refused = Build();
  EXPECT_EQ(refused.code, kFailed);
  EXPECT_NE(refused.err.find("cannot be written in code page 1252"), std::string::npos)
      << refused.err;
}
#endif

TEST_F(LeafpackTest, Warnings) {
  WriteBytes(Book("index.swf"), "MOVIE");
  TResult noMovie = Build();
  EXPECT_EQ(noMovie.code, kOk);
  EXPECT_NE(noMovie.err.find("no \"book.swf\""), std::string::npos) << noMovie.err;

  // A built book given as the viewer already carries a package.
  WriteBytes(Book("book.swf"), "MOVIE");
  TResult again =
      Run({"build", dir_.File("book"), "--viewer", output_, "-o", dir_.File("out/2.exe")});
  EXPECT_EQ(again.code, kOk);
  EXPECT_NE(again.err.find("already carries a book package"), std::string::npos) << again.err;
}

TEST_F(LeafpackTest, AnOutputInsideTheBookFolderIsNotPacked) {
  WriteBytes(Book("book.swf"), "MOVIE");
  const std::string inside = Book("book.exe");
  ASSERT_EQ(Run({"build", dir_.File("book"), "--viewer", viewer_, "-o", inside}).code, kOk);
  ASSERT_EQ(Run({"build", dir_.File("book"), "--viewer", viewer_, "-o", inside}).code, kOk);
  EXPECT_EQ(PackageFileIndex("book.exe", inside), 0);
  EXPECT_EQ(TExeExtReader(inside).EntryCount(), 2);
}

TEST_F(LeafpackTest, HelpListsTheCommands) {
  TResult help = Run({"--help"});
  EXPECT_EQ(help.code, kOk);
  for (const char* command : {"build", "list", "verify", "extract", "--no-digest"}) {
    EXPECT_NE(help.out.find(command), std::string::npos) << command;
  }
}

TEST_F(LeafpackTest, HelpOnEveryCommandPrintsItsUsage) {
  const std::vector<std::vector<std::string>> asks = {{"--help"},       {"-h"},
                                                      {"help"},         {"build", "--help"},
                                                      {"build", "-h"},  {"list", "--help"},
                                                      {"verify", "-h"}, {"extract", "--help"}};
  for (const auto& args : asks) {
    TResult help = Run(args);
    EXPECT_EQ(help.code, kOk) << args.back();
    EXPECT_NE(help.out.find("Usage:"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
  }
  TResult build = Run({"build", "--help"});
  // The blank before --block-digests tells it from --no-block-digests.
  for (const char* option :
       {"--viewer", "--output", "--no-digest", " --block-digests", "--no-block-digests",
        "--code-page", "--quiet", "--icon", "--file-version", "--product-version", "--product-name",
        "--company", "--description", "--copyright", "--caption", "--open-mode", "--width",
        "--height"}) {
    EXPECT_NE(build.out.find(option), std::string::npos) << option;
  }
}

TEST_F(LeafpackTest, WrongArgumentsExitWithUsageStatusAndAHint) {
  WriteBytes(Book("book.swf"), "MOVIE");
  struct TCase {
    std::vector<std::string> extra;  // after a complete build command line
    const char* says;
  };
  const TCase cases[] = {
      {{"--file-version", "1.2.x"}, "--file-version: \"1.2.x\""},
      {{"--product-version", "one"}, "--product-version: \"one\""},
      {{"--width", "0"}, "--width: \"0\""},
      {{"--width", "-5"}, "--width"},
      {{"--height", "tall"}, "--height: \"tall\""},
      {{"--height", "40000"}, "--height: \"40000\""},
      {{"--open-mode", "sideways"}, "--open-mode: \"sideways\""},
      {{"--code-page", "latin"}, "unknown code page \"latin\""},
      {{"--caption", "two\nlines"}, "--caption"},
      {{"--caption", "bad\xff"}, "not UTF-8"},
      {{"--company", "a\tb"}, "--company"},
      {{"--viewer"}, "--viewer"},
      {{"extra"}, "unexpected argument \"extra\""},
      {{"--no-digest", "--block-digests"}, "--block-digests needs the digest"},
      {{"--block-digests", "--no-block-digests"}, "contradict each other"},
  };
  for (const TCase& c : cases) {
    TResult result = Build(c.extra);
    EXPECT_EQ(result.code, kUsage) << c.says << ": " << result.err;
    EXPECT_EQ(result.err.rfind("leafpack: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.says), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("leafpack build --help"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Usage:"), std::string::npos) << "no usage dump: " << result.err;
    EXPECT_FALSE(fs::exists(output_));
  }
  const std::vector<std::vector<std::string>> readers = {
      {"list", output_, "--quiet"},
      {"list"},
      {"verify", output_, "more"},
      {"extract", output_},
      {"extract", output_, "x", "--code-page", "0"}};
  for (const auto& args : readers) {
    TResult result = Run(args);
    EXPECT_EQ(result.code, kUsage) << args[0] << ": " << result.err;
    EXPECT_NE(result.err.find("leafpack " + args[0] + " --help"), std::string::npos) << result.err;
  }
}

TEST_F(LeafpackTest, IdentityOptionsReachTheBookIdentity) {
  std::ostringstream help;
  TCommandLine line = ParseCommandLine(
      {"build", "folder", "--viewer", "leafbook.exe", "-o", "dir/Caf\u00e9 Book.exe", "--icon",
       "a.png", "--icon", "b.png", "--product-name", "Caf\u00e9 <Book>", "--company", "Leaf & Co",
       "--description", "A book", "--copyright", "\u00a9 2026"},
      help);
  ASSERT_EQ(line.Command, TCommand::Build);
  const TBookIdentity& identity = line.Build.Identity;
  EXPECT_EQ(identity.IconFiles, (std::vector<std::string>{"a.png", "b.png"}));
  EXPECT_EQ(identity.ProductName, "Caf\u00e9 <Book>");
  EXPECT_EQ(identity.CompanyName, "Leaf & Co");
  EXPECT_EQ(identity.FileDescription, "A book");
  EXPECT_EQ(identity.LegalCopyright, "\u00a9 2026");
  EXPECT_EQ(identity.OriginalFilename, "Caf\u00e9 Book.exe");
  EXPECT_FALSE(line.Build.Window);

  // A version number reaches the identity exactly when the parser takes it.
  std::vector<std::string> versioned = {
      "build",          "f",       "--viewer",          "v",  "-o", "b.exe",
      "--file-version", "1.2.3.4", "--product-version", "2.1"};
  if (const auto version = ParseVersionNumber("1.2.3.4")) {
    TCommandLine withVersion = ParseCommandLine(versioned, help);
    EXPECT_EQ(withVersion.Build.Identity.FileVersion, version);
    EXPECT_EQ(withVersion.Build.Identity.ProductVersion, ParseVersionNumber("2.1"));
  } else {
    EXPECT_EQ(Run(versioned).code, kUsage);
  }
}

TEST_F(LeafpackTest, IdentityNeedsAWindowsProgramAndLeavesNothingOnFailure) {
  WriteBytes(Book("book.swf"), "MOVIE");
  TResult notProgram = Build({"--product-name", "Book"});
  EXPECT_EQ(notProgram.code, kFailed);
  EXPECT_NE(notProgram.err.find("is not a Windows program"), std::string::npos) << notProgram.err;
  EXPECT_NE(notProgram.err.find(viewer_), std::string::npos) << notProgram.err;

  TResult noIcon = Build({"--icon", dir_.File("absent.ico")});
  EXPECT_EQ(noIcon.code, kFailed);
  EXPECT_NE(noIcon.err.find("icon file not found"), std::string::npos) << noIcon.err;

  // Headers that look like a program but are none: the identity's own error.
  std::string fake(0x100, '\0');
  fake[0] = 'M';
  fake[1] = 'Z';
  fake[0x3c] = '\x80';
  fake.replace(0x80, 4, std::string("PE\0\0", 4));
  WriteBytes(viewer_, fake);
  TResult broken = Build({"--company", "Leaf"});
  EXPECT_EQ(broken.code, kFailed) << broken.err;
  EXPECT_EQ(broken.err.rfind("leafpack: ", 0), 0u) << broken.err;
  EXPECT_EQ(OutputFolder(), std::vector<std::string>{});
}

TEST_F(LeafpackTest, WindowOptionsWriteExeConfig) {
  WriteBytes(Book("book.swf"), "MOVIE");
  struct TCase {
    std::vector<std::string> options;
    TWindowSettings expected;
  };
  const TCase cases[] = {
      {{"--caption", "A <&> \"quoted\" 'book' \u00e9"},
       {"A <&> \"quoted\" 'book' \u00e9", TOpenMode::Maximized, 800, 600}},
      {{"--width", "1024"}, {"book", TOpenMode::Size, 1024, 600}},
      {{"--height", "700", "--caption", "H"}, {"H", TOpenMode::Size, 800, 700}},
      {{"--open-mode", "fullscreen"}, {"book", TOpenMode::FullScreen, 800, 600}},
      {{"--open-mode", "3"}, {"book", TOpenMode::FullScreen, 800, 600}},
      {{"--open-mode", "maximized", "--width", "640"}, {"book", TOpenMode::Maximized, 640, 600}},
      {{"--open-mode", "1"}, {"book", TOpenMode::Size, 800, 600}},
  };
  for (const TCase& c : cases) {
    ASSERT_EQ(Build(c.options).code, kOk) << c.options[0];
    auto stream = PackageFileStream("execonfig.xml", NarrowFileName(output_));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream->Memory()),
                          static_cast<size_t>(stream->Size())),
              ExeConfigText(c.expected));
  }
  EXPECT_EQ(ExeConfigText({"a<&>\"'b", TOpenMode::Size, 1024, 768}),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<ExeConfig>\r\n"
            "  <ExeCaption>a&lt;&amp;&gt;&quot;&apos;b</ExeCaption>\r\n"
            "  <WindowOpenMode>1</WindowOpenMode>\r\n"
            "  <WindowOpenWidth>1024</WindowOpenWidth>\r\n"
            "  <WindowOpenHeight>768</WindowOpenHeight>\r\n</ExeConfig>\r\n");

  // Without window options the folder's files are all there is.
  ASSERT_EQ(Build().code, kOk);
  EXPECT_EQ(PackageFileIndex("ExeConfig.xml", NarrowFileName(output_)), 0);

  // The folder's own settings are not silently replaced.
  WriteBytes(Book("exeCONFIG.xml"), "<ExeConfig/>");
  TResult clash = Build({"--caption", "Mine"});
  EXPECT_EQ(clash.code, kFailed);
  EXPECT_NE(clash.err.find("exeCONFIG.xml"), std::string::npos) << clash.err;
  EXPECT_NE(clash.err.find("remove it"), std::string::npos) << clash.err;
}

TEST_F(LeafpackTest, ACaptionOutsideTheCodePageIsWarnedAbout) {
  WriteBytes(Book("book.swf"), "MOVIE");
  TResult result = Build({"--caption", "\u043a\u043d\u0438\u0433\u0430"});
  EXPECT_EQ(result.code, kOk);
  EXPECT_NE(result.err.find("caption has characters code page 1252 lacks"), std::string::npos)
      << result.err;
}

TEST_F(LeafpackTest, ProgressLineSaysBytesTotalAndRate) {
  EXPECT_EQ(ProgressText(12 << 20, 40 << 20, 12.0 / 85.3),
            "leafpack: 12.0 MiB of 40.0 MiB (30%), 85.3 MiB/s");
  EXPECT_EQ(ProgressText(0, 40 << 20, 0), "leafpack: 0.0 MiB of 40.0 MiB (0%)");

  using namespace std::chrono_literals;
  auto now = std::chrono::steady_clock::time_point{};
  std::ostringstream err;
  {
    TProgressLine line(err, true, 40 << 20, [&] { return now; });
    now += 1s;
    line.Update(10 << 20);
    now += 50ms;
    line.Update(11 << 20);  // too soon: not drawn
    EXPECT_EQ(err.str(), "\rleafpack: 10.0 MiB of 40.0 MiB (25%), 10.0 MiB/s");
    now += 50ms;
    line.Update(12 << 20);
    now += 300ms;
    line.Update(20 << 20);
  }
  EXPECT_EQ(err.str(),
            "\rleafpack: 10.0 MiB of 40.0 MiB (25%), 10.0 MiB/s"
            "\rleafpack: 12.0 MiB of 40.0 MiB (30%), 10.9 MiB/s"
            "\rleafpack: 20.0 MiB of 40.0 MiB (50%), 14.3 MiB/s"
            "\rleafpack: 20.0 MiB of 40.0 MiB (50%), 14.3 MiB/s\n");

  std::ostringstream small;
  {
    TProgressLine line(small, true, kProgressThreshold, [&] { return now; });
    line.Update(kProgressThreshold);
  }
  EXPECT_EQ(small.str(), "");
}

TEST_F(LeafpackTest, ProgressOnlyOnATerminalAndNeverWhenQuiet) {
  WriteBytes(Book("book.swf"), std::string(5 << 20, 'm'));
  for (bool quiet : {false, true}) {
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> args = {"build", dir_.File("book"), "--viewer", viewer_, "-o",
                                     output_};
    if (quiet) {
      args.push_back("--quiet");
    }
    ASSERT_EQ(leafpack::Run(args, TConsole{out, err, true}), kOk);
    if (quiet) {
      EXPECT_EQ(out.str(), "");
      EXPECT_EQ(err.str(), "");
    } else {
      EXPECT_NE(out.str().find("leafpack: wrote"), std::string::npos);
      EXPECT_NE(err.str().find("(100%)"), std::string::npos) << err.str();
      EXPECT_EQ(err.str().back(), '\n');
    }
  }
  TResult notTerminal = Build();
  EXPECT_EQ(notTerminal.err, "");

  TResult verifyQuiet = Run({"verify", output_, "-q"});
  EXPECT_EQ(verifyQuiet.code, kOk);
  EXPECT_EQ(verifyQuiet.out, "");
  // verify reads the whole book as build writes it: the same line, on a terminal only.
  TResult verifyShown = Run({"verify", output_}, true);
  EXPECT_EQ(verifyShown.code, kOk) << verifyShown.err;
  EXPECT_NE(verifyShown.out.find(": ok: "), std::string::npos) << verifyShown.out;
  EXPECT_NE(verifyShown.err.find("(100%)"), std::string::npos) << verifyShown.err;
  EXPECT_EQ(verifyShown.err.back(), '\n');
  TResult verifyQuietShown = Run({"verify", output_, "-q"}, true);
  EXPECT_EQ(verifyQuietShown.code, kOk);
  EXPECT_EQ(verifyQuietShown.out + verifyQuietShown.err, "");
  // The line is ended before the verdict, which starts a line of its own.
  std::string damaged = ReadBytes(output_);
  damaged[damaged.size() / 2] ^= 1;
  WriteBytes(output_, damaged);
  TResult verifyDamaged = Run({"verify", output_}, true);
  EXPECT_EQ(verifyDamaged.code, kBadDigest);
  EXPECT_NE(verifyDamaged.err.find("(100%)"), std::string::npos) << verifyDamaged.err;
  EXPECT_NE(verifyDamaged.err.find("\nleafpack: " + output_ + ": the package's content"),
            std::string::npos)
      << verifyDamaged.err;
  // Quiet silences success only.
  WriteBytes(dir_.File("bare.exe"), "VIEWER-IMAGE");
  TResult failure = Run({"verify", dir_.File("bare.exe"), "--quiet"});
  EXPECT_EQ(failure.code, kNoPackage);
  EXPECT_NE(failure.err.find("no book package"), std::string::npos);
}

TEST_F(LeafpackTest, ListAndVerifySayWhetherTheBookIsSigned) {
  WriteBytes(Book("book.swf"), "MOVIE");
  ASSERT_EQ(Build().code, kOk);
  TResult list = Run({"list", output_});
  EXPECT_NE(list.out.find(": 2 entries, digest on, not signed\n"), std::string::npos) << list.out;
  TResult verify = Run({"verify", output_});
  EXPECT_NE(verify.out.find("digest verified, not signed\n"), std::string::npos) << verify.out;
  // A book as signing leaves it (published-book.sh signs a real one).
  const std::string signedBook = dir_.File("out/signed.exe");
  testing::TSignedImage image;
  image.padding = 3;
  WriteBytes(signedBook, image.Bytes());
  const std::string signature =
      ", signed (leafpack does not check the signature: osslsigncode verify or signtool verify "
      "does)\n";
  list = Run({"list", signedBook});
  EXPECT_NE(list.out.find(": 2 entries, digest on" + signature), std::string::npos) << list.out;
  verify = Run({"verify", signedBook});
  EXPECT_EQ(verify.code, kOk);
  EXPECT_NE(verify.out.find("digest verified" + signature), std::string::npos) << verify.out;
}

TEST_F(LeafpackTest, AMissingOutputFolderIsNamed) {
  WriteBytes(Book("book.swf"), "MOVIE");
  TResult result =
      Run({"build", dir_.File("book"), "--viewer", viewer_, "-o", dir_.File("none/book.exe")});
  EXPECT_EQ(result.code, kFailed);
  EXPECT_NE(result.err.find("does not exist; create it first"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(dir_.File("none")));
}

#ifdef _WIN32
TEST_F(LeafpackTest, WindowsPathsWithDriveLettersAndBackslashes) {
  WriteBytes(Book("book.swf"), "MOVIE");
  WriteBytes(Book("pages/1.jpg"), "PAGE");
  const std::string folder = Utf8FromPath((dir_.Path() / "book").make_preferred());
  const std::string output = Utf8FromPath((dir_.Path() / "out" / "book.exe").make_preferred());
  ASSERT_EQ(folder[1], ':') << folder;
  ASSERT_NE(folder.find('\\'), std::string::npos) << folder;
  TResult build = Run({"build", folder + "\\", "--viewer", viewer_, "-o", output});
  ASSERT_EQ(build.code, kOk) << build.err;
  EXPECT_EQ(PackageFileIndex("pages/1.jpg", output), 2);
  EXPECT_EQ(Run({"verify", output}).code, kOk);
  const std::string extracted = Utf8FromPath((dir_.Path() / "out" / "1.jpg").make_preferred());
  EXPECT_EQ(Run({"extract", output, "pages/1.jpg", "-o", extracted}).code, kOk);
  EXPECT_EQ(ReadBytes(extracted), "PAGE");
}

// A book folder on Windows: the names arrive in UTF-16 and are stored in the
// readers' code page, where the package access functions find them.
TEST_F(LeafpackTest, WindowsNamesAreStoredInTheReadersCodePage) {
  const fs::path book = dir_.Path() / "book";
  WriteBytes(book / "book.swf", "MOVIE");
  WriteBytes(book / u8"pag\u00e9.png", "E");
  WriteBytes(book / u8"\u00fcber" / u8"gr\u00fcn.png", "U");
  ASSERT_EQ(Build().code, kOk);
  EXPECT_EQ(PackageFileIndex("pag\351.png", output_), 2);
  EXPECT_EQ(PackageFileIndex("\374ber/gr\374n.png", output_), 3);
  TResult extract = Run({"extract", output_, "\u00fcber/gr\u00fcn.png"});
  EXPECT_EQ(extract.code, kOk) << extract.err;
  EXPECT_EQ(extract.out, "U");
  TResult list = Run({"list", output_});
  EXPECT_NE(list.out.find("  pag\u00e9.png\n"), std::string::npos) << list.out;
}

TEST_F(LeafpackTest, WindowsFoldersWithNamesOutsideAscii) {
  const fs::path book = dir_.Path() / u8"B\u00fccher \u00e9t\u00e9";
  const fs::path outFolder = dir_.Path() / u8"\u043a\u043d\u0438\u0433\u0438";  // "книги"
  WriteBytes(book / "book.swf", "MOVIE");
  fs::create_directories(outFolder);
  const fs::path output = outFolder / u8"\u00e9t\u00e9.exe";
  TResult build = Run({"build", Utf8FromPath(book), "--viewer", viewer_, "-o", Utf8FromPath(output),
                       "--caption", "\u00e9t\u00e9"});
  ASSERT_EQ(build.code, kOk) << build.err;
  EXPECT_NE(ReadBytes(output).find("book.swf=2"), std::string::npos);
  // The readers that take narrow names get a short name where the code page falls short.
  TResult verify = Run({"verify", Utf8FromPath(output)});
  EXPECT_EQ(verify.code, kOk) << verify.err;
  TResult list = Run({"list", Utf8FromPath(output)});
  EXPECT_NE(list.out.find("  ExeConfig.xml\n"), std::string::npos) << list.out;
}

// The program itself: its arguments come from the UTF-16 command line, so a
// name outside the ANSI code page survives.
TEST_F(LeafpackTest, TheProgramTakesUnicodeArguments) {
  const fs::path book = dir_.Path() / u8"\u043a\u043d\u0438\u0433\u0430";  // "книга"
  WriteBytes(book / "book.swf", "MOVIE");
  const fs::path program = fs::path(LEAFPACK_EXE).make_preferred();
  const std::wstring command = L"\"" + program.wstring() + L"\" build \"" + book.wstring() +
                               L"\" --viewer \"" + fs::path(viewer_).wstring() + L"\" -o \"" +
                               fs::path(output_).wstring() + L"\" --caption \"Caf\u00e9\" -q";
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
      << ::GetLastError();
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 99;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);
  auto config = PackageFileStream("ExeConfig.xml", output_);
  ASSERT_NE(config, nullptr);
  const std::string text(reinterpret_cast<const char*>(config->Memory()),
                         static_cast<size_t>(config->Size()));
  EXPECT_NE(text.find("<ExeCaption>Caf\u00e9</ExeCaption>"), std::string::npos) << text;
}
#endif

}  // namespace
}  // namespace leafbook::leafpack
