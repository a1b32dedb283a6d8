#include <gtest/gtest.h>

#include "../grid/depth_test_run.hpp"
#include "control/dynz.hpp"

using namespace abyss;
using abyss::testing::TestRun;

namespace {

// Constant IOPs (c = 0.4 1/m, so 20 attenuation lengths are 50 m) below a
// deepest output depth of 10 m, three bands.
struct DynzRun : TestRun {
  explicit DynzRun(const std::string& name, int nz) : TestRun(name, 0.1, 0.3) {
    rs->cmisc.nz = nz;
    for (int k = 1; k <= nz; ++k) rs->cgrid.z(k) = 10.0 * k / nz;
    rs->cmisc.nwave = 3;
    for (int j = 1; j <= 3; ++j) rs->cwave.wave(j) = 400.0 + 50.0 * j;
    rs->cmisc.idynz = 1;
  }
};

TEST(Dynz, EqualAttenuationAddsFiveDepths) {
  DynzRun t("dynz_five", 2);
  getdynz(*t.rs, 0);
  ASSERT_EQ(t.rs->cmisc.nz, 7);
  const double expect[] = {20.0, 30.0, 40.0, 50.0, 60.0};
  for (int k = 0; k < 5; ++k) EXPECT_NEAR(t.rs->cgrid.z(3 + k), expect[k], 1e-12);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(t.rs->cdynz.ibottom(j), 7);
  EXPECT_EQ(t.rs->cmisc.jwave, 1);  // the current band is restored
  EXPECT_EQ(t.printout(), "");
  t.rs->cmisc.nz = 3;
  getdynz(*t.rs, 2);
  EXPECT_EQ(t.rs->cmisc.nz, 7);
  EXPECT_EQ(t.printout(), "\n  The infinitely deep bottom boundary condition is applied at  60.0 m at  500.0 nm\n\n");
}

TEST(Dynz, FullGridCannotBeUsed) {
  DynzRun t("dynz_full", 400);
  getdynz(*t.rs, 0);
  EXPECT_EQ(t.rs->cmisc.idynz, 0);
  EXPECT_EQ(t.rs->cmisc.nz, 400);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(t.rs->cdynz.ibottom(j), 400);
  EXPECT_EQ(t.printout(),
            "\n      NOTICE:  Dynamic Depth cannot be used because all output depths are in use.\n"
            "               Consider increasing the output depth LIMIT in the UI\n"
            "               to allow the dynamic depth option to be used\n"
            "               Current mxz:  400     Optimum mxz for this run:  405\n");
}

TEST(Dynz, LittleRoomSpreadsEvenlyToTheDeepestBottom) {
  DynzRun t("dynz_little", 397);
  getdynz(*t.rs, 0);
  EXPECT_EQ(t.rs->cmisc.idynz, 1);
  EXPECT_EQ(t.rs->cmisc.nz, 400);
  EXPECT_NEAR(t.rs->cgrid.z(398), 10.0 + 50.0 / 3.0, 1e-12);
  EXPECT_DOUBLE_EQ(t.rs->cgrid.z(400), 60.0);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(t.rs->cdynz.ibottom(j), 400);
  EXPECT_EQ(t.printout(),
            "\n      NOTICE:  consider increasing the output depth LIMIT in the UI\n"
            "               to make the dynamic depth option run more efficiently (faster)\n"
            "               nz Available:    3     nz Requested:    5     Optimum mxz for this run:  402\n");
}

TEST(Dynz, MergingKeepsEveryBottomAtOrBelowItsOwnDepth) {
  const std::vector<double> zb{30.0, 12.05, 12.0, 30.08, 55.0, 12.12};
  std::vector<int> group;
  const std::vector<double> list = merge_bottom_depths(zb, group);
  ASSERT_EQ(list.size(), 3u);  // {12, 12.05, 12.12}, {30, 30.08}, {55}
  EXPECT_DOUBLE_EQ(list[0], 12.12);
  EXPECT_DOUBLE_EQ(list[1], 30.08);
  EXPECT_DOUBLE_EQ(list[2], 55.0);
  for (std::size_t i = 0; i < zb.size(); ++i) EXPECT_GE(list[static_cast<std::size_t>(group[i])], zb[i]);
  for (std::size_t k = 1; k < list.size(); ++k) EXPECT_GE(list[k] - list[k - 1], 0.1);
}

}  // namespace
