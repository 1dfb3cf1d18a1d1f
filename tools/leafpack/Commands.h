// The commands behind leafpack's command line, each given its options already
// checked, and the parsing of the command line into them.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/leafpack/BookIdentity.h"
#include "tools/leafpack/ExeConfigText.h"
#include "tools/leafpack/Leafpack.h"

namespace leafbook::leafpack {

// Whether a book gets a block digest table: forced, or when its content is large.
enum class TBlockDigestChoice { BySize, On, Off };

// File names and texts are UTF-8.
struct TBuildOptions {
  std::string Folder;
  std::string Viewer;
  std::string Output;
  bool Digest = true;
  TBlockDigestChoice BlockDigests = TBlockDigestChoice::BySize;
  int CodePage = kDefaultCodePage;
  bool Quiet = false;
  TBookIdentity Identity;
  std::optional<TWindowSettings> Window;  // only when a window option was given
};

struct TReadOptions {
  std::string Book;
  std::string Name;                   // extract
  std::optional<std::string> Output;  // extract
  int CodePage = kDefaultCodePage;
  bool Quiet = false;
};

enum class TCommand { Help, Build, List, Verify, Extract };

struct TCommandLine {
  TCommand Command = TCommand::Help;
  TBuildOptions Build;
  TReadOptions Read;
};

// Raises TFailure (kUsage) on wrong arguments; writes the usage asked for
// with --help to out and gives TCommand::Help.
TCommandLine ParseCommandLine(const std::vector<std::string>& args, std::ostream& out);

int Build(const TBuildOptions& options, TConsole& console);
int List(const TReadOptions& options, TConsole& console);
int Verify(const TReadOptions& options, TConsole& console);
int Extract(const TReadOptions& options, TConsole& console);

}  // namespace leafbook::leafpack
