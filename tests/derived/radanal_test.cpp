#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "band_fixture.hpp"
#include "derived/analysis.hpp"

using namespace abyss;
using abyss::testing::BandRun;

TEST(DerivedRadanal, NoFlagsNoSelectionsGivesPrintoutAndBandStoreOnly) {
  BandRun b("ana0", 6, 12, 6, {0.0, 2.0});
  b.rs->sel.pkfcn.clear();
  b.set_band(1);
  b.set_uniform(0.5);
  radanal(*b.rs);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(b.dir)) files += e.path().filename() != "Ptest.txt";
  EXPECT_EQ(files, 0);
  const std::string p = b.printout();
  EXPECT_NE(p.find(" Irradiances (units of W/m^2 nm)"), std::string::npos);
  EXPECT_NE(p.find(" Selected irradiances"), std::string::npos);
  EXPECT_EQ(p.find("K-functions"), std::string::npos);
  EXPECT_EQ(p.find("Path Functions"), std::string::npos);
  EXPECT_NEAR(b.rs->der.ceospl.lneo_sum(3, 1), std::log(4 * std::acos(-1.0) * 0.5), 1e-12);
  EXPECT_EQ(b.rs->der.ceospl.nz, 4);
  EXPECT_TRUE(b.rs->der.spectrum.solved[1]);
}

TEST(DerivedRadanal, TablesComeInTheFixedOrder) {
  BandRun b("ana1", 6, 12, 6, {0.0, 2.0});
  b.rs->sel.krad = {6, 6, 1, 1, 1, 1};
  b.set_uniform(0.5);
  for (int k = 1; k <= b.rs->cmisc.nz; ++k) b.rs->ciop.c(k) = 0.2;
  radanal(*b.rs);
  const std::string p = b.printout();
  const std::size_t irr = p.find(" Irradiances ("), kf = p.find(" K-functions ("),
                    sel = p.find(" Selected irradiances"), path = p.find(" Radiances, Path Functions");
  ASSERT_NE(path, std::string::npos);
  EXPECT_LT(irr, kf);
  EXPECT_LT(kf, sel);
  EXPECT_LT(sel, path);
}

TEST(DerivedRadanal, SkippedBandsAreInterpolatedForTheSpectrum) {
  BandRun b("ana2", 6, 12, 6, {0.0}, 3);
  for (int j : {1, 3}) {
    b.set_band(j);
    b.set_uniform(j == 1 ? 1.0 : 3.0);
    radanal(*b.rs);
  }
  par(*b.rs);  // not computable with the default PAR range, but completes the spectrum
  const SpectralStore& sp = b.rs->der.spectrum;
  EXPECT_TRUE(sp.filled[2]);
  EXPECT_NEAR(sp.at(sp.ed, 1, 2), 0.5 * (sp.at(sp.ed, 1, 1) + sp.at(sp.ed, 1, 3)), 1e-12);
}
