// leafpack list, verify and extract: reading a built book's package.
#include <cstdio>
#include <filesystem>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "framework/base/TextLines.h"
#include "package/ExeExt.h"
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

TExeExtReader OpenPackage(const std::string& book) {
  const fs::path path = PathFromUtf8(book);
  std::error_code error;
  if (!fs::is_regular_file(path, error)) {
    Fail(kFailed, "no such file: " + Quote(book));
  }
  if (!platform::OpenPathShared(path, platform::TFileMode::OpenRead)) {
    Fail(kFailed, "cannot read " + Quote(book) + ": " + platform::LastErrorText());
  }
  try {
    TExeExtReader reader(NarrowFileName(path));
    if (reader.EntryCount() == 0) {
      Fail(kBadDirectory, book + ": the package holds no entries, not even its directory");
    }
    return reader;
  } catch (const EPackageNotFound& error) {
    Fail(kNoPackage,
         book + ": no book package found, or its trailer is damaged (" + error.Message() + ")");
  } catch (const EPackageDigest& error) {
    Fail(kBadDigest,
         book + ": the package's content does not match its digest (" + error.Message() + ")");
  } catch (const Exception& error) {
    Fail(kFailed, book + ": " + error.Message());
  }
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
  console.out << options.Book << ": " << reader.EntryCount() << " entries, digest "
              << (reader.HasDigest() ? "on" : "off") << ", " << SignatureText(reader.Signed())
              << "\n";
  char line[64];
  std::snprintf(line, sizeof line, "%8s %12s  %s\n", "index", "size", "name");
  console.out << line;
  for (const std::string& text : SplitLines(reader.ReadEntryText(0))) {
    size_t equals = text.find('=');
    if (equals == std::string::npos) {
      continue;
    }
    int32_t index = DirectoryValueToIndex(std::string_view(text).substr(equals + 1));
    std::string size = index > 0 && index < reader.EntryCount()
                           ? std::to_string(reader.EntrySizes()[static_cast<size_t>(index)])
                           : "-";
    std::snprintf(line, sizeof line, "%8d %12s  ", index, size.c_str());
    console.out << line << ForConsole(text.substr(0, equals), options.CodePage) << "\n";
  }
  return kOk;
}

int Verify(const TReadOptions& options, TConsole& console) {
  const std::string& book = options.Book;
  TExeExtReader reader = OpenPackage(book);
  size_t names = 0;
  size_t lineNumber = 0;
  for (const std::string& text : SplitLines(reader.ReadEntryText(0))) {
    ++lineNumber;
    size_t equals = text.find('=');
    if (equals == std::string::npos) {
      continue;
    }
    std::string value = text.substr(equals + 1);
    int32_t index = DirectoryValueToIndex(value);
    if (index <= 0 || index >= reader.EntryCount()) {
      Fail(kBadDirectory, book + ": directory line " + std::to_string(lineNumber) + " gives " +
                              Quote(text.substr(0, equals)) + " the entry " + Quote(value) +
                              ", which the package does not hold");
    }
    ++names;
  }
  if (!options.Quiet) {
    console.out << book << ": ok: " << reader.EntryCount() << " entries, " << names << " names, "
                << (reader.HasDigest() ? "digest verified" : "no digest stored (content unchecked)")
                << ", " << SignatureText(reader.Signed()) << "\n";
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
