#include "control/run_options.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "control/errors.hpp"

namespace abyss {
namespace {

RunOptions read(const std::string& text) {
  std::istringstream in(text);
  return read_run_options(in);
}

std::string error_of(const std::string& text) {
  try {
    read(text);
  } catch (const FatalError& e) {
    return e.message();
  }
  return "";
}

TEST(RunOptions, AbsentOptionsKeepTheDefaults) {
  const RunOptions o = read("");
  EXPECT_EQ(o.solver, "exact");
  EXPECT_EQ(o.threads, 0);
  EXPECT_FALSE(o.netcdf);
  EXPECT_TRUE(o.given.empty());
}

TEST(RunOptions, NameValueLinesWithCommentsAndBlankLines) {
  const RunOptions o = read("\n  threads = 2   # two workers\nNetCDF=yes\n\n# nothing here\nsolver = ADAMS\nrelerr = 1e-9\n");
  EXPECT_EQ(o.threads, 2);
  EXPECT_DOUBLE_EQ(o.relerr, 1e-9);
  EXPECT_TRUE(o.netcdf);
  EXPECT_EQ(o.solver, "adams");
  ASSERT_EQ(o.given.size(), 4u);
  EXPECT_EQ(o.given[0], "threads = 2");
}

TEST(RunOptions, BadLinesStopNamingTheLineOrTheOption) {
  EXPECT_EQ(error_of("threads = 2\nunused.txt\n"),
            "line 2 after record 32 is not a run option \"name = value\": unused.txt");
  EXPECT_EQ(error_of("colour = red\n"), "unknown run option colour (known: solver, sun_beam, partition, relerr, threads, netcdf)");
  EXPECT_EQ(error_of("threads = -1\n"),
            "run option threads = -1: give a whole number of threads from 0 (one per core) to 1024");
  EXPECT_EQ(error_of("threads = 2.5\n"),
            "run option threads = 2.5: give a whole number of threads from 0 (one per core) to 1024");
  EXPECT_EQ(error_of("netcdf = maybe\n"), "run option netcdf = maybe: give yes or no");
  EXPECT_EQ(error_of("relerr = 0\n"), "run option relerr = 0: give a relative tolerance from 1e-12 to 0.1");
  EXPECT_EQ(error_of("relerr = 1e-9x\n"), "run option relerr = 1e-9x: give a relative tolerance from 1e-12 to 0.1");
  EXPECT_EQ(error_of("threads =\n"), "line 1 after record 32 is not a run option \"name = value\": threads =");
}

TEST(RunOptions, PartitionNamesTheDataSets) {
  EXPECT_EQ(read("").partition, "20x24");
  EXPECT_EQ(read("partition = 10X24\n").partition, "10x24");
  EXPECT_EQ(partition_suffix("10x24"), "");
  EXPECT_EQ(partition_suffix("20x24"), "_20x24");
  const std::string want = ": give the quad partition as NMUxNPHI, e.g. 10x24 or 20x24 (NMU from 3 to 90, NPHI even, "
                           "from 4 to 360)";
  for (const char* bad : {"20", "20x23", "x24", "2x24", "20x", "20x24x2", "twenty"})
    EXPECT_EQ(error_of(std::string("partition = ") + bad + "\n"), std::string("run option partition = ") + bad + want);
}

}  // namespace
}  // namespace abyss
