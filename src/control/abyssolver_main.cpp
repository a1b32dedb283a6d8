// Program entry: one run per process, the run-input file on standard input.
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>

#include "control/driver.hpp"
#include "control/run_state.hpp"

int main() {
  auto rs = std::make_unique<abyss::RunState>();
  // The run-input file is kept as read so that self-describing outputs
  // (the NetCDF file) can echo it.
  std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  std::istringstream input(text);
  rs->out.run_input_text = std::move(text);
  rs->input = &input;
  return abyss::run_abyssolver(*rs);
}
