// leafpack's command line: the commands, their options and their checks
// (CLI11 parses), and the one place failures become messages and exit statuses.
#include "tools/leafpack/Leafpack.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>

#include "framework/base/Exceptions.h"
#include "tools/leafpack/CodePage.h"
#include "tools/leafpack/Commands.h"
#include "tools/leafpack/Console.h"
#include "tools/leafpack/Paths.h"

namespace leafbook::leafpack {

namespace {

const char* const kCommands[] = {"build", "list", "verify", "extract"};

// The largest window side leafpack accepts: Windows keeps coordinates in 16 bits.
constexpr int32_t kMaxWindowSide = 32767;

const char kExitStatuses[] =
    "exit status: 0 done, 1 failed, 2 wrong arguments; verify: 3 no package or a damaged "
    "trailer, 4 digest or block digest mismatch, 5 bad directory";

[[noreturn]] void UsageError(const std::string& message, const std::string& command) {
  Fail(kUsage, message + "\nrun \"leafpack " + (command.empty() ? "" : command + " ") +
                   "--help\" for usage");
}

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xc2 && lead < 0xe0 ? 2
                          : lead >= 0xe0 && lead < 0xf0 ? 3
                          : lead >= 0xf0 && lead < 0xf5 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) {
      return false;
    }
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) {
        return false;
      }
    }
    i += length;
  }
  return true;
}

int CodePageOption(const std::string& text, const std::string& command) {
  int codePage = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), codePage);
  if (error != std::errc() || end != text.data() + text.size() || codePage <= 0 ||
      !KnownCodePage(codePage)) {
    UsageError("unknown code page " + Quote(text) +
                   " (--code-page takes the readers' Windows ANSI code page: 1252, 1250, 1251, "
                   "932, 936, ...)",
               command);
  }
  return codePage;
}

std::optional<TVersionNumber> VersionOption(const std::string& text, const std::string& option) {
  if (text.empty()) {
    return std::nullopt;
  }
  std::optional<TVersionNumber> version = ParseVersionNumber(text);
  if (!version) {
    UsageError(option + ": " + Quote(text) +
                   " is not a version number (up to four numbers 0..65535 separated by dots, "
                   "as 1.2.0.0)",
               "build");
  }
  return version;
}

int32_t WindowSideOption(const std::string& text, const std::string& option) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0 ||
      value > kMaxWindowSide) {
    UsageError(option + ": " + Quote(text) + " is not a number of pixels (1 to " +
                   std::to_string(kMaxWindowSide) + ")",
               "build");
  }
  return value;
}

TOpenMode OpenModeOption(const std::string& text) {
  if (text == "size" || text == "1") {
    return TOpenMode::Size;
  }
  if (text == "maximized" || text == "2") {
    return TOpenMode::Maximized;
  }
  if (text == "fullscreen" || text == "3") {
    return TOpenMode::FullScreen;
  }
  UsageError("--open-mode: " + Quote(text) + " is not an open mode (size, maximized or fullscreen)",
             "build");
}

void CheckText(const std::string& text, const std::string& option) {
  if (!IsUtf8(text)) {
    UsageError(option + ": the text is not UTF-8", "build");
  }
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20) {
      UsageError(option + ": the text holds a line break or another control character", "build");
    }
  }
}

// What CLI11 leaves as strings, turned into checked options.
struct TRawBuild {
  std::string codePage;
  bool noDigest = false;
  bool blockDigests = false;
  bool noBlockDigests = false;
  std::string fileVersion;
  std::string productVersion;
  std::string caption;
  std::string openMode;
  std::string width;
  std::string height;
};

