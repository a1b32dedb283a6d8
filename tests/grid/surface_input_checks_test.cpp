// The surface loader refuses sets that contradict themselves: a wind list out
// of order or out of the file-name range, an index list of non-indices, a file
// whose header wind is not the wind it is named for, a grid that is not a
// partition. An index of refraction outside the set is moved to its nearest
// end with a warning on the console and in the printout.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "control/errors.hpp"
#include "grid/surface.hpp"
#include "surface_test_util.hpp"

namespace abyss {
namespace {

using testing_surface::generate;
using testing_surface::partition;
using testing_surface::ScratchDir;
using testing_surface::TestRun;

FatalError load_fails(TestRun& run, double U) {
  try {
    loadsurface(*run.rs, U, 500.0);
  } catch (const FatalError& e) {
    return e;
  }
  ADD_FAILURE() << "no fatal error";
  return FatalError("", "");
}

void write_lines(const std::filesystem::path& p, const std::string& text) { std::ofstream(p) << text; }

TEST(SurfaceInputChecks, WindListOutOfOrderOrRangeNamesTheLine) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {0, 5});
  write_lines(d.path() / "windlist.txt", "  5\n  0\n -1\n");
  TestRun run(d, 1.34);
  FatalError e = load_fails(run, 3.0);
  EXPECT_EQ(e.routine(), "SLCTSURF");
  EXPECT_EQ(e.message(), "line 2 of " + d.dir() + "windlist.txt: wind speed 0 m/s does not increase on 5 m/s");
  write_lines(d.path() / "windlist.txt", "  0\n  5\n  5\n");
  TestRun run2(d, 1.34);
  EXPECT_EQ(load_fails(run2, 3.0).message(),
            "line 3 of " + d.dir() + "windlist.txt: wind speed 5 m/s does not increase on 5 m/s");
  write_lines(d.path() / "windlist.txt", "  0\n150\n");
  TestRun run3(d, 1.34);
  EXPECT_EQ(load_fails(run3, 3.0).message(), "line 2 of " + d.dir() + "windlist.txt: wind speed 150 m/s is outside 0 to 99");
  write_lines(d.path() / "windlist.txt", "  0\nx5\n");
  TestRun run4(d, 1.34);
  EXPECT_EQ(load_fails(run4, 3.0).message(), "line 2 of " + d.dir() + "windlist.txt: \"x5\" is not an integer");
}

TEST(SurfaceInputChecks, IndexListOfNonIndicesIsAnError) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {0});
  write_lines(d.path() / "nlist.txt", "1340\n13400\n-1\n");
  TestRun run(d, 1.34);
  FatalError e = load_fails(run, 0.0);
  EXPECT_EQ(e.routine(), "CHECKREFR");
  EXPECT_EQ(e.message(), "line 2 of " + d.dir() + "nlist.txt: 13400 is not an index of refraction in thousandths (1000 to 2000)");
  write_lines(d.path() / "nlist.txt", "1340\nnan\n");
  TestRun run2(d, 1.34);
  EXPECT_NE(load_fails(run2, 0.0).message().find("bad record at line 2 of"), std::string::npos);
}

TEST(SurfaceInputChecks, HeaderWindMustBeTheWindOfTheFileName) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {15});
  std::filesystem::rename(d.path() / surface_file_name(1340, 15), d.path() / surface_file_name(1340, 4));
  write_lines(d.path() / "windlist.txt", "  4\n");
  TestRun run(d, 1.34);
  FatalError e = load_fails(run, 4.0);
  EXPECT_EQ(e.routine(), "LOADSURFACE");
  EXPECT_EQ(e.message(), "line 2 of surface file " + d.dir() + surface_file_name(1340, 4) +
                             ": the header gives a wind speed of 15 m/s, the file is named and listed for 4 m/s");
}

TEST(SurfaceInputChecks, NonFiniteOperatorValueNamesTheFile) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {0});
  const auto file = d.path() / surface_file_name(1340, 0);
  std::ifstream in(file);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string text = ss.str();
  const auto last = text.rfind("E");  // the last value of the last operator
  const auto start = text.rfind(' ', last - 8) + 1;
  text.replace(start, last + 4 - start, "         NaN");
  std::ofstream(file) << text;
  TestRun run(d, 1.34);
  FatalError e = load_fails(run, 0.0);
  EXPECT_NE(e.message().find("bad data in surface file " + file.string() + ": \"         NaN"), std::string::npos)
      << e.message();
}

TEST(SurfaceInputChecks, IndexOutsideTheSetIsMovedWithAWarningEverywhere) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1330, 1340}, {0});
  TestRun run(d, 1.5);
  loadsurface(*run.rs, 0.0, 500.0);
  const std::string line =
      " WARNING:  The index of refraction 1.5000 is outside the available surface files; n = 1.340 will be used.\n";
  EXPECT_NE(run.console.str().find(line), std::string::npos) << run.console.str();
  EXPECT_NE(run.printed().find(line), std::string::npos);
  EXPECT_EQ(run.rs->surfload.nA, 1340);
  EXPECT_DOUBLE_EQ(run.rs->cmisc.refr, 1.340);  // what the printout and the outputs report
}

TEST(SurfaceInputChecks, WindBeyondTheSetWarnsOnTheConsoleToo) {
  ScratchDir d;
  generate(d.path(), partition(4, 8), {1340}, {0, 5});
  TestRun run(d, 1.34);
  loadsurface(*run.rs, 40.0, 500.0);
  EXPECT_NE(run.console.str().find("is greater than the maximum available speed.  U =  5 will be used."),
            std::string::npos);
}

}  // namespace
}  // namespace abyss
