// Bad run-input files, grouped by class of fault. Every one ends the real
// program with status 1, a detail line naming the record and the ERROR / STOP
// lines; none gives a NaN, a hang or a status 0 with a wrong answer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/run_input.hpp"

using abyss::testing::read_file;
using abyss::testing::RunInput;
using abyss::testing::ScratchRun;

namespace {

using Outcome = abyss::testing::RunOutcome;

Outcome run_with(const RunInput& ri) { return abyss::testing::run_in_scratch(ri); }

struct BadRecord {
  const char* record;
  const char* text;
  const char* detail;  // expected in the console line " Run-input file, record N: ..."
};

void PrintTo(const BadRecord& b, std::ostream* os) { *os << "record " << b.record << ": " << b.text; }

void expect_record_error(const Outcome& o, const BadRecord& b) {
  EXPECT_EQ(o.status, 1) << o.console;
  const std::string line = std::string(" Run-input file, record ") + b.record + ": ";
  const auto at = o.console.find(line);
  ASSERT_NE(at, std::string::npos) << o.console;
  EXPECT_NE(o.console.find(b.detail, at), std::string::npos) << o.console;
  EXPECT_NE(o.console.find(std::string("  ERROR: bad run-input record ") + b.record + "\n  STOP in routine initial\n"),
            std::string::npos)
      << o.console;
  EXPECT_EQ(o.console.find("Run is complete"), std::string::npos);
}

class RunInputFault : public ::testing::TestWithParam<BadRecord> {};

TEST_P(RunInputFault, StopsNamingTheRecord) {
  RunInput ri;
  ri.rec[GetParam().record] = GetParam().text;
  expect_record_error(run_with(ri), GetParam());
}

// Numbers that strtod would take but Fortran's list-directed input would not,
// values beyond double precision, decimal commas and runaway repeat counts.
INSTANTIATE_TEST_SUITE_P(
    StrictNumbers, RunInputFault,
    ::testing::Values(BadRecord{"7", "nan", "\"nan\" is not a decimal number"},
                      BadRecord{"7", "inf", "\"inf\" is not a decimal number"},
                      BadRecord{"7", "1e999", "\"1e999\" is out of the range of double precision numbers"},
                      BadRecord{"19", "0x5 1.34 20 35", "\"0x5\" is not a decimal number"},
                      BadRecord{"19", "5,0 1,34 20 35", "has decimal commas"},
                      BadRecord{"18", "10000000*0.5", "repeat count in \"10000000*0.5\" exceeds the 10 value(s)"},
                      BadRecord{"18", "1000000000*", "repeat count"},
                      BadRecord{"6", "99999999999 1", "out of the range of integers"},
                      BadRecord{"21", "0 3 0.0 5.0 inf", "\"inf\" is not a decimal number"},
                      BadRecord{"21", "0 3 0.0 5.0 1e999", "out of the range"},
                      BadRecord{"17", "1 5 NaN 0.0 0.0 0.3 1.0", "\"NaN\" is not a decimal number"}));

// Physical ranges of the fields.
INSTANTIATE_TEST_SUITE_P(
    PhysicalRanges, RunInputFault,
    ::testing::Values(BadRecord{"17", "1 5 95.0 0.0 0.0 0.3 1.0", "solar zenith angle (deg) = 95 is outside [0, 90]"},
                      BadRecord{"17", "1 5 -30.0 0.0 0.0 0.3 1.0", "solar zenith angle (deg) = -30 is outside [0, 90]"},
                      BadRecord{"17", "1 5 30.0 0.0 0.0 2.0 1.0", "Rsky = Ed(sky)/Ed(total) = 2 is outside [0, 1]"},
                      BadRecord{"17", "1 5 30.0 0.0 0.0 0.3 -1.0", "Ed(total) = -1 W/(m^2 nm) is negative"},
                      BadRecord{"17", "1 5 30.0 0.0 -3.0 0.3 1.0", "C = -3 is below -1"},
                      BadRecord{"17", "1 5 30.0 500.0 0.0 0.3 1.0", "solar azimuth (deg) = 500"},
                      BadRecord{"17", "1 12 30 0 0 .3 1 0 0 0 0 0 0 0", "the number of sky values is 12; at most 10 are used"},
                      BadRecord{"17", "2 1000000000 30 0 0", "the number of sky values is 1000000000; at most 10"},
                      BadRecord{"17", "2 8 30 0 0 0 0 0 0 0", "sky model 2 uses at most 6 sky values; the count is 8"},
                      BadRecord{"17", "3 3 25.0 0.0 0.0", "GMT (hours) = 25 is outside [0, 24]"},
                      BadRecord{"19", "5.0 0.5 20.0 35.0", "index of refraction = 0.5 is not that of water"},
                      BadRecord{"19", "5.0 5 20.0 35.0", "index of refraction = 5 is not that of water"},
                      BadRecord{"19", "-1.0 1.34 20.0 35.0", "wind speed = -1 m/s is negative"},
                      BadRecord{"19", "5.0 0 20.0 -35.0", "salinity (PSU) = -35 is outside"},
                      BadRecord{"20", "1 1.5", "bottom reflectance = 1.5 is outside [0, 1]"},
                      BadRecord{"20", "1 -0.5", "bottom reflectance = -0.5 is outside [0, 1]"},
                      BadRecord{"21", "0 3 -1.0 5.0 10.0", "the first output depth -1 is negative"},
                      BadRecord{"21", "0 2 0.0 1e6", "the last output depth 1e+06 m exceeds 12000 m"},
                      BadRecord{"21", "1 2 0.0 5000", "the last output depth 5000 (optical) exceeds 700"},
                      BadRecord{"7", "-0.5", "concentration 1 = -0.5 is negative"},
                      BadRecord{"12", "1 0.7 0.0 0.0 0.0", "bb/b = 0.7 is outside (0, 0.5]"},
                      BadRecord{"12", "1 0.0 0.0 0.0 0.0", "bb/b = 0 is outside (0, 0.5]"},
                      BadRecord{"12", "3 0.0 550.0 0.9 1.0", "the bb/b power law gives"},
                      BadRecord{"15", "-550.0 0.1 0.3", "are outside (0, 10000] nm"},
                      BadRecord{"15", "550.0 -0.1 0.3", "constant absorption a = -0.1 1/m is negative"},
                      BadRecord{"15", "550.0 -1 0.3", "constant absorption a = -1 1/m is negative"},
                      BadRecord{"15", "550.0 0.1 -1e-3", "constant scattering b = -0.001 1/m is negative"},
                      BadRecord{"16", "0 0 0 0 -2", "chlorophyll component index -2 is negative"},
                      BadRecord{"12", "7 0.02 0.0 0.0 0.0", "phase-function option 7 is not 0, 1, 2 or 3"},
                      BadRecord{"10", "3 -1.0 1.0 0.0 0.0 0.0", "specific scattering parameter B = -1 is negative"},
                      BadRecord{"10", "1 1.0 1.0 1.0 0.0 0.0", "reference wavelength 0 nm is not positive"},
                      BadRecord{"8", "0 6 440.0 -0.1 0.0", "specific absorption parameter A = -0.1 is negative"}));

// Names are never cut: a cut name may be the name of another file that exists.
INSTANTIATE_TEST_SUITE_P(
    Names, RunInputFault,
    ::testing::Values(BadRecord{"22", "/tmp/" "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.txt",
                                "the name is 129 characters long; at most 120 are allowed"},
                      BadRecord{"3", "a_root_name_that_is_longer_than_32_chars", "at most 32 are allowed"},
                      BadRecord{"3", "../../elsewhere", "may not contain a directory separator"},
                      BadRecord{"24", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb.txt",
                                "the file name with its directory"}));

TEST(RunInputFaults, ACountTooLargeForItsLineIsTracedBackToItsRecord) {
  RunInput ri;
  ri.rec["17"] = "1 8 30.0 0.0 0.0 0.3 1.0";  // 8 announced, 5 given: three values come from record 18
  Outcome o = run_with(ri);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.console.find("(record 17 took its 8 values from 2 lines: is its count right?)"), std::string::npos)
      << o.console;
}