void FinishBuildOptions(TBuildOptions& options, const TRawBuild& raw, CLI::App& command) {
  if (options.Folder.empty()) {
    UsageError("build needs the book folder", "build");
  }
  if (options.Viewer.empty()) {
    UsageError("build needs --viewer <leafbook.exe>", "build");
  }
  if (options.Output.empty()) {
    UsageError("build needs -o <book.exe>", "build");
  }
  options.Digest = !raw.noDigest;
  if (raw.blockDigests && raw.noBlockDigests) {
    UsageError("--block-digests and --no-block-digests contradict each other", "build");
  }
  if (raw.blockDigests && raw.noDigest) {
    UsageError(
        "--block-digests needs the digest: the table lives only in a digested package, "
        "so drop --no-digest",
        "build");
  }
  options.BlockDigests = raw.blockDigests     ? TBlockDigestChoice::On
                         : raw.noBlockDigests ? TBlockDigestChoice::Off
                                              : TBlockDigestChoice::BySize;
  if (!raw.codePage.empty()) {
    options.CodePage = CodePageOption(raw.codePage, "build");
  }
  const std::filesystem::path output = PathFromUtf8(options.Output);

  TBookIdentity& identity = options.Identity;
  identity.FileVersion = VersionOption(raw.fileVersion, "--file-version");
  identity.ProductVersion = VersionOption(raw.productVersion, "--product-version");
  CheckText(identity.ProductName, "--product-name");
  CheckText(identity.CompanyName, "--company");
  CheckText(identity.FileDescription, "--description");
  CheckText(identity.LegalCopyright, "--copyright");
  identity.OriginalFilename = Utf8FromPath(output.filename());

  const bool anyWindow = command.count("--caption") + command.count("--open-mode") +
                             command.count("--width") + command.count("--height") >
                         0;
  if (anyWindow) {
    TWindowSettings window;
    window.Caption = command.count("--caption") ? raw.caption : Utf8FromPath(output.stem());
    CheckText(window.Caption, "--caption");
    const bool sized = command.count("--width") || command.count("--height");
    if (command.count("--width")) {
      window.Width = WindowSideOption(raw.width, "--width");
    }
    if (command.count("--height")) {
      window.Height = WindowSideOption(raw.height, "--height");
    }
    window.OpenMode = command.count("--open-mode") ? OpenModeOption(raw.openMode)
                      : sized                      ? TOpenMode::Size
                                                   : TOpenMode::Maximized;
    options.Window = window;
  }
}

