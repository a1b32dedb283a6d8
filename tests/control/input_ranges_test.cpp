// The physical ranges of the run-input fields at their edges: the limits
// themselves are accepted, anything beyond them is a finding naming the
// record.
#include <gtest/gtest.h>

#include <memory>

#include "control/input_ranges.hpp"
#include "control/run_state.hpp"

using namespace abyss;

namespace {

// A valid single-band run state: one component, cosine sky, sun at 30 deg.
std::unique_ptr<RunState> valid_state() {
  auto rs = std::make_unique<RunState>();
  rs->cmisc.ncomp = 1;
  rs->cmisc.nconc = 1;
  rs->cmisc.nwave = 1;
  rs->cwave.waveb(1) = 549.5;
  rs->cwave.waveb(2) = 550.5;
  rs->cwave.wave(1) = 550.0;
  rs->comp.pf_opt(1) = 1;
  rs->comp.bbtob(1) = 0.02;
  rs->csky.iskyflag = 1;
  rs->csky.suntheta = 30.0;
  rs->csky.Rsky = 0.3;
  rs->csky.Edtotl = 1.0;
  rs->csky.skydata.assign(5, 0.0);
  rs->cmisc.windspd = 5.0;
  rs->cmisc.refr = 1.34;
  rs->cgrid.zreq = {0.0, 5.0, 10.0};
  return rs;
}

std::vector<int> records_of(const RunState& rs) {
  std::vector<int> out;
  for (const auto& f : check_input_ranges(rs)) out.push_back(f.record);
  return out;
}

}  // namespace

TEST(InputRanges, AValidStateHasNoFindings) { EXPECT_TRUE(check_input_ranges(*valid_state()).empty()); }

TEST(InputRanges, EdgesAreAcceptedAndBeyondIsNamed) {
  auto rs = valid_state();
  rs->csky.suntheta = 90.0;
  rs->csky.Rsky = 1.0;
  rs->csky.C = -1.0;
  rs->comp.bbtob(1) = 0.5;
  rs->cmisc.ibotm = 1;
  rs->cmisc.rbottom = 1.0;
  rs->cgrid.zreq = {0.0, kMaxGeometricDepth};
  EXPECT_TRUE(check_input_ranges(*rs).empty());
  rs->csky.suntheta = 90.0001;
  rs->comp.bbtob(1) = 0.5001;
  rs->cmisc.rbottom = 1.0001;
  rs->cgrid.zreq = {0.0, kMaxGeometricDepth * 1.0001};
  EXPECT_EQ(records_of(*rs), (std::vector<int>{12, 17, 20, 21}));
  for (const auto& f : check_input_ranges(*rs)) EXPECT_TRUE(f.fatal);
}

TEST(InputRanges, RangesThatOnlyMatterForTheOptionInUse) {
  auto rs = valid_state();
  rs->cmisc.rbottom = 7.0;  // unused by an infinitely deep bottom
  rs->cmisc.chl_qe = 3.0;   // fluorescence off
  rs->cmisc.temp = -50.0;   // the index is given, not computed
  EXPECT_TRUE(check_input_ranges(*rs).empty());
  rs->src.flags[2] = 1;
  rs->cmisc.refr = 0.0;
  EXPECT_EQ(records_of(*rs), (std::vector<int>{1, 19}));
}

TEST(InputRanges, OpticalDepthsHaveTheirOwnLimit) {
  auto rs = valid_state();
  rs->cmisc.iop = 1;
  rs->cgrid.zreq = {0.0, kMaxOpticalDepth};
  EXPECT_TRUE(check_input_ranges(*rs).empty());
  rs->cgrid.zreq = {0.0, kMaxOpticalDepth + 1.0};
  ASSERT_EQ(records_of(*rs), (std::vector<int>{21}));
  EXPECT_EQ(check_input_ranges(*rs)[0].message,
            "the last output depth 701 (optical) exceeds 700: no light reaches there as a number distinguishable from zero");
}
