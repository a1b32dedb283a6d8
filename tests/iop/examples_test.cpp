// The shipped example runs go through initialization with the IOP model
// echoed in its section of the printout.
#include <gtest/gtest.h>

#include <sstream>

#include "support/run_input.hpp"

using abyss::testing::read_file;
using abyss::testing::ScratchRun;

namespace {
std::string example(const std::string& name) {
  return abyss::testing::on_coarse_grid(read_file(std::string(ABYSS_SOURCE_DIR) + "/examples/" + name + ".txt"));
}
// The IOP section of a printout.
std::string iop_section(const std::string& p) {
  const auto b = p.find("  ***** BEGIN IOP MODEL SPECIFICATIONS *****");
  const auto e = p.find("  ***** END IOP MODEL SPECIFICATIONS *****");
  if (b == std::string::npos || e == std::string::npos) return "";
  return p.substr(b, e - b);
}
}  // namespace

TEST(IopExamples, EachExampleEchoesItsModel) {
  const std::pair<std::string, std::string> runs[] = {{"constant_single", "\"abconst\""},
                                                      {"case1_default", "\"abcase1\""},
                                                      {"case2_coastal", "\"abcase2\""},
                                                      {"case1_twoparticle", "\"abnewcase1\""},
                                                      {"ac9_coastal", "\"abacbb\""},
                                                      {"ac9_cdom", "\"abacbb\""}};
  for (const auto& [name, routine] : runs) {
    SCOPED_TRACE(name);
    ScratchRun run;
    std::string console;
    ASSERT_EQ(run.run_exe(example(name), console), 0) << console;
    const std::string p = read_file(run.printout(name));
    EXPECT_NE(iop_section(p).find("The IOP routine " + routine + " is being used"), std::string::npos);
    EXPECT_EQ(p.find("WARNING MESSAGES FOR INPUT DATA FILES"), std::string::npos);  // the data cover the runs
    EXPECT_EQ(p.find("CheckDat"), std::string::npos);
  }
}

TEST(IopExamples, ProfileShallowerThanTheRunIsListedInTheWarningBlock) {
  std::string input = example("case2_coastal");
  const std::string depths = "0 5 0.0 2.0 5.0 10.0 20.0";
  input.replace(input.find(depths), depths.size(), "0 2 0.0 300.0");
  ScratchRun run;
  std::string console;
  ASSERT_EQ(run.run_exe(input, console), 0) << console;
  const std::string p = read_file(run.printout("case2_coastal"));
  EXPECT_NE(p.find("     NUMBER OF FILES WITH WARNINGS:    2\n"), std::string::npos);
  EXPECT_NE(p.find("     Data file: ../data/chlzprofile_gaussian.txt\n"), std::string::npos);
  EXPECT_NE(p.find("        For depths greater than 200.0 m the value at 200.0 m will be used\n"), std::string::npos);
  // The block is the last thing initialization writes, after the bottom section.
  EXPECT_LT(p.find("END BOTTOM BOUNDARY SPECIFICATIONS"), p.find("WARNING MESSAGES FOR INPUT DATA FILES"));
}

TEST(IopExamples, PhaseFunctionOption2WithoutTheAc9ModelStops) {
  // The default example with its particles' phase function taken from ac-9 data it does not have.
  std::string input = example("case1_default");
  const std::string particles = "\n1 0.012 0.0 0.0 0.0\n";
  ASSERT_NE(input.find(particles), std::string::npos);
  input.replace(input.find(particles), particles.size(), "\n2 0.012 0.0 0.0 0.0\n");
  ScratchRun run;
  std::string console;
  EXPECT_NE(run.run_exe(input, console), 0);
  EXPECT_NE(console.find(" Phase-function option 2 (record 12) is given for component 2, but it needs the ac-9 IOP "
                         "model (model 3 in record 1); the run asks for IOP model 1.\n"),
            std::string::npos)
      << console;
  EXPECT_NE(console.find("phase-function option 2 needs the ac-9 IOP model (3)"), std::string::npos);
  const std::string p = read_file(run.printout("case1_default"));
  EXPECT_NE(p.find("STOP in routine initial"), std::string::npos);
  EXPECT_EQ(p.find("BEGIN IOP MODEL SPECIFICATIONS"), std::string::npos);  // stopped before any IOP was computed
}

namespace {
// The block of one quantity ("Ed", "Eu", ...) of a multi-wavelength spreadsheet, without the title line above it.
std::string spreadsheet_block(const std::string& m, const std::string& name) {
  const auto b = m.find("\n" + name + "\t");
  if (b == std::string::npos) return "";
  return m.substr(b, m.find("\n\n", b + 1) - b);
}
}  // namespace

// The CDOM mode only splits "everything else" into particles and CDOM: the
// totals, and so the light, are those of the plain ac-9 run of the same
// station, while the printout's tables show the split.
TEST(IopExamples, Ac9CdomModeSplitsTheAbsorptionAndKeepsTheLight) {
  ScratchRun run;
  std::string console;
  ASSERT_EQ(run.run_exe(example("ac9_cdom"), console), 0) << console;
  ASSERT_EQ(run.run_exe(example("ac9_coastal"), console), 0) << console;
  const auto excel = run.root() / "output" / "Abyssolver" / "excel";
  const std::string cdom = read_file(excel / "Mac9_cdom.txt"), plain = read_file(excel / "Mac9_coastal.txt");
  for (const char* q : {"Ed", "Eu", "Eo", "Lu"}) {
    SCOPED_TRACE(q);
    ASSERT_FALSE(spreadsheet_block(plain, q).empty());
    EXPECT_EQ(spreadsheet_block(cdom, q), spreadsheet_block(plain, q));
  }
  const std::string p = read_file(run.printout("ac9_cdom"));
  EXPECT_NE(p.find("        component 3 is CDOM: a from the ac-9 table of filtered water\n"), std::string::npos);
  // 425 nm at the surface: water, particles (0.0583 = whole-water minus filtered-water a), CDOM, total.
  EXPECT_NE(p.find("   1     0.000      0.000     0.0048   0.0583   0.3199   0.3830\n"), std::string::npos);
}
