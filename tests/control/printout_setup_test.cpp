// The doubled depth grid and the printout selections.
#include <gtest/gtest.h>

#include <sstream>

#include "control/initial.hpp"
#include "control/run_state.hpp"

using namespace abyss;

namespace {
std::vector<double> grid_for(const std::vector<double>& req, RunState& rs) {
  std::ostringstream con;
  rs.console = &con;
  rs.cgrid.zreq = req;
  initprintout(rs);
  std::vector<double> z;
  for (int k = 1; k <= rs.cmisc.nz; ++k) z.push_back(rs.cgrid.z(k));
  return z;
}
}  // namespace

TEST(PrintoutSetup, EveryDepthGetsALocalPartnerAndTheBottomStays) {
  RunState rs;
  auto z = grid_for({0.0, 5.0, 10.0}, rs);
  ASSERT_EQ(z.size(), 6u);
  EXPECT_DOUBLE_EQ(z[1], 0.01);
  EXPECT_DOUBLE_EQ(z[4], 9.99);
  EXPECT_DOUBLE_EQ(z[5], 10.0);
  EXPECT_EQ(rs.sel.pirrad, (std::vector<int>{1, 3, 6}));
  EXPECT_EQ(rs.sel.pkfcn, (std::vector<int>{1, 3, 5}));
}

TEST(PrintoutSetup, CloseDepthsShrinkTheOffsetAndStayIncreasing) {
  RunState rs;
  auto z = grid_for({1.0, 1.015, 1.02}, rs);
  for (std::size_t i = 1; i < z.size(); ++i) EXPECT_GT(z[i], z[i - 1]) << i;
  EXPECT_NEAR(z[1] - z[0], 0.015 / 4, 1e-12);
  EXPECT_NEAR(z[5] - z[4], 0.005 / 4, 1e-12);
}

TEST(PrintoutSetup, SingleSurfaceDepthPairsBelow) {
  RunState rs;
  auto z = grid_for({0.0}, rs);
  EXPECT_EQ(z, (std::vector<double>{0.0, 0.01}));
  EXPECT_EQ(rs.sel.pirrad, (std::vector<int>{1}));
}

TEST(PrintoutSetup, OpticalDepthsDoubleTheZetaGrid) {
  RunState rs;
  rs.cmisc.iop = 1;
  grid_for({0.0, 2.0}, rs);
  EXPECT_DOUBLE_EQ(rs.cgrid.zeta(3), 1.99);
}
