// leafpack build: a copy of the viewer (given the book's identity when asked)
// with every file of the book folder appended as the book package.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "package/ExeExt.h"
#include "package/MD5Op.h"
#include "package/PackageDirectory.h"
#include "package/PackageWriter.h"
#include "tools/leafpack/CodePage.h"
#include "tools/leafpack/Commands.h"
#include "tools/leafpack/Console.h"
#include "tools/leafpack/Paths.h"
#include "tools/leafpack/PeImage.h"

namespace leafbook::leafpack {

namespace fs = std::filesystem;

namespace {

constexpr int32_t kChunk = 1 << 20;

struct TBookFile {
  std::string name;  // relative, "/" separators; UTF-8, then in the readers' code page
  fs::path path;
  std::optional<std::string> text;  // written by leafpack rather than read from the folder
  int64_t size = 0;
  int32_t index = 0;
};

struct TStoredEntry {
  const TBookFile* source;
  TMD5Digest digest;
};

std::unique_ptr<TStream> OpenSource(const TBookFile& file) {
  if (file.text) {
    return std::make_unique<TStringStream>(*file.text);
  }
  platform::TFileHandle handle = platform::OpenPathShared(file.path, platform::TFileMode::OpenRead);
  if (!handle) {
    Fail(kFailed, "cannot read " + Quote(file.path) + ": " + platform::LastErrorText());
  }
  return std::make_unique<THandleStream>(std::move(handle));
}

bool SameSystemFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::exists(b, error) && fs::equivalent(a, b, error);
}

std::string FoldAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

// A name of the directory for the console (UTF-8); as stored when it does not convert.
std::string ForConsole(const std::string& name, int codePage) {
  return ToUtf8(name, codePage).value_or(name);
}

// Names as the viewer will look them up: in the readers' code page.
void NamesForReaders(std::vector<TBookFile>& files, int codePage) {
  for (TBookFile& file : files) {
    std::optional<std::string> converted = FromUtf8(file.name, codePage);
    if (!converted) {
      Fail(kFailed, "the file name " + Quote(file.name) + " cannot be written in code page " +
                        std::to_string(codePage) +
                        ", so the viewer could never find it: rename the file, or give the "
                        "readers' code page with --code-page");
    }
    file.name = *converted;
  }
}

std::vector<TBookFile> CollectBookFiles(const fs::path& folder, const fs::path& output) {
  const fs::path temporary = TPendingOutput::TemporaryFor(output);
  std::vector<TBookFile> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_regular_file(error)) {
      continue;
    }
    // A previous output written into the book folder is not part of the book.
    if (SameSystemFile(it->path(), output) || SameSystemFile(it->path(), temporary)) {
      continue;
    }
    TBookFile file;
    file.path = it->path();
    const std::u8string relative = it->path().lexically_relative(folder).generic_u8string();
    file.name.assign(relative.begin(), relative.end());
    file.size = static_cast<int64_t>(it->file_size(error));
    if (error) {
      break;
    }
    files.push_back(std::move(file));
  }
  if (error) {
    Fail(kFailed, "cannot read the book folder " + Quote(folder) + ": " + error.message());
  }
  return files;
}

void CheckBookFiles(const std::vector<TBookFile>& files, std::ostream& err, int codePage) {
  std::map<std::string, const TBookFile*> folded;
  for (const TBookFile& file : files) {
    for (char c : file.name) {
      if (c == '=' || c == '\r' || c == '\n' || c == '\0') {
        Fail(kFailed, "the file name " + Quote(ForConsole(file.name, codePage)) +
                          " cannot be listed in a package directory (it holds \"=\", CR, LF "
                          "or NUL): rename the file");
      }
    }
    if (file.size > INT32_MAX) {
      Fail(kFailed, Quote(ForConsole(file.name, codePage)) + " (" + MiB(file.size) +
                        ") is too large for the package's 32-bit sizes (2 GiB at most)");
    }
    // The viewer finds names without regard to letter case: two such names
    // would hide one of the files.
    auto [it, added] = folded.emplace(FoldAscii(file.name), &file);
    if (!added) {
      Fail(kFailed, "the names " + Quote(ForConsole(it->second->name, codePage)) + " and " +
                        Quote(ForConsole(file.name, codePage)) +
                        " differ only in letter case; the viewer could not tell them apart: "
                        "rename one");
    }
  }
  if (!folded.count("book.swf")) {
    err << "leafpack: warning: the folder has no \"book.swf\"; the viewer plays that file\n";
  }
}

