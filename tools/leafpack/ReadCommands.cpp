// leafpack list, verify and extract: reading a built book's package.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "package/BlockDigests.h"
#include "package/ExeExt.h"
#include "package/PackageCheck.h"
#include "package/PackageDirectory.h"
#include "tools/leafpack/CodePage.h"
#include "tools/leafpack/Commands.h"
#include "tools/leafpack/Console.h"
#include "tools/leafpack/Paths.h"

namespace leafbook::leafpack {

namespace fs = std::filesystem;

namespace {

// A name of the directory for the console (UTF-8); as stored when it does not convert.
std::string ForConsole(const std::string& name, int codePage) {
  return ToUtf8(name, codePage).value_or(name);
}

platform::TFileHandle OpenBook(const std::string& book) {
  const fs::path path = PathFromUtf8(book);
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    Fail(kFailed, "no such file: " + Quote(book));
  }
  platform::TFileHandle handle = platform::OpenPathShared(path, platform::TFileMode::OpenRead);
  if (!handle) {
    Fail(kFailed, "cannot read " + Quote(book) + ": " + platform::LastErrorText());
  }
  return handle;
}

// Runs read, turning what a damaged package raises into leafpack's failures.
template <typename TRead>
auto Checked(const std::string& book, TRead read) {
  try {
    return read();
  } catch (const EPackageNotFound& error) {
    Fail(kNoPackage,
         book + ": no book package found, or its trailer is damaged (" + error.Message() + ")");
  } catch (const EPackageBlockDigest& error) {
    Fail(kBadDigest, book + ": " + error.Message() + ": the book is damaged");
  } catch (const EPackageDigest& error) {
    Fail(kBadDigest,
         book + ": the package's content does not match its digest (" + error.Message() + ")");
  } catch (const Exception& error) {
    Fail(kFailed, book + ": " + error.Message());
  }
}

void CheckHasEntries(const std::string& book, int32_t entryCount) {
  if (entryCount == 0) {
    Fail(kBadDirectory, book + ": the package holds no entries, not even its directory");
  }
}

TExeExtReader OpenPackage(const std::string& book) {
  const fs::path path = PathFromUtf8(book);
  OpenBook(book);
  TExeExtReader reader = Checked(book, [&] { return TExeExtReader(NarrowFileName(path)); });
  CheckHasEntries(book, reader.EntryCount());
  return reader;
}

// The block size of the book's block digest table, 0 when it has none.
int64_t BlockSizeOf(const std::string& book) {
  THandleStream file(OpenBook(book));
  return Checked(book, [&] {
    const std::optional<TBlockTable> table =
        FindBlockTable(file, ReadPackageLayout(file, TDigestCheck::Later));
    return table ? static_cast<int64_t>(table->BlockSize) : 0;
  });
}

// The entries a bad block holds bytes of, and the first name of each.
std::string EntriesInBlock(const TPackageCheck& check, int64_t block,
                           const std::vector<TDirectoryLine>& directory, int codePage) {
  const TBlockTable& table = *check.Table;
  const int64_t start = table.BlockStart(block);
  const int64_t end = start + table.BlockLength(block);
  std::string text;
  int64_t offset = 0;
  for (int32_t i = 0; i < check.Layout.EntryCount && offset < end; ++i) {
    const int64_t size = check.Layout.EntrySizes[static_cast<size_t>(i)];
    if (size > 0 && offset + size > start) {
      const auto named = std::find_if(directory.begin(), directory.end(),
                                      [i](const TDirectoryLine& line) { return line.Index == i; });
      // Appended piece by piece: GCC 12 at -O3 reports a prepend by
      // operator+ here as an overlapping copy (a false -Wrestrict).
      text += text.empty() ? "entry " : ", entry ";
      text += std::to_string(i);
      if (i == 0) {
        text += " (the directory)";
      } else if (named != directory.end()) {
        text += ' ';
        text += Quote(ForConsole(named->Name, codePage));
      }
    }
    offset += size;
  }
  return text;
}

// What list and verify say of an Authenticode signature.
std::string SignatureText(bool isSigned) {
  return isSigned ? "signed (leafpack does not check the signature: osslsigncode verify or "
                    "signtool verify does)"
                  : "not signed";
}

}  // namespace

