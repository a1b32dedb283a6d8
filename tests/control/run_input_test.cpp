// Reading the run-input file: records, names, counts and the truncated-file warning.
#include <gtest/gtest.h>

#include <sstream>

#include "control/errors.hpp"
#include "control/initial.hpp"
#include "control/run_state.hpp"
#include "support/run_input.hpp"

using namespace abyss;
using abyss::testing::RunInput;
using abyss::testing::ScratchRun;

namespace {

struct InProcessRun {
  RunState rs;
  std::istringstream in;
  std::ostringstream con;
  explicit InProcessRun(const std::string& text) : in(text) {
    rs.input = &in;
    rs.console = &con;
  }
};

}  // namespace

TEST(RunInputFile, EveryRecordLandsInTheRunState) {
  ScratchRun scratch;
  RunInput ri;
  ri.rec["1"] = "0 350.0 750.0 0.025 488.0 2.6e-4 1";
  ri.rec["4"] = "-1 1 1 1 1 2";
  ri.rec["5"] = "0 0 1 0 0";
  ri.rec["10"] = "2 0.5 0.62 0.001 0.2 550.0";
  ri.rec["12"] = "3 0.02 550.0 0.018 0.5";
  ri.rec["17"] = "3 3 12.5 0.3 45.0";
  ri.rec["20"] = "1 0.15";
  InProcessRun run(ri.text());
  initial(run.rs);
  const RunState& rs = run.rs;
  EXPECT_EQ(rs.cmodelopts.model(), 0);
  EXPECT_DOUBLE_EQ(rs.cmisc.r1, 350.0);
  EXPECT_DOUBLE_EQ(rs.cmisc.r2, 750.0);
  EXPECT_DOUBLE_EQ(rs.cmisc.chl_qe, 0.025);
  EXPECT_DOUBLE_EQ(rs.cmisc.raman_wave0, 488.0);
  EXPECT_DOUBLE_EQ(rs.cmisc.raman_xsec, 2.6e-4);
  EXPECT_EQ(rs.cmisc.idynz, 1);
  EXPECT_EQ(rs.cmisc.iprint, -1);
  EXPECT_EQ(rs.cmisc.nwskip, 2);
  EXPECT_EQ(rs.cmodelopts.sky_irr_opt(), 1);
  EXPECT_EQ(rs.comp.bstar_opt(1), 2);
  EXPECT_DOUBLE_EQ(rs.comp.bstar_m(1), 0.001);
  EXPECT_DOUBLE_EQ(rs.comp.bstar_i(1), 0.2);
  EXPECT_DOUBLE_EQ(rs.comp.bstar_wave0(1), 550.0);
  EXPECT_DOUBLE_EQ(rs.comp.bstar_X(1), 0.62);
  EXPECT_EQ(rs.comp.pf_opt(1), 3);
  EXPECT_DOUBLE_EQ(rs.comp.bb_expo(1), 0.5);
  EXPECT_EQ(rs.csky.iskyflag, 3);
  EXPECT_DOUBLE_EQ(rs.csky.gmt, 12.5);
  EXPECT_DOUBLE_EQ(rs.csky.cloud, 0.3);
  EXPECT_DOUBLE_EQ(rs.csky.sunphi, 45.0);
  EXPECT_DOUBLE_EQ(rs.cgcirr1.vis, 15.0);
  EXPECT_DOUBLE_EQ(rs.cgcirr1.ro3, 300.0);
  EXPECT_DOUBLE_EQ(rs.csky.rlon, -60.0);
  EXPECT_DOUBLE_EQ(rs.cmisc.windspd, 5.0);
  EXPECT_DOUBLE_EQ(rs.cmisc.salinity, 35.0);
  EXPECT_EQ(rs.cmisc.ibotm, 1);
  EXPECT_DOUBLE_EQ(rs.cmisc.rbottom, 0.15);
  EXPECT_EQ(rs.cgrid.nz_requested, 3);
  EXPECT_EQ(rs.cmisc.nz, 6);  // every output depth gets a paired grid depth
  EXPECT_NE(rs.ctitle.find("Test run ("), std::string::npos);
  EXPECT_EQ(rs.src.bio_file, "../data/bio.txt");
}

TEST(RunInputFile, NamesGetTheirDefaultDirectoryUnlessTheyCarryOne) {
  ScratchRun scratch;
  RunInput ri;
  ri.rec["22"] = "C:\\HE\\data\\purewater.txt";
  ri.rec["24"] = "sub/d1.txt";
  ri.rec["13"] = "hg_0.8.dpf";
  InProcessRun run(ri.text());
  initial(run.rs);
  const FileNames& f = run.rs.files;
  EXPECT_EQ(f.purewater, "C:/HE/data/purewater.txt");
  EXPECT_EQ(f.skydata, "sub/d1.txt");
  EXPECT_EQ(f.ac9, "../data/d2.txt");
  EXPECT_EQ(f.bbmeter, "../data/d3.txt");
  EXPECT_EQ(f.ac9_cdom, "../data/d4.txt");
  EXPECT_EQ(f.spare, "../data/d5.txt");
  EXPECT_EQ(f.bottom, "../data/botmrefl/bottom.txt");
  EXPECT_EQ(f.profile[1], "../data/chl.txt");
  EXPECT_EQ(f.extra, "../data/extra.txt");
  EXPECT_EQ(f.dpf[1], "../data/phasefun/Abyssolver/hg_0.8.dpf");
  EXPECT_EQ(run.rs.out.digital_name, "../output/Abyssolver/digital/Dtestrun.txt");
  EXPECT_EQ(run.rs.out.multi_name, "../output/Abyssolver/excel/Mtestrun.txt");
}