TEST(RunInputFaults, AnInfiniteLastDepthCannotHangTheSecchiDepth) {
  RunInput ri;
  ri.rec["21"] = "0 3 0.0 5.0 1.7e308";  // finite, but no depth of any water
  Outcome o = run_with(ri);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.console.find("exceeds 12000 m"), std::string::npos) << o.console;
  ri.rec["21"] = "0 3 0.0 5.0 1.8e308";  // beyond double precision
  o = run_with(ri);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.console.find("\"1.8e308\" is out of the range of double precision numbers"), std::string::npos);
}

// The run's output files: stale files of an earlier run of the same root go,
// and a printout the file system refuses is a fatal error.
TEST(OutputFaults, StaleFilesOfTheSameRootAreRemovedWhenTheRunStarts) {
  ScratchRun scratch;
  namespace fs = std::filesystem;
  const fs::path out = scratch.root() / "output" / "Abyssolver";
  fs::create_directories(out / "digital");
  fs::create_directories(out / "excel");
  const std::vector<fs::path> stale = {out / "digital" / "Dtestrun.txt", out / "digital" / "Ltestrun.txt",
                                       out / "excel" / "Stestrun.txt", out / "excel" / "Mtestrun.txt",
                                       out / "digital" / "testrun.nc"};
  for (const auto& p : stale) std::ofstream(p) << "from an earlier run\n";
  std::ofstream(out / "digital" / "Dother.txt") << "another root\n";
  RunInput ri;
  ri.rec["20"] = "1 7.0";  // fails in the range checks, after the printout is open
  std::string console;
  EXPECT_EQ(scratch.run_exe(ri.text(), console), 1);
  for (const auto& p : stale) EXPECT_FALSE(fs::exists(p)) << p;
  EXPECT_TRUE(fs::exists(out / "digital" / "Dother.txt"));
}

