// The run-input file read from standard input by `initial`: every record, its
// strict numbers and names, the limits and the physical ranges. The data tree
// is absent on purpose, so a run that passes all input checks stops quickly
// at its first data file. Any input must end normally or in a fatal error.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "control/errors.hpp"
#include "control/initial.hpp"
#include "control/run_state.hpp"
#include "fuzz_support.hpp"

namespace {

abyss::RunState& state() {
  // One run state for the process: building one costs milliseconds. initial()
  // sets every field it reads before any check looks at it.
  static auto rs = std::make_unique<abyss::RunState>();
  return *rs;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::current_path(abyss::fuzz::scratch_dir() / "run");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  abyss::RunState& rs = state();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  rs.input = &in;
  rs.console = &abyss::fuzz::null_stream();
  rs.surfload = abyss::SurfaceLoader{};
  try {
    abyss::initial(rs);
  } catch (const abyss::FatalError&) {
  }
  abyss::closeall(rs);
  std::error_code ec;
  if (!rs.out.printout_name.empty()) std::filesystem::remove(rs.out.printout_name, ec);
  rs.out.printout_name.clear();
  return 0;
}
