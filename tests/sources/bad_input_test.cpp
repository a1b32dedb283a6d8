// Runs that ask for sources they cannot have, and source data that do not
// cover the run.
#include <gtest/gtest.h>

#include "inelastic_run.hpp"
#include "support/run_input.hpp"

using namespace abyss::testing;

namespace {
std::string printout_of(ScratchRun& run) { return read_file(run.printout("inel")); }
}  // namespace

TEST(InelasticBadInput, FluorescenceWithoutChlorophyllComponentWarnsAndRunsOn) {
  ScratchRun run;
  std::string console;
  ASSERT_EQ(run.run_exe(case1_input(0.1, "440 460 480 ", "0 2 0.0 5.0", "0 1 0 0 0"), console), 0) << console;
  const std::string p = printout_of(run);
  EXPECT_NE(p.find("\n     WARNING: Chlorophyll fluorescence could not be included because CHL is not specified!\n"
                   "        To include chl-fluorescence, rerun frontend.\n"),
            std::string::npos);
  EXPECT_EQ(p.find("Chlorophyll fluorescence is included in this run"), std::string::npos);
  EXPECT_EQ(p.find("Inelastic and internal sources at"), std::string::npos);  // nothing left on
}

TEST(InelasticBadInput, OpticalDepthWithSourcesStops) {
  ScratchRun run;
  std::string console;
  EXPECT_NE(run.run_exe(case1_input(0.1, "440 460 480 ", "1 2 0.0 1.0", "0 0 0 1 2"), console), 0);
  const std::string p = printout_of(run);
  EXPECT_NE(p.find("\n\nERROR:\n OPTICAL depth being used with internal sources:  MUST use GEOMETRIC depth\n"),
            std::string::npos);
  EXPECT_NE(console.find("  ERROR: cannot use optic depth when inelastic sources present\n  STOP in routine initial\n"),
            std::string::npos);
}

TEST(InelasticBadInput, BioluminescenceFileNotCoveringTheRunIsListed) {
  ScratchRun run;
  std::string console;
  ASSERT_EQ(run.run_exe(case1_input(0.1, "360 370 380 480 ", "0 3 0.0 20.0 100.0", "1 0 0 0 2"), console), 0)
      << console;
  const std::string p = printout_of(run);
  EXPECT_NE(p.find("     A bioluminescent source is included in this run\n"), std::string::npos);
  EXPECT_NE(p.find("     Data file: ../data/bioluminescence_example.txt\n"), std::string::npos);
  EXPECT_NE(p.find("        For depths greater than  60.0 value set to zero\n"), std::string::npos);
  EXPECT_NE(p.find("        For wavelengths less than 380.0 value set to zero\n"), std::string::npos);
  EXPECT_LT(p.find("END BOTTOM BOUNDARY SPECIFICATIONS"), p.find("Data file: ../data/bioluminescence_example.txt"));
}

// Bioluminescence adds light where the table has it: the 430 nm band (inside
// the table) gains, and the share printed with the band is positive.
TEST(InelasticBadInput, BioluminescenceAddsLightInsideTheTable) {
  InProcessRun run(case1_input(0.1, "420 440 ", "0 3 0.0 10.0 30.0", "1 0 0 0 2"), false);
  const BandIrradiances& b = run.bands[1];
  EXPECT_GT(b.lu0_in, 0.0);
  EXPECT_GT(b.eo_in[b.eo_in.size() / 2], 0.0);
}