TEST(OutputFaults, APrintoutThatCannotBeWrittenIsFatal) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ScratchRun scratch;
  namespace fs = std::filesystem;
  const fs::path dir = scratch.root() / "output" / "Abyssolver" / "Printout";
  fs::create_directories(dir);
  fs::create_symlink("/dev/full", dir / "Ptestrun.txt");  // a full disk
  std::string console;
  EXPECT_EQ(scratch.run_exe(RunInput().text(), console), 1);
  EXPECT_NE(console.find("cannot write output file"), std::string::npos) << console;
  EXPECT_EQ(console.find("Run is complete"), std::string::npos);
}

// An optically absurd water column. The exact solver propagates any optical
// thickness: the run completes, says that no light reaches the deepest depth,
// and writes zero there, never a NaN. The Adams integration stops at once with
// a message naming the band instead of running for hours.
TEST(WorkFaults, AnOpticallyAbsurdColumnCompletesExactlyOrStopsTheIntegration) {
  RunInput ri;
  ri.rec["15"] = "550.0 1.0e5 1.0e5";  // c = 2e5 1/m
  ri.rec["21"] = "0 2 0.0 11000.0";
  Outcome exact = run_with(ri);
  EXPECT_EQ(exact.status, 0) << exact.console;
  EXPECT_NE(exact.console.find(" WARNING: band 1 (550.0 nm): the deepest output depth lies at optical depth 2.2e+09;"),
            std::string::npos)
      << exact.console;
  ri.text_after += "solver = adams\n";
  Outcome o = run_with(ri);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.console.find("STOP in routine riccati"), std::string::npos) << o.console;
  EXPECT_NE(o.console.find("band 1 (550.0 nm)"), std::string::npos) << o.console;
}

// Thick enough to be integrable in principle, too thick for the budget: the
// pass stops where its steps ran out, naming band, mode and pass.
TEST(WorkFaults, TheIntegrationStopsOnItsStepBudget) {
  RunInput ri;
  ri.rec["15"] = "550.0 1.0e5 1.0e5";
  ri.rec["21"] = "0 2 0.0 2.5";  // 500000 optical depths
  ri.text_after += "solver = adams\n";
  Outcome o = run_with(ri);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.console.find(" WARNING: band 1 (550.0 nm): the deepest output depth lies at optical depth 500000;"),
            std::string::npos);
  EXPECT_NE(o.console.find("ERROR: the depth integration of band 1 (550.0 nm), mode l = 0, pass 1 used its budget of "
                           "200000 steps"),
            std::string::npos)
      << o.console;
}

// Data files named by the run: a bottom-reflectance file that is empty, is
// some other text, has a garbled row or a reflectance above 1.
TEST(DataFileFaults, BadBottomFilesStopTheRunNamingTheFile) {
  const std::string header = "h1\nh2\nh3\nh4\nh5\nh6\nh7\nh8\nh9\nh10\n";
  struct Case {
    std::string body, expect;
  };
  const std::vector<Case> cases = {
      {"", "ends at line 1, inside its 10 header records"},
      {header + "-1 0\n", "no data records in "},
      {header + "400 0.1\n500 O.2\n600 0.3\n", ": \"O.2\" is not a decimal number"},
      {header + "400 0.1\n500 nan\n", ": \"nan\" is not a decimal number"},
      {header + "400 1.5\n700 1.5\n", "is 1.5 at 550.0 nm, above 1"},
  };
  for (const Case& c : cases) {
    ScratchRun scratch;
    const std::string file = (scratch.root() / "bottom_file.txt").string();
    std::ofstream(file) << c.body;
    RunInput ri;
    ri.rec["20"] = "2 0.0";
    ri.rec["29"] = file;
    std::string console;
    EXPECT_EQ(scratch.run_exe(ri.text(), console), 1) << console;
    EXPECT_NE(console.find(c.expect), std::string::npos) << c.expect << "\n" << console;
    EXPECT_NE(console.find("bottom_file.txt"), std::string::npos) << console;
    EXPECT_EQ(console.find("Run is complete"), std::string::npos);
  }
}

// Values outside what the data can serve, where the run goes on: the
// console and the printout both say which value is used.
TEST(MovedValues, WarnOnTheConsoleAndInThePrintout) {
  struct Case {
    const char* record;
    const char* text;
    const char* warning;
    const char* record5 = "0 0 0 0 0";  // the Harrison and Coombes sky is option 1 of the second entry
  };
  const std::vector<Case> cases = {
      {"19", "5.0 1.9 20.0 35.0", "The index of refraction 1.9000 is outside the available surface files; n = "},
      {"19", "60.0 1.34 20.0 35.0", "The requested wind speed of U =  60.000 is greater than the maximum available speed."},
      {"17", "2 3 30.0 0.0 1.5", "WARNING: CLOUD fraction greater than one!  Set to one.", "0 1 0 0 0"},
  };
  for (const Case& c : cases) {
    RunInput ri;
    ri.rec[c.record] = c.text;
    ri.rec["5"] = c.record5;
    Outcome o = run_with(ri);
    EXPECT_EQ(o.status, 0) << o.console;
    EXPECT_NE(o.console.find(c.warning), std::string::npos) << c.warning << "\n" << o.console;
    EXPECT_NE(o.printout.find(c.warning), std::string::npos) << c.warning;
  }
}

}  // namespace
