#include <gtest/gtest.h>

#include "control/errors.hpp"
#include "iop/abscat.hpp"
#include "iop_fixture.hpp"

using namespace abyss;

class Abconst : public abyss::testing::IopRun {
 protected:
  void SetUp() override {
    IopRun::SetUp();
    rs.cmodelopts.opts[1] = 0;
    rs.cmisc.ncomp = 1;
    set_waves({550.0});
    rs.cmisc.aconst = 0.1;
    rs.cmisc.bconst = 0.3;
  }
  FatalError fails() {
    try {
      abscat(rs, 0.0, 550.0, rs.cmisc.ncomp);
    } catch (const FatalError& e) {
      return e;
    }
    ADD_FAILURE() << "abconst did not stop";
    return FatalError("", "");
  }
};

TEST_F(Abconst, SameValuesAtEveryDepthAndWavelength) {
  for (double z : {0.0, 3.5, 1000.0})
    for (double w : {350.0, 550.0, 800.0}) {
      IopValues v = abscat(rs, z, w, 1);
      EXPECT_DOUBLE_EQ(v.a[1], 0.1);
      EXPECT_DOUBLE_EQ(v.atot, 0.1);
      EXPECT_DOUBLE_EQ(v.b[1], 0.3);
      EXPECT_DOUBLE_EQ(v.btot, 0.3);
    }
  const std::string want =
      "\n     The IOP routine \"abconst\" is being used.\n\n"
      "     Constant absorption and scattering coefficients are used:\n\n"
      "     The absorption coefficient is a =  0.1000 1/m\n\n"
      "     The scattering coefficient is b =  0.3000 1/m\n"
      "\n     The phase function for component  1 will be chosen to have a bb/b ratio of   0.0183\n";
  EXPECT_EQ(printout(), want);  // printed once, on the first call only
}

TEST_F(Abconst, PurelyScatteringWaterIsAccepted) {
  rs.cmisc.aconst = 0.0;
  EXPECT_DOUBLE_EQ(abscat(rs, 1.0, 550.0, 1).atot, 0.0);
}

TEST_F(Abconst, MultiBandRunStopsWithAbsorptionNegative) {
  rs.cmisc.aconst = rs.cmisc.bconst = -1.0;  // what the reader stores when nwave > 0
  FatalError e = fails();
  EXPECT_EQ(e.routine(), "abconst");
  EXPECT_EQ(e.message(), "absorption negative");
  EXPECT_NE(printout().find("\n\n\nError in input:  absorption coef =   -1.000E+00\n"), std::string::npos);
}

TEST_F(Abconst, NegativeScatteringStops) {
  rs.cmisc.bconst = -0.5;
  FatalError e = fails();
  EXPECT_EQ(e.message(), "scattering negative");
  EXPECT_NE(printout().find("Error in input:  scattering coef =   -5.000E-01\n"), std::string::npos);
}

TEST_F(Abconst, MoreThanOneComponentStops) {
  rs.cmisc.ncomp = 2;
  FatalError e = fails();
  EXPECT_EQ(e.routine(), "abconst");
  EXPECT_EQ(e.message(), "# components is incompatable");
  EXPECT_NE(printout().find("\n\nError in subroutine \"abconst\":  ncomp =  2 (ncomp must = 1)\n"), std::string::npos);
}
