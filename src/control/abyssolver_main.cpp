// Program entry: one run per process, the run-input file on standard input.
#include <memory>

#include "control/driver.hpp"
#include "control/run_state.hpp"

int main() {
  auto rs = std::make_unique<abyss::RunState>();
  return abyss::run_abyssolver(*rs);
}
