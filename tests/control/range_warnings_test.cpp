#include <gtest/gtest.h>

#include <sstream>

#include "control/range_warnings.hpp"
#include "control/run_state.hpp"

using namespace abyss;

namespace {
RunState run_to_50m_400_700() {
  RunState rs;
  rs.cmisc.nz = 3;
  rs.cgrid.z(1) = 0.0;
  rs.cgrid.z(2) = 10.0;
  rs.cgrid.z(3) = 50.0;
  rs.cmisc.nwave = 3;
  rs.cwave.wave(1) = 400.0;
  rs.cwave.wave(2) = 550.0;
  rs.cwave.wave(3) = 700.0;
  return rs;
}
std::string block(RunState& rs) {
  std::ostringstream os;
  rangewarn(rs, os);
  return os.str();
}
}  // namespace

TEST(RangeWarnings, FileCoveringTheRunIsNotRegistered) {
  RunState rs = run_to_50m_400_700();
  rangecheck(rs, 1, 0.0, 100.0, 300.0, 800.0, "full.txt");
  EXPECT_TRUE(rs.crangew.entries.empty());
  EXPECT_EQ(block(rs), "");
}

TEST(RangeWarnings, ProfileFromFiveMetresGivesTheExactBlock) {
  RunState rs = run_to_50m_400_700();
  rangecheck(rs, 1, 5.0, 200.0, 0.0, 0.0, "../data/chl.txt   ");
  const std::string want =
      "\n\n  ***** WARNING MESSAGES FOR INPUT DATA FILES *****\n"
      "     NUMBER OF FILES WITH WARNINGS:    1\n"
      "\n"
      "     Data file: ../data/chl.txt\n"
      "         does not extend over the full range of depths and wavelengths selected for this run.\n"
      "\n"
      "        For depths less than   5.0 m the value at   5.0 m will be used\n"
      "\n"
      "     ABYSSOLVER/TIDEWISE OUTPUTS MAY BE UNPHYSICAL OR INACCURATE\n"
      "      FOR DEPTHS AND WAVELENGTHS OUTSIDE THE RANGE OF THE INPUT DATA.\n"
      "\n"
      "  ***** END WARNING MESSAGES FOR INPUT DATA FILES *****\n\n\n";
  EXPECT_EQ(block(rs), want);
}

TEST(RangeWarnings, EveryFlagInOrderForBothKinds) {
  RunState rs = run_to_50m_400_700();
  rangecheck(rs, 1, 2.0, 20.0, 450.0, 650.0, "a.txt");
  rangecheck(rs, 0, 2.0, 20.0, 450.0, 650.0, "b.txt");
  const std::string b = block(rs);
  EXPECT_NE(b.find("NUMBER OF FILES WITH WARNINGS:    2\n"), std::string::npos);
  const std::string kind1 =
      "        For depths less than   2.0 m the value at   2.0 m will be used\n"
      "        For depths greater than  20.0 m the value at  20.0 m will be used\n"
      "        For wavelengths less than 450.0 nm the value at 450.0 nm will be used\n"
      "        For wavelengths greater than 650.0 nm the value at 650.0 nm will be used\n";
  const std::string kind0 =
      "        For depths less than   2.0 value set to zero\n"
      "        For depths greater than  20.0 value set to zero\n"
      "        For wavelengths less than 450.0 value set to zero\n"
      "        For wavelengths greater than 650.0 value set to zero\n";
  EXPECT_NE(b.find(kind1), std::string::npos);
  EXPECT_NE(b.find(kind0), std::string::npos);
  EXPECT_LT(b.find("a.txt"), b.find("b.txt"));
}

TEST(RangeWarnings, SpectrumStartingAt450SetsOnlyTheShortWavelengthFlag) {
  RunState rs = run_to_50m_400_700();
  rangecheck(rs, 1, 0.0, 0.0, 450.0, 800.0, "s.txt");
  ASSERT_EQ(rs.crangew.entries.size(), 1u);
  const auto& f = rs.crangew.entries[0].flag;
  EXPECT_FALSE(f[0]);
  EXPECT_FALSE(f[1]);  // zmax 0: no depth dependence given
  EXPECT_TRUE(f[2]);
  EXPECT_FALSE(f[3]);
}

TEST(RangeWarnings, OnlyTheFirstEighteenFilesAreKeptAndTheRestAreCounted) {
  RunState rs = run_to_50m_400_700();
  for (int i = 1; i <= 20; ++i) {
    std::string name = "f";
    name += std::to_string(i);
    name += ".txt";
    rangecheck(rs, 1, 5.0, 0.0, 0.0, 0.0, name);
  }
  EXPECT_EQ(rs.crangew.entries.size(), 18u);
  const std::string b = block(rs);
  EXPECT_NE(b.find("NUMBER OF FILES WITH WARNINGS:   18\n"
                   "     (2 further file(s) with warnings not listed: only the first 18 are kept)\n"),
            std::string::npos);
  EXPECT_NE(b.find("Data file: f18.txt"), std::string::npos);
  EXPECT_EQ(b.find("Data file: f19.txt"), std::string::npos);
}
