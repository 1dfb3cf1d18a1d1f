// leafpack's commands: build a book executable from a folder, list, verify and
// extract. Output files are written under a temporary name and renamed at the
// end, so a failed run never leaves a partial file behind.
#include "tools/leafpack/Leafpack.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include "framework/base/Exceptions.h"
#include "framework/base/Streams.h"
#include "package/ExeExt.h"
#include "package/MD5Op.h"
#include "framework/base/TextLines.h"
#include "package/PackageDirectory.h"
#include "package/PackageWriter.h"
#include "tools/leafpack/CodePage.h"

namespace leafbook::leafpack {

namespace fs = std::filesystem;

namespace {

constexpr int64_t kProgressThreshold = 4 << 20;
constexpr int32_t kChunk = 1 << 20;

const char kUsageText[] =
    "usage:\n"
    "  leafpack build <book-folder> --viewer <leafbook.exe> -o <book.exe> [--no-digest]\n"
    "                 [--code-page <n>]\n"
    "  leafpack list <book.exe> [--code-page <n>]\n"
    "  leafpack verify <book.exe>\n"
    "  leafpack extract <book.exe> <name> [-o <file>] [--code-page <n>]\n"
    "  leafpack --help\n"
    "\n"
    "build   appends every file below <book-folder> to a copy of the viewer; names are\n"
    "        relative to the folder with \"/\" separators, as the movie asks for them.\n"
    "        Identical files are stored once. The package carries an MD5 digest unless\n"
    "        --no-digest is given. Names are stored in the readers' Windows ANSI\n"
    "        code page (--code-page, default 1252; 1250, 1251, 932, 936 and so on for\n"
    "        other languages): a name that code page cannot carry is refused.\n"
    "list    prints each directory line: entry index, size and name.\n"
    "verify  checks the trailer, the digest and the directory; exit status 3: no\n"
    "        package or a damaged trailer, 4: digest mismatch, 5: bad directory.\n"
    "extract writes one file of the package to <file>, or to standard output.\n";

// Reported to the user as "leafpack: <message>" with an exit status.
struct TFailure {
  int code;
  std::string message;
};

[[noreturn]] void Fail(int code, const std::string& message) {
  throw TFailure{code, message};
}

std::string Quote(const std::string& text) {
  return "\"" + text + "\"";
}

std::string MiB(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

std::string SizeText(int64_t bytes) {
  if (bytes < 1024) {
    return std::to_string(bytes) + " bytes";
  }
  if (bytes < (1 << 20)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
    return text;
  }
  return MiB(bytes);
}

// Options of one command: positional words and the flags it knows.
struct TArgs {
  std::vector<std::string> words;
  std::map<std::string, std::string> values;
  bool noDigest = false;
};

TArgs ParseArgs(const std::vector<std::string>& args, size_t first,
                const std::vector<std::string>& valueFlags, bool allowNoDigest) {
  TArgs parsed;
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (std::find(valueFlags.begin(), valueFlags.end(), arg) != valueFlags.end()) {
      if (i + 1 >= args.size()) {
        Fail(kUsage, arg + " needs a value");
      }
      parsed.values[arg == "--output" ? "-o" : arg] = args[++i];
    } else if (allowNoDigest && arg == "--no-digest") {
      parsed.noDigest = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      Fail(kUsage, "unknown option " + arg);
    } else {
      parsed.words.push_back(arg);
    }
  }
  return parsed;
}

// A file being written under a temporary name beside its destination; removed
// unless Commit renamed it into place.
class TPendingOutput {
 public:
  explicit TPendingOutput(const fs::path& destination)
      : destination_(destination), temporary_(destination.string() + ".leafpack-tmp") {
    platform::TFileHandle handle =
        platform::OpenFileShared(temporary_.string(), platform::TFileMode::Create);
    if (!handle) {
      Fail(kFailed,
           "cannot write " + Quote(destination.string()) + ": " + platform::LastErrorText());
    }
    stream_.emplace(std::move(handle));
  }
  ~TPendingOutput() {
    if (stream_) {
      stream_.reset();
      std::error_code ignored;
      fs::remove(temporary_, ignored);
    }
  }
  TPendingOutput(const TPendingOutput&) = delete;
  TPendingOutput& operator=(const TPendingOutput&) = delete;

  TStream& Stream() { return *stream_; }
  const fs::path& Temporary() const { return temporary_; }