// Words CLI11 did not take: an unknown option or one argument too many.
void CheckLeftovers(const CLI::App& command) {
  for (const std::string& word : command.remaining()) {
    if (word.size() > 1 && word[0] == '-') {
      UsageError("unknown option " + word + " for " + command.get_name(), command.get_name());
    }
    UsageError("unexpected argument " + Quote(word) + " for " + command.get_name(),
               command.get_name());
  }
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args, std::ostream& out) {
  TCommandLine line;
  if (args.empty()) {
    UsageError("no command given", "");
  }
  const std::string& first = args[0];
  if (first == "help") {
    return ParseCommandLine({"--help"}, out);
  }
  if (first.empty() || (first[0] != '-' && std::find(std::begin(kCommands), std::end(kCommands),
                                                     first) == std::end(kCommands))) {
    UsageError("unknown command " + Quote(first) + " (build, list, verify or extract)", "");
  }

  CLI::App app(
      "leafpack: builds a Leafbook book executable from a folder (the viewer with the "
      "book's files appended), and lists, verifies and extracts built books.",
      "leafpack");
  app.set_help_flag("-h,--help", "print this help and exit");
  app.footer(
      "Commands:\n"
      "  leafpack build <book-folder> --viewer <leafbook.exe> -o <book.exe> [--no-digest]\n"
      "                 [--block-digests | --no-block-digests] [--code-page <n>] [--quiet]\n"
      "                 [book identity and window options]\n"
      "  leafpack list <book.exe> [--code-page <n>]\n"
      "  leafpack verify <book.exe> [--quiet]\n"
      "  leafpack extract <book.exe> <name> [-o <file>] [--code-page <n>]\n"
      "\"leafpack <command> --help\" describes each command's options.\n\n" +
      std::string(kExitStatuses));

  TBuildOptions& b = line.Build;
  TRawBuild raw;
  CLI::App* build = app.add_subcommand(
      "build",
      "Appends every file below the book folder to a copy of the viewer. Names are stored "
      "relative to the folder with \"/\" separators, in the readers' Windows ANSI code page; "
      "identical files are stored once.");
  build->add_option("book-folder", b.Folder, "the folder holding book.swf and its files");
  build->add_option("--viewer", b.Viewer, "the viewer, leafbook.exe (required)");
  build->add_option("-o,--output", b.Output, "the book executable to write (required)");
  build->add_flag("--no-digest", raw.noDigest, "store no MD5 digest of the package");
  build->add_flag("--block-digests", raw.blockDigests,
                  "add a table of digests of 256 KiB blocks, so the viewer checks each block "
                  "as it reads it (default: on for books of over 16 MiB)");
  build->add_flag("--no-block-digests", raw.noBlockDigests,
                  "add no block digests: the viewer checks the whole book before it opens");
  build->add_option("--code-page", raw.codePage,
                    "the readers' ANSI code page names are stored in (default 1252)");
  build->add_flag("-q,--quiet", b.Quiet, "no progress line and no summary");
  build
      ->add_option("--icon", b.Identity.IconFiles,
                   "the book's icon: an .ico file, or PNG images (one --icon each) combined")
      ->allow_extra_args(false);
  build->add_option("--file-version", raw.fileVersion, "version of the file, as 1.2.0.0");
  build->add_option("--product-version", raw.productVersion, "version of the book, as 1.2.0.0");
  build->add_option("--product-name", b.Identity.ProductName, "the book's name");
  build->add_option("--company", b.Identity.CompanyName, "the publisher");
  build->add_option("--description", b.Identity.FileDescription,
                    "what Explorer shows as the file description");
  build->add_option("--copyright", b.Identity.LegalCopyright, "the copyright notice");
  build->add_option("--caption", raw.caption,
                    "window title (writes ExeConfig.xml; default: the book's file name "
                    "without .exe)");
  build->add_option("--open-mode", raw.openMode,
                    "size, maximized or fullscreen (or 1, 2, 3; default: size when --width or "
                    "--height is given, else maximized)");
  build->add_option("--width", raw.width, "window width in pixels (default 800)");
  build->add_option("--height", raw.height, "window height in pixels (default 600)");

  TReadOptions& r = line.Read;
  std::string readCodePage;
  CLI::App* list = app.add_subcommand(
      "list", "Prints the package's directory: entry index, size and name of each file.");
  list->add_option("book", r.Book, "the book executable");
  list->add_option("--code-page", readCodePage,
                   "the code page names were stored in (default 1252)");
  CLI::App* verify = app.add_subcommand(
      "verify",
      "Checks the package's trailer, digest, block digests and directory (exit status 3, 4, 5).");
  verify->add_option("book", r.Book, "the book executable");
  verify->add_flag("-q,--quiet", r.Quiet, "no line when the book is sound");
  CLI::App* extract =
      app.add_subcommand("extract", "Writes one file of the package to -o, or to standard output.");
  extract->add_option("book", r.Book, "the book executable");
  extract->add_option("name", r.Name, "the file's name in the package (leafpack list shows them)");
  extract->add_option("-o,--output", r.Output, "the file to write");
  extract->add_option("--code-page", readCodePage,
                      "the code page names were stored in (default 1252)");
  for (CLI::App* command : {build, list, verify, extract}) {
    command->allow_extras();
    command->footer(kExitStatuses);
  }

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return line;
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return line;
  } catch (const CLI::ParseError& error) {
    UsageError(error.what(),
               std::find(std::begin(kCommands), std::end(kCommands), first) != std::end(kCommands)
                   ? first
                   : "");
  }
  CheckLeftovers(app);
  if (build->parsed()) {
    CheckLeftovers(*build);
    FinishBuildOptions(b, raw, *build);
    line.Command = TCommand::Build;
    return line;
  }
  CLI::App* reading = list->parsed() ? list : verify->parsed() ? verify : extract;
  if (!reading->parsed()) {
    UsageError("no command given", "");
  }
  CheckLeftovers(*reading);
  const std::string name = reading->get_name();
  if (r.Book.empty()) {
    UsageError(name + " needs <book.exe>", name);
  }
  if (reading == extract && r.Name.empty()) {
    UsageError("extract needs <book.exe> and <name>", name);
  }
  if (!readCodePage.empty()) {
    r.CodePage = CodePageOption(readCodePage, name);
  }
  line.Command = reading == list     ? TCommand::List
                 : reading == verify ? TCommand::Verify
                                     : TCommand::Extract;
  return line;
}

int Run(const std::vector<std::string>& args, TConsole console) {
  try {
    TCommandLine line = ParseCommandLine(args, console.out);
    switch (line.Command) {
      case TCommand::Help:
        return kOk;
      case TCommand::Build:
        return Build(line.Build, console);
      case TCommand::List:
        return List(line.Read, console);
      case TCommand::Verify:
        return Verify(line.Read, console);
      case TCommand::Extract:
        return Extract(line.Read, console);
    }
    return kOk;
  } catch (const TFailure& failure) {
    console.err << "leafpack: " << failure.message << "\n";
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
