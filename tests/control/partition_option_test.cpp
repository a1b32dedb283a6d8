// The run option `partition`: a run reads the surface operators and phase
// functions of its partition (the default 20 x 24, or the 10 x 24 sets of the
// data tree), the two agree where both are converged, and a partition without
// data sets stops the run saying how to make them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_input.hpp"

using abyss::testing::RunInput;

namespace {

using Outcome = abyss::testing::RunOutcome;

Outcome run_with(const RunInput& ri) { return abyss::testing::run_in_scratch(ri); }

// A level surface (the sets hold its files whatever the partition) and a
// Fournier-Forand phase function from the library by its bb/b.
RunInput level_run(const std::string& option) {
  RunInput ri;
  ri.rec["19"] = "0.0 1.34 20.0 35.0";
  ri.text_after = option;
  return ri;
}

// Ed, Eu and Eo of the printout's table of selected irradiances at `depth`
// (as printed, e.g. "5.00"); empty when the row is missing.
std::vector<double> selected_row(const std::string& text, const std::string& depth) {
  const std::size_t table = text.find("   depth(m)          Ed          Eu          Eo");
  if (table == std::string::npos) return {};
  std::istringstream in(text.substr(table));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::string first;
    row >> first;
    if (first != depth) continue;
    std::vector<double> v(3);
    row >> v[0] >> v[1] >> v[2];
    return v;
  }
  return {};
}

}  // namespace

TEST(PartitionOption, TwentyPolarBandsByDefaultTenOnRequestEachFromItsOwnSets) {
  const Outcome fine = run_with(level_run(""));
  ASSERT_EQ(fine.status, 0) << fine.console;
  EXPECT_NE(fine.printout.find("Angular grid: 20 polar-angle bands per hemisphere (band 20 is the polar cap), 24 "
                               "azimuthal bands"),
            std::string::npos);

  const Outcome coarse = run_with(level_run("partition = 10x24\n"));
  ASSERT_EQ(coarse.status, 0) << coarse.console;
  EXPECT_NE(coarse.printout.find("Angular grid: 10 polar-angle bands"), std::string::npos);
  // The same water under the same sky on both partitions: the irradiances
  // agree to the coarse partition's angular error (a few tenths of a percent
  // in Ed and Eo against Monte Carlo references; Eu, which the quad-averaged
  // phase function moves most, to 2 percent).
  for (const char* z : {"0.00", "5.00", "10.00"}) {
    const auto f = selected_row(fine.printout, z), c = selected_row(coarse.printout, z);
    ASSERT_EQ(f.size(), 3u) << z;
    ASSERT_EQ(c.size(), 3u) << z;
    EXPECT_NEAR(f[0] / c[0], 1.0, 0.01) << "Ed at " << z;
    EXPECT_NEAR(f[1] / c[1], 1.0, 0.02) << "Eu at " << z;
    EXPECT_NEAR(f[2] / c[2], 1.0, 0.01) << "Eo at " << z;
    EXPECT_NE(f[0], c[0]) << z;  // two different solutions, not one read twice
  }
}

TEST(PartitionOption, APartitionWithoutDataSetsStopsTheRun) {
  const Outcome o = run_with(level_run("partition = 16x24\n"));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.console.find("run option partition = 16x24: there is no data set ../data/surfaces/Abyssolver_16x24/ "
                           "(surfgen --partition 16x24 --out DIR and dpfgen --nmu NMU --nphi NPHI DIR make one)"),
            std::string::npos)
      << o.console;
  EXPECT_NE(o.console.find("STOP in routine initial"), std::string::npos) << o.console;
}
