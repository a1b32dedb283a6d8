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

// The per-band lines of the sources' share, the notes on missing excitation
// and the spreadsheet tables.
TEST(InelasticOutput, ShareLinesNotesAndSpreadsheetTables) {
  std::string input = case1_input(0.1, "400 420 440 460 480 500 520 ", "0 2 0.0 5.0", "0 0 0 1 2");
  input.replace(input.find("\n0 0 0 0 0 1\n"), 13, "\n0 0 0 1 0 1\n");
  ScratchRun run;
  std::string console;
  ASSERT_EQ(run.run_exe(input, console), 0) << console;
  const std::string p = read_file(run.printout("inel"));
  EXPECT_NE(p.find("\n     Inelastic sources of a band are computed from the bands already solved (shorter wavelengths);\n"
                   "     light excited within the emitting band itself or at longer wavelengths is not included.\n"),
            std::string::npos);
  EXPECT_NE(p.find("\n     NOTE:  Raman emission below about 463.0 nm is excited partly by light shorter than the first band\n"
                   "              ( 400.0 nm); that light is not in this run and its Raman emission is absent.\n"),
            std::string::npos);
  const std::string head = "\n Inelastic and internal sources at  510.0 nm (total, elastic only, share of the total from the sources):\n"
                           "   Lw (nadir, W/m^2 sr nm)  ";
  const auto at = p.find(head);
  ASSERT_NE(at, std::string::npos);
  const std::string lw = p.substr(at + head.size() - 2, 33);  // 1PE12.4, 1PE12.4, F9.4
  EXPECT_EQ(lw[8], 'E');
  const double share = std::stod(lw.substr(24, 9));
  EXPECT_GT(share, 0.02);
  EXPECT_LT(share, 0.2);
  EXPECT_NE(p.find("   Eu(0-) (W/m^2 nm)        ", at), std::string::npos);
  const std::string m = read_file(run.root() / "output" / "Abyssolver" / "excel" / "Minel.txt");
  EXPECT_NE(m.find("Lw_elastic\twater-leaving radiance without the internal sources [W m^-2 sr^-1 nm^-1]\n"
                   "wavelength_nm\tair\n410.00\t"),
            std::string::npos);
  EXPECT_NE(m.find("Lw_source_share\tshare of Lw due to Raman, fluorescence and bioluminescence [dimensionless]\n"
                   "wavelength_nm\tair\n410.00\t0.000000E+00\n"),
            std::string::npos);
}