// The window settings become the book's ExeConfig.xml, unless the folder
// brings its own: leafpack would not silently choose between the two.
void AddWindowSettings(std::vector<TBookFile>& files, const TBuildOptions& options,
                       std::ostream& err) {
  if (!options.Window) {
    return;
  }
  const std::string folded = FoldAscii(kExeConfigName);
  for (const TBookFile& file : files) {
    if (FoldAscii(file.name) == folded) {
      Fail(kFailed, "the book folder has its own window settings, " + Quote(file.path) +
                        ", and --caption, --open-mode, --width or --height would replace them: "
                        "put the settings in that file, or remove it and let leafpack write it");
    }
  }
  if (!FromUtf8(options.Window->Caption, options.CodePage)) {
    err << "leafpack: warning: the caption has characters code page " << options.CodePage
        << " lacks; the viewer shows them as \"?\"\n";
  }
  TBookFile config;
  config.name = kExeConfigName;
  config.text = ExeConfigText(*options.Window);
  config.size = static_cast<int64_t>(config.text->size());
  files.push_back(std::move(config));
}

TMD5Digest DigestOf(const TBookFile& file) {
  std::unique_ptr<TStream> stream = OpenSource(file);
  TMD5 md5;
  md5.UpdateFrom(*stream, file.size);
  return md5.Final();
}

bool SameContent(const TBookFile& a, const TBookFile& b) {
  std::unique_ptr<TStream> first = OpenSource(a);
  std::unique_ptr<TStream> second = OpenSource(b);
  std::vector<uint8_t> x(static_cast<size_t>(std::min<int64_t>(a.size, kChunk)));
  std::vector<uint8_t> y(x.size());
  for (int64_t left = a.size; left > 0;) {
    auto piece = static_cast<int32_t>(std::min<int64_t>(left, kChunk));
    first->ReadBuffer(x.data(), piece);
    second->ReadBuffer(y.data(), piece);
    if (std::memcmp(x.data(), y.data(), static_cast<size_t>(piece)) != 0) {
      return false;
    }
    left -= piece;
  }
  return true;
}

// Gives every file its entry index; a file whose bytes equal an earlier one's
// shares that entry (compared byte for byte, not trusted to the digest alone).
std::vector<const TBookFile*> AssignEntries(std::vector<TBookFile>& files) {
  std::vector<TStoredEntry> stored;
  std::multimap<int64_t, size_t> bySize;
  for (TBookFile& file : files) {
    TMD5Digest digest = DigestOf(file);
    auto [first, last] = bySize.equal_range(file.size);
    for (auto it = first; it != last && file.index == 0; ++it) {
      const TStoredEntry& candidate = stored[it->second];
      if (candidate.digest == digest && SameContent(*candidate.source, file)) {
        file.index = candidate.source->index;
      }
    }
    if (file.index == 0) {
      stored.push_back({&file, digest});
      file.index = static_cast<int32_t>(stored.size());  // entry 0 is the directory
      bySize.emplace(file.size, stored.size() - 1);
    }
  }
  std::vector<const TBookFile*> entries;
  for (const TStoredEntry& entry : stored) {
    entries.push_back(entry.source);
  }
  return entries;
}

// The viewer's bytes as the book begins with them.
std::vector<uint8_t> BookImage(const TBuildOptions& options, const fs::path& viewer,
                               std::ostream& err) {
  std::vector<uint8_t> image = ReadWholeFile(viewer);
  {
    TMemoryStream probe;
    probe.WriteBuffer(image.data(), static_cast<int32_t>(image.size()));
    try {
      if (ReadPackageLayout(probe).EntryCount > 0) {
        err << "leafpack: warning: the viewer already carries a book package; the new one "
               "is appended after it and hides it\n";
      }
    } catch (const Exception&) {
      // The usual case: a bare viewer has no package.
    }
  }
  if (options.Identity.Empty()) {
    return image;
  }
  if (!PeChecksumOffset(image)) {
    Fail(kFailed, "the viewer " + Quote(viewer) +
                      " is not a Windows program, so it cannot take the book's icon or version "
                      "details: give --viewer the viewer's leafbook.exe");
  }
  try {
    return ApplyBookIdentity(std::move(image), options.Identity);
  } catch (const Exception& error) {
    Fail(kFailed, error.Message());
  }
}

void CheckIconFiles(const TBookIdentity& identity) {
  for (const std::string& icon : identity.IconFiles) {
    std::error_code error;
    if (!fs::is_regular_file(PathFromUtf8(icon), error)) {
      Fail(kFailed, "icon file not found: " + Quote(icon) +
                        " (--icon takes an .ico file or PNG "
                        "images)");
    }
  }
}

// The block size of the book's table, 0 for none.
int32_t BlockSizeFor(const TBuildOptions& options, int64_t dataLength) {
  if (!options.Digest) {
    return 0;  // the table lives only in a digested package
  }
  switch (options.BlockDigests) {
    case TBlockDigestChoice::On:
      return block_digests::kDefaultBlockSize;
    case TBlockDigestChoice::Off:
      return 0;
    case TBlockDigestChoice::BySize:
      break;
  }
  return dataLength > block_digests::kDefaultThreshold ? block_digests::kDefaultBlockSize : 0;
}

}  // namespace

