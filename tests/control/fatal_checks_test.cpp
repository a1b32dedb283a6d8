// Every fatal check of the run-input file ends the real program with the
// ERROR / STOP lines on the console and in the printout, and status 1.
#include <gtest/gtest.h>

#include "support/run_input.hpp"

using abyss::testing::read_file;
using abyss::testing::RunInput;
using abyss::testing::ScratchRun;

namespace {

struct Outcome {
  int status;
  std::string console, printout;
};

Outcome run_with(RunInput ri) {
  ScratchRun scratch;
  Outcome o;
  o.status = scratch.run_exe(ri.text(), o.console);
  o.printout = read_file(scratch.printout("testrun"));
  return o;
}

void expect_stop(const Outcome& o, const std::string& msg, const std::string& routine) {
  const std::string tail = "\n  ERROR: " + msg + "\n  STOP in routine " + routine + "\n";
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.console.find(tail), std::string::npos) << o.console;
}

}  // namespace

TEST(FatalChecks, TooManyComponents) {
  RunInput ri;
  ri.rec["6"] = "6 1";
  auto o = run_with(ri);
  expect_stop(o, "increase model component LIMIT in UI", "initial");
  EXPECT_NE(o.console.find(" ncomp =  6 gt mxcomp =  5\n"), std::string::npos);
  EXPECT_NE(o.printout.find(" ncomp =  6 gt mxcomp =  5\n\n  ERROR: increase model component LIMIT in UI\n"
                            "  STOP in routine initial\n"),
            std::string::npos);
}

TEST(FatalChecks, TooManyBands) {
  RunInput ri;
  ri.rec["14"] = "151";
  auto o = run_with(ri);
  expect_stop(o, "increase wavelength LIMIT in UI", "initial");
  EXPECT_NE(o.console.find(" nwave =151 gt mxwave =150\n"), std::string::npos);
}

TEST(FatalChecks, InvalidSkyFlag) {
  RunInput ri;
  ri.rec["17"] = "4 2 30.0 0.5";
  auto o = run_with(ri);
  expect_stop(o, "invalid sky model", "initial");
  EXPECT_NE(o.console.find(" invalid sky model option:  iskyflag =           4\n skydata = 30 0.5\n"),
            std::string::npos);
}

TEST(FatalChecks, DepthsNotIncreasing) {
  RunInput ri;
  ri.rec["21"] = "0 4 0 5 5 10";
  auto o = run_with(ri);
  expect_stop(o, "invalid depths", "initial");
  EXPECT_NE(o.printout.find("\n\n ERROR:\n depths are not monotonically increasing\n\n depths = \n"
                            "     0.000     5.000     5.000    10.000\n"),
            std::string::npos);
  // The printout is closed before the stop: the ERROR lines go to the console only.
  EXPECT_EQ(o.printout.find("STOP in routine"), std::string::npos);
}

TEST(FatalChecks, OpticalDepthWithSources) {
  RunInput ri;
  ri.rec["16"] = "0 0 0 1 0";
  ri.rec["21"] = "1 2 0.0 1.0";
  auto o = run_with(ri);
  expect_stop(o, "cannot use optic depth when inelastic sources present", "initial");
  EXPECT_NE(o.printout.find("\n\nERROR:\n OPTICAL depth being used with internal sources:  MUST use GEOMETRIC depth\n"),
            std::string::npos);
}

TEST(FatalChecks, TooManyOutputDepths) {
  RunInput ri;
  std::string depths = "0 201";
  for (int i = 0; i < 201; ++i) depths += " " + std::to_string(i);
  ri.rec["21"] = depths;
  auto o = run_with(ri);
  expect_stop(o, "increase LIMIT of number of ouput depths in UI", "initprintout");
  EXPECT_NE(o.console.find(" nz =201 gt mxz =200\n"), std::string::npos);
  EXPECT_NE(o.printout.find(" nz =201 gt mxz =200\n"), std::string::npos);
}

TEST(FatalChecks, EmptyInputIsReportedNotCrashed) {
  ScratchRun scratch;
  std::string console;
  EXPECT_EQ(scratch.run_exe("", console), 1);
  EXPECT_NE(console.find("record 1: the file ends before this record"), std::string::npos);
  EXPECT_NE(console.find("  STOP in routine initial\n"), std::string::npos);
}

TEST(FatalChecks, RequestedSourcesAreTakenUp) {
  RunInput ri;
  ri.rec["16"] = "0 0 0 1 0";
  auto o = run_with(ri);
  EXPECT_EQ(o.console.find("STOP in routine wrfdisc"), std::string::npos);
  EXPECT_NE(o.printout.find("     Raman scattering is included in this run\n"), std::string::npos);
}
