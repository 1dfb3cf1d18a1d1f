// One table of damaged module images, each made from a fixture DLL by one
// patch. Both test executables run it: the native one through the portable
// image code under the sanitizers, the Windows one through the loader itself.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/runtime/ImageFixtures.h"

namespace leafbook::testing {

struct TDamagedImage {
  std::string Name;
  std::string Fixture;
  std::string Reason;  // what the refusal's message says
  std::function<void(TPeFile&)> Damage;
};

const std::vector<TDamagedImage>& DamagedImages();

// A GoogleTest name for the row: its description with every other character
// than letters and digits turned into '_'.
std::string TestNameOf(const TDamagedImage& row);

inline void PrintTo(const TDamagedImage& row, std::ostream* out) {
  *out << row.Name;
}

// The damaged file of one table row.
TBytes MakeDamaged(const TDamagedImage& row);

}  // namespace leafbook::testing