int Build(const TBuildOptions& options, TConsole& console) {
  const fs::path folder = PathFromUtf8(options.Folder);
  const fs::path viewer = PathFromUtf8(options.Viewer);
  const fs::path output = PathFromUtf8(options.Output);

  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    Fail(kFailed, "book folder not found: " + Quote(folder) +
                      " (the first argument of build is the folder holding book.swf)");
  }
  if (!fs::is_regular_file(viewer, error)) {
    Fail(kFailed, "viewer not found: " + Quote(viewer) + " (--viewer names leafbook.exe)");
  }
  const fs::path outputFolder = output.has_parent_path() ? output.parent_path() : ".";
  if (!fs::is_directory(outputFolder, error)) {
    Fail(kFailed, "cannot write " + Quote(output) + ": the folder " + Quote(outputFolder) +
                      " does not exist; create it first or give another -o");
  }
  CheckIconFiles(options.Identity);

  std::vector<TBookFile> files = CollectBookFiles(folder, output);
  AddWindowSettings(files, options, console.err);
  std::sort(files.begin(), files.end(),
            [](const TBookFile& a, const TBookFile& b) { return a.name < b.name; });
  NamesForReaders(files, options.CodePage);
  CheckBookFiles(files, console.err, options.CodePage);
  std::vector<const TBookFile*> entries = AssignEntries(files);

  std::vector<std::pair<std::string, int32_t>> names;
  for (const TBookFile& file : files) {
    names.emplace_back(file.name, file.index);
  }
  const std::string directory = BuildDirectoryText(names);
  int64_t dataLength = static_cast<int64_t>(directory.size());
  for (const TBookFile* entry : entries) {
    dataLength += entry->size;
  }
  const int32_t blockSize = BlockSizeFor(options, dataLength);
  const int64_t blockLength = PackageBlockLength(
      dataLength, static_cast<int64_t>(entries.size()) + 1, options.Digest, blockSize);
  if (blockLength > INT32_MAX) {
    Fail(kFailed, "the book (" + MiB(blockLength) +
                      ") is too large for the package's 32-bit block length (2 GiB at most)");
  }
  const std::vector<uint8_t> image = BookImage(options, viewer, console.err);
  const auto imageSize = static_cast<int64_t>(image.size());

  TPendingOutput pending(output);
  // A Windows program's checksum is summed as the book is written.
  const std::optional<uint64_t> checksumField = PeChecksumOffset(image);
  std::optional<TPeChecksumWriter> checksummed;
  if (checksumField) {
    checksummed.emplace(pending.Stream(), *checksumField);
  }
  TStream& book = checksummed ? static_cast<TStream&>(*checksummed) : pending.Stream();
  {
    TProgressLine progress(console.err, console.progress && !options.Quiet, imageSize + dataLength);
    // A failed write (a full disk, a file-size limit) names the output; a failed
    // read names the file of the book. Either way the output is not left behind.
    try {
      book.WriteBuffer(image.data(), static_cast<int32_t>(image.size()));
      TPackageWriter writer(
          book, options.Digest, [&](int64_t written) { progress.Update(imageSize + written); },
          blockSize);
      writer.AddEntry(directory);
      for (const TBookFile* entry : entries) {
        try {
          std::unique_ptr<TStream> source = OpenSource(*entry);
          if (source->GetSize() != entry->size) {
            Fail(kFailed, Quote(entry->path) + " changed while the book was being packed");
          }
          writer.AddEntry(*source, entry->size);
        } catch (const EReadError& error) {
          Fail(kFailed, "cannot read " + Quote(entry->path) + ": " + error.Message());
        }
      }
      writer.Finish();
      if (checksummed) {
        checksummed->Finish();
      }
    } catch (const EWriteError& error) {
      Fail(kFailed,
           "cannot write " + Quote(output) + ": " + error.Message() + " (is the disk full?)");
    }
  }
  std::error_code permissionsError;
  fs::permissions(pending.Temporary(), fs::status(viewer, permissionsError).permissions(),
                  permissionsError);
  pending.Commit();

  if (!options.Quiet) {
    console.out << "leafpack: wrote " << Utf8FromPath(output) << ": " << files.size() << " files ("
                << entries.size() << " distinct), package " << SizeText(blockLength) << ", digest "
                << (options.Digest ? "on" : "off") << BlockDigestsText(blockSize)
                << (checksummed ? ", PE checksum set" : "") << "\n";
  }
  return kOk;
}

}  // namespace leafbook::leafpack
