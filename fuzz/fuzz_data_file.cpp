// Standard data files (spectra, profiles, pure-water and bottom tables,
// measured sky irradiance): the first byte picks the file type, the rest is
// the file. Any input must give a table or a fatal error, nothing else.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "control/errors.hpp"
#include "iop/data_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int iftype = data[0] % 3;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  try {
    const abyss::DataTable t = abyss::read_standard_table(in, 10, iftype, "fuzz.txt", "fuzz");
    // A table that was accepted is a usable one.
    if (t.n < 1) __builtin_trap();
    for (int i = 1; i <= t.n; ++i) {
      if (!(t.y1(i) >= 0.0) || (i > 1 && !(t.x(i) > t.x(i - 1)))) __builtin_trap();
      if (iftype == abyss::kTwoSpectra && !(t.y2(i) >= 0.0)) __builtin_trap();
    }
  } catch (const abyss::FatalError&) {
  }
  return 0;
}