  void Commit() {
    stream_.reset();  // closed before the rename: Windows will not rename an open file
    std::error_code error;
    fs::rename(temporary_, destination_, error);
    if (error) {
      fs::remove(temporary_, error);
      Fail(kFailed, "cannot write " + Quote(destination_.string()) + ": " + error.message());
    }
  }

 private:
  fs::path destination_;
  fs::path temporary_;
  std::optional<THandleStream> stream_;
};

// A progress line on a terminal, redrawn when the percentage changes.
class TProgressLine {
 public:
  TProgressLine(std::ostream& err, bool enabled, int64_t total)
      : err_(err), enabled_(enabled && total > kProgressThreshold), total_(total) {}
  ~TProgressLine() {
    if (enabled_ && shown_ >= 0) {
      err_ << "\n";
    }
  }
  void Update(int64_t done) {
    if (!enabled_) {
      return;
    }
    int percent = static_cast<int>(done * 100 / total_);
    if (percent != shown_) {
      shown_ = percent;
      err_ << "\rleafpack: " << percent << "% of " << MiB(total_) << std::flush;
    }
  }

 private:
  std::ostream& err_;
  bool enabled_;
  int64_t total_;
  int shown_ = -1;
};

// --- build

struct TBookFile {
  std::string name;  // relative, "/" separators
  fs::path path;
  int64_t size = 0;
  int32_t index = 0;
};

struct TStoredEntry {
  const TBookFile* source;
  TMD5Digest digest;
};

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

// The readers' ANSI code page, 1252 (Western European) unless --code-page says.
int ReadersCodePage(TArgs& parsed) {
  if (!parsed.values.count("--code-page")) {
    return kDefaultCodePage;
  }
  const std::string& text = parsed.values["--code-page"];
  const int32_t codePage = DirectoryValueToIndex(text);
  if (codePage <= 0 || !KnownCodePage(codePage)) {
    Fail(kUsage, "unknown code page " + Quote(text) +
                     " (the readers' Windows ANSI code page: 1252, 1250, 1251, 932, 936, ...)");
  }
  return codePage;
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

// A name of the directory for the console (UTF-8); as stored when it does not convert.
std::string ForConsole(const std::string& name, int codePage) {
  return ToUtf8(name, codePage).value_or(name);
}

std::vector<TBookFile> CollectBookFiles(const fs::path& folder, const fs::path& output,
                                        const fs::path& temporary) {
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
    file.name = it->path().lexically_relative(folder).generic_string();
    file.size = static_cast<int64_t>(it->file_size(error));
    if (error) {
      break;
    }
    files.push_back(std::move(file));
  }
  if (error) {
    Fail(kFailed, "cannot read the book folder " + Quote(folder.string()) + ": " + error.message());
  }
  std::sort(files.begin(), files.end(),
            [](const TBookFile& a, const TBookFile& b) { return a.name < b.name; });
  return files;
}

void CheckBookFiles(const std::vector<TBookFile>& files, std::ostream& err, int codePage) {
  std::map<std::string, const TBookFile*> folded;
  for (const TBookFile& file : files) {
    for (char c : file.name) {
      if (c == '=' || c == '\r' || c == '\n' || c == '\0') {
        Fail(kFailed, "the file name " + Quote(ForConsole(file.name, codePage)) +
                          " cannot be listed in a package directory (it holds \"=\", CR, LF "
                          "or NUL)");
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
                        " differ only in letter case; the viewer could not tell them apart");
    }
  }
  if (!folded.count("book.swf")) {
    err << "leafpack: warning: the folder has no \"book.swf\"; the viewer plays that file\n";
  }
}

TMD5Digest DigestFile(const fs::path& path, int64_t size) {
  TFileStream stream(path.string(), platform::TFileMode::OpenRead);
  TMD5 md5;
  md5.UpdateFrom(stream, size);
  return md5.Final();
}

bool SameContent(const fs::path& a, const fs::path& b, int64_t size) {
  TFileStream first(a.string(), platform::TFileMode::OpenRead);
  TFileStream second(b.string(), platform::TFileMode::OpenRead);
  std::vector<uint8_t> x(static_cast<size_t>(std::min<int64_t>(size, kChunk)));
  std::vector<uint8_t> y(x.size());
  for (int64_t left = size; left > 0;) {
    auto piece = static_cast<int32_t>(std::min<int64_t>(left, kChunk));
    first.ReadBuffer(x.data(), piece);
    second.ReadBuffer(y.data(), piece);
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
    TMD5Digest digest = DigestFile(file.path, file.size);
    auto [first, last] = bySize.equal_range(file.size);
    for (auto it = first; it != last && file.index == 0; ++it) {
      const TStoredEntry& candidate = stored[it->second];
      if (candidate.digest == digest && SameContent(candidate.source->path, file.path, file.size)) {
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

int Build(const std::vector<std::string>& args, TConsole& console) {
  TArgs parsed = ParseArgs(args, 1, {"--viewer", "-o", "--output", "--code-page"}, true);
  if (parsed.words.size() != 1 || !parsed.values.count("--viewer") || !parsed.values.count("-o")) {
    Fail(kUsage, "build needs <book-folder>, --viewer <leafbook.exe> and -o <book.exe>");
  }
  const fs::path folder = parsed.words[0];
  const fs::path viewer = parsed.values["--viewer"];
  const fs::path output = parsed.values["-o"];
  const bool withDigest = !parsed.noDigest;
  const int codePage = ReadersCodePage(parsed);

  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    Fail(kFailed, "book folder not found: " + Quote(folder.string()));
  }
  if (!fs::is_regular_file(viewer, error)) {
    Fail(kFailed, "viewer not found: " + Quote(viewer.string()));
  }
  const int64_t viewerSize = static_cast<int64_t>(fs::file_size(viewer, error));

  const fs::path temporary = output.string() + ".leafpack-tmp";
  std::vector<TBookFile> files = CollectBookFiles(folder, output, temporary);
  NamesForReaders(files, codePage);
  CheckBookFiles(files, console.err, codePage);
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
  const int64_t blockLength =
      PackageBlockLength(dataLength, static_cast<int64_t>(entries.size()) + 1, withDigest);
  if (blockLength > INT32_MAX) {
    Fail(kFailed, "the book (" + MiB(blockLength) +
                      ") is too large for the package's 32-bit block length (2 GiB at most)");
  }
  try {
    TExeExtReader existing(viewer.string());
    if (existing.EntryCount() > 0) {
      console.err << "leafpack: warning: the viewer already carries a book package; the new one "
                     "is appended after it and hides it\n";
    }
  } catch (const Exception&) {
    // The usual case: a bare viewer has no package.
  }

  TPendingOutput pending(output);
  TProgressLine progress(console.err, console.progress, viewerSize + dataLength);
  // A failed write (a full disk, a file-size limit) names the output; a failed
  // read names the file of the book. Either way the output is not left behind.
  try {
    {
      TFileStream viewerStream(viewer.string(), platform::TFileMode::OpenRead);
      pending.Stream().CopyFrom(viewerStream, viewerSize);
    }
    TPackageWriter writer(pending.Stream(), withDigest,
                          [&](int64_t written) { progress.Update(viewerSize + written); });
    writer.AddEntry(directory);
    for (const TBookFile* entry : entries) {
      try {
        TFileStream source(entry->path.string(), platform::TFileMode::OpenRead);
        if (source.GetSize() != entry->size) {
          Fail(kFailed, Quote(entry->path.string()) + " changed while the book was being packed");
        }
        writer.AddEntry(source, entry->size);
      } catch (const EReadError& error) {
        Fail(kFailed, "cannot read " + Quote(entry->path.string()) + ": " + error.Message());
      } catch (const EFOpenError& error) {
        Fail(kFailed, "cannot read " + Quote(entry->path.string()) + ": " + error.Message());
      }
    }
    writer.Finish();
  } catch (const EWriteError& error) {
    Fail(kFailed, "cannot write " + Quote(output.string()) + ": " + error.Message() +
                      " (is the disk full?)");
  }
  std::error_code permissionsError;
  fs::permissions(pending.Temporary(), fs::status(viewer, permissionsError).permissions(),
                  permissionsError);
  pending.Commit();

  console.out << "leafpack: wrote " << output.string() << ": " << files.size() << " files ("
              << entries.size() << " distinct), package " << SizeText(blockLength) << ", digest "
              << (withDigest ? "on" : "off") << "\n";
  return kOk;
}

// --- list, verify, extract

TExeExtReader OpenPackage(const std::string& file) {
  if (!platform::FileExists(file)) {
    Fail(kFailed, "no such file: " + Quote(file));
  }
  try {
    TFileStream probe(file, platform::TFileMode::OpenRead);
  } catch (const EFOpenError& error) {
    Fail(kFailed, error.Message());
  }
  try {
    TExeExtReader reader(file);
    if (reader.EntryCount() == 0) {
      Fail(kBadDirectory, file + ": the package holds no entries, not even its directory");
    }
    return reader;
  } catch (const EPackageNotFound& error) {
    Fail(kNoPackage,
         file + ": no book package found, or its trailer is damaged (" + error.Message() + ")");
  } catch (const EPackageDigest& error) {
    Fail(kBadDigest,
         file + ": the package's content does not match its digest (" + error.Message() + ")");
  } catch (const Exception& error) {
    Fail(kFailed, file + ": " + error.Message());
  }
}

int List(const std::vector<std::string>& args, TConsole& console) {
  TArgs parsed = ParseArgs(args, 1, {"--code-page"}, false);
  if (parsed.words.size() != 1) {
    Fail(kUsage, "list needs <book.exe>");
  }
  const int codePage = ReadersCodePage(parsed);
  TExeExtReader reader = OpenPackage(parsed.words[0]);
  console.out << parsed.words[0] << ": " << reader.EntryCount() << " entries, digest "
              << (reader.HasDigest() ? "on" : "off") << "\n";
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
    console.out << line << ForConsole(text.substr(0, equals), codePage) << "\n";
  }
  return kOk;
}

int Verify(const std::vector<std::string>& args, TConsole& console) {
  TArgs parsed = ParseArgs(args, 1, {}, false);
  if (parsed.words.size() != 1) {
    Fail(kUsage, "verify needs <book.exe>");
  }
  const std::string& file = parsed.words[0];
  TExeExtReader reader = OpenPackage(file);
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
      Fail(kBadDirectory, file + ": directory line " + std::to_string(lineNumber) + " gives " +
                              Quote(text.substr(0, equals)) + " the entry " + Quote(value) +
                              ", which the package does not hold");
    }
    ++names;
  }
  console.out << file << ": ok: " << reader.EntryCount() << " entries, " << names << " names, "
              << (reader.HasDigest() ? "digest verified" : "no digest stored (content unchecked)")
              << "\n";
  return kOk;
}

int Extract(const std::vector<std::string>& args, TConsole& console) {
  TArgs parsed = ParseArgs(args, 1, {"-o", "--output", "--code-page"}, false);
  if (parsed.words.size() != 2) {
    Fail(kUsage, "extract needs <book.exe> and <name>");
  }
  const std::string& name = parsed.words[1];
  const int codePage = ReadersCodePage(parsed);
  TExeExtReader reader = OpenPackage(parsed.words[0]);
  const std::optional<std::string> stored = FromUtf8(name, codePage);
  int32_t index = stored ? LookupDirectory(reader.ReadEntryText(0), *stored) : 0;
  if (index == 0) {
    Fail(kFailed, Quote(name) + " is not in the package");
  }
  if (index < 0 || index >= reader.EntryCount()) {
    Fail(kBadDirectory, "the directory gives " + Quote(name) + " the entry " +
                            std::to_string(index) + ", which the package does not hold");
  }
  if (parsed.values.count("-o")) {
    TPendingOutput pending(parsed.values["-o"]);
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

}  // namespace

int Run(const std::vector<std::string>& args, TConsole console) {
  try {
    if (args.empty()) {
      Fail(kUsage, "no command given");
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
      console.out << kUsageText;
      return kOk;
    }
    if (command == "build") {
      return Build(args, console);
    }
    if (command == "list") {
      return List(args, console);
    }
    if (command == "verify") {
      return Verify(args, console);
    }
    if (command == "extract") {
      return Extract(args, console);
    }
    Fail(kUsage, "unknown command " + Quote(command));
  } catch (const TFailure& failure) {
    console.err << "leafpack: " << failure.message << "\n";
    if (failure.code == kUsage) {
      console.err << kUsageText;
    }
    return failure.code;
  } catch (const Exception& error) {
    console.err << "leafpack: " << error.Message() << "\n";
    return kFailed;
  } catch (const std::exception& error) {
    console.err << "leafpack: " << error.what() << "\n";
    return kFailed;
  }
}

}  // namespace leafbook::leafpack