int List(const TReadOptions& options, TConsole& console) {
  TExeExtReader reader = OpenPackage(options.Book);
  // Found before the header is written: a damaged table fails without half a line.
  const int64_t blockSize = BlockSizeOf(options.Book);
  console.out << options.Book << ": " << reader.EntryCount() << " entries, digest "
              << (reader.HasDigest() ? "on" : "off") << BlockDigestsText(blockSize) << ", "
              << SignatureText(reader.Signed()) << "\n";
  char line[64];
  std::snprintf(line, sizeof line, "%8s %12s  %s\n", "index", "size", "name");
  console.out << line;
  for (const TDirectoryLine& named : DirectoryLines(reader.ReadEntryText(0))) {
    const int32_t index = named.Index;
    std::string size = index > 0 && index < reader.EntryCount()
                           ? std::to_string(reader.EntrySizes()[static_cast<size_t>(index)])
                           : "-";
    std::snprintf(line, sizeof line, "%8d %12s  ", index, size.c_str());
    console.out << line << ForConsole(named.Name, options.CodePage) << "\n";
  }
  return kOk;
}

int Verify(const TReadOptions& options, TConsole& console) {
  const std::string& book = options.Book;
  THandleStream file(OpenBook(book));
  const TPackageCheck check = Checked(book, [&] {
    const TPackageLayout layout = ReadPackageLayout(file, TDigestCheck::Later);
    // The check reads the data region only: a total of the whole file would
    // leave the line short of 100% by the viewer's size.
    TProgressLine progress(console.err, console.progress && !options.Quiet, layout.RegionLength);
    return CheckPackage(file, layout, [&](int64_t done) { progress.Update(done); });
  });
  const TPackageLayout& layout = check.Layout;
  CheckHasEntries(book, layout.EntryCount);
  const std::vector<TDirectoryLine> names = DirectoryLines(Checked(book, [&] {
    std::string text(static_cast<size_t>(layout.EntrySizes[0]), '\0');
    file.SetPosition(layout.DataOffset);
    file.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
    return text;
  }));
  if (!check.BadBlocks.empty()) {
    const int64_t block = check.BadBlocks.front();
    const size_t more = check.BadBlocks.size() - 1;
    const std::string others = more == 0   ? ""
                               : more == 1 ? "; and 1 more block fails"
                                           : "; and " + std::to_string(more) + " more blocks fail";
    Fail(kBadDigest, book + ": " + BlockFailureText(*check.Table, block) + ", in " +
                         EntriesInBlock(check, block, names, options.CodePage) + others +
                         ": the book is damaged");
  }
  if (!check.DigestMatches) {
    Fail(kBadDigest, book + ": the package's content does not match its digest (" +
                         EPackageDigest().Message() + ")");
  }
  for (const TDirectoryLine& line : names) {
    if (line.Index <= 0 || line.Index >= layout.EntryCount) {
      Fail(kBadDirectory, book + ": directory line " + std::to_string(line.Number) + " gives " +
                              Quote(line.Name) + " the entry " + Quote(line.Value) +
                              ", which the package does not hold");
    }
  }
  if (!options.Quiet) {
    console.out << book << ": ok: " << layout.EntryCount << " entries, " << names.size()
                << " names, "
                << (layout.DigestFlag ? "digest verified" : "no digest stored (content unchecked)")
                << BlockDigestsText(check.Table ? check.Table->BlockSize : 0) << ", "
                << SignatureText(layout.Signed) << "\n";
  }
  return kOk;
}

int Extract(const TReadOptions& options, TConsole& console) {
  const std::string& name = options.Name;
  TExeExtReader reader = OpenPackage(options.Book);
  const std::optional<std::string> stored = FromUtf8(name, options.CodePage);
  int32_t index = stored ? LookupDirectory(reader.ReadEntryText(0), *stored) : 0;
  if (index == 0) {
    Fail(kFailed, Quote(name) + " is not in the package (leafpack list shows what is)");
  }
  if (index < 0 || index >= reader.EntryCount()) {
    Fail(kBadDirectory, "the directory gives " + Quote(name) + " the entry " +
                            std::to_string(index) + ", which the package does not hold");
  }
  if (options.Output) {
    TPendingOutput pending(PathFromUtf8(*options.Output));
    reader.ReadEntry(index, pending.Stream());
    pending.Commit();
  } else {
    TMemoryStream bytes;
    reader.ReadEntry(index, bytes);
    console.out.write(reinterpret_cast<const char*>(bytes.Memory()),
                      static_cast<std::streamsize>(bytes.Size()));
  }
  return kOk;
}

}  // namespace leafbook::leafpack