TEST(RunInputFile, BandsFromBoundariesOrOneSingleWavelength) {
  ScratchRun scratch;
  {
    InProcessRun run(RunInput().text());
    initial(run.rs);
    EXPECT_EQ(run.rs.cmisc.nwave, 1);
    EXPECT_DOUBLE_EQ(run.rs.cwave.waveb(1), 549.5);
    EXPECT_DOUBLE_EQ(run.rs.cwave.waveb(2), 550.5);
    EXPECT_DOUBLE_EQ(run.rs.cwave.wave(1), 550.0);
    EXPECT_DOUBLE_EQ(run.rs.cmisc.aconst, 0.1);
    EXPECT_DOUBLE_EQ(run.rs.cmisc.bconst, 0.3);
  }
  RunInput ri;
  ri.rec["14"] = "2";
  ri.rec["15"] = "400 410\n420";  // a record may continue on the next line
  InProcessRun run(ri.text());
  EXPECT_THROW(initial(run.rs), FatalError);  // constant IOPs cannot serve several bands
  EXPECT_EQ(run.rs.cmisc.nwave, 2);
  EXPECT_DOUBLE_EQ(run.rs.cwave.wave(1), 405.0);
  EXPECT_DOUBLE_EQ(run.rs.cwave.wave(2), 415.0);
  EXPECT_DOUBLE_EQ(run.rs.cmisc.aconst, -1.0);
}

TEST(RunInputFile, SkipFactorBelowOneBehavesAsOne) {
  ScratchRun scratch;
  for (const char* skip : {"0", "-3"}) {
    RunInput ri;
    ri.rec["4"] = std::string("0 0 0 0 0 ") + skip;
    InProcessRun run(ri.text());
    initial(run.rs);
    EXPECT_EQ(run.rs.cmisc.nwskip, 1);
  }
}

TEST(RunInputFile, FileEndingAfterRecord29WarnsAndGoesOn) {
  ScratchRun scratch;
  RunInput ri;
  InProcessRun run(ri.text_until("29"));
  initial(run.rs);
  EXPECT_NE(run.con.str().find("WARNING:  only 7 component datafiles were read.\n"), std::string::npos);
  run.rs.printout.close();
  EXPECT_NE(abyss::testing::read_file(scratch.printout("testrun")).find("WARNING:  only 7 component datafiles were read."),
            std::string::npos);
  InProcessRun run2(ri.text_until("30"));
  initial(run2.rs);
  EXPECT_NE(run2.con.str().find("WARNING:  only 8 component datafiles were read."), std::string::npos);
}

TEST(RunInputFile, MalformedRecordsStopWithTheRecordNamed) {
  ScratchRun scratch;
  RunInput ri;
  ri.rec["19"] = "5.0 abc 20.0 35.0";
  InProcessRun run(ri.text());
  try {
    initial(run.rs);
    FAIL() << "no error";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "initial");
    EXPECT_EQ(e.message(), "bad run-input record 19");
  }
  EXPECT_NE(run.con.str().find(" Run-input file, record 19: \"abc\" is not a decimal number"), std::string::npos);
  InProcessRun cut(ri.text_until("12"));
  EXPECT_THROW(initial(cut.rs), FatalError);
  EXPECT_NE(cut.con.str().find("record 13: the file ends before this record"), std::string::npos);
}

TEST(RunInputFile, InelasticSectionLines) {
  ScratchRun scratch;
  RunInput ri;
  ri.rec["16"] = "0 1 0 0 0";  // chlorophyll fluorescence asked for without a chlorophyll component
  InProcessRun run(ri.text());
  initial(run.rs);
  EXPECT_EQ(run.rs.src.flags[2], 0);
  EXPECT_EQ(run.rs.cmisc.nsource, 0);
  run.rs.printout.close();
  auto text = abyss::testing::read_file(scratch.printout("testrun"));
  EXPECT_NE(text.find("\n     WARNING: Chlorophyll fluorescence could not be included because CHL is not specified!\n"
                      "        To include chl-fluorescence, rerun frontend.\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n     CDOM fluorescence is not included in this run\n"), std::string::npos);
  EXPECT_NE(text.find("\n     Raman scattering is not included in this run\n"), std::string::npos);
  EXPECT_NE(text.find("  ***** BEGIN AIR-WATER SURFACE SPECIFICATIONS *****\n\n"
                      "     The air-water surface is for a wind speed of  5.0 m/s\n\n"
                      "     Index of refraction is constant for all wavelengths with the value: 1.340\n\n"
                      "  ***** END AIR-WATER SURFACE SPECIFICATIONS *****"),
            std::string::npos);
}
