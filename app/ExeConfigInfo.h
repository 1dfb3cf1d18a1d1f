// TExeConfigInfo: the window configuration "ExeConfig.xml" from the book
// package (caption, open mode and size), read with the system's XML DOM.
#pragma once

#include <cstdint>
#include <string>

#include "framework/base/Streams.h"

namespace leafbook {

class TExeConfigInfo {
 public:
  std::string Caption;   // 8-bit, in the system's ANSI code page
  int32_t OpenMode = 0;  // 1 given size, 2 maximised, 3 full screen
  int32_t OpenWidth = 0;
  int32_t OpenHeight = 0;

  static std::string ConfigFileName() { return "ExeConfig.xml"; }

  // Parses the whole stream from its beginning and fills the fields. Raises
  // when the document does not parse, an element is missing, or an element
  // holds anything but a single text node. COM must be initialised.
  void LoadFromStream(TStream& stream);
};

// The integer of a setting's text: optional blanks around an optional sign
// and decimal digits within 32 bits; anything else gives fallback.
int32_t SettingToInt(const std::wstring& text, int32_t fallback);

}  // namespace leafbook
