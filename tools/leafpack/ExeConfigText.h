// The window settings leafpack writes as the book's "ExeConfig.xml". The
// viewer applies them only when all four elements are present, each holding
// a single text node, so every element is always written in full.
#pragma once

#include <cstdint>
#include <string>

namespace leafbook::leafpack {

inline constexpr char kExeConfigName[] = "ExeConfig.xml";

enum class TOpenMode : int32_t { Size = 1, Maximized = 2, FullScreen = 3 };

struct TWindowSettings {
  std::string Caption;  // UTF-8
  TOpenMode OpenMode = TOpenMode::Maximized;
  int32_t Width = 800;
  int32_t Height = 600;
};

// The document, in UTF-8, with the caption's XML special characters escaped.
std::string ExeConfigText(const TWindowSettings& settings);

}  // namespace leafbook::leafpack
