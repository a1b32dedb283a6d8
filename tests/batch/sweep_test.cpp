// Sweep descriptions: ranges, axes, the order of runs and the journal.
#include "batch/sweep.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "batch/journal.hpp"
#include "batch_support.hpp"

using namespace abyss::batch;

TEST(Range, StartStepStopIncludesTheStop) {
  EXPECT_EQ(parse_range("0:10:70"), (std::vector<double>{0, 10, 20, 30, 40, 50, 60, 70}));
  EXPECT_EQ(parse_range("1:1:1"), (std::vector<double>{1}));
  // start + k*step, not a running sum: the stop is reached despite rounding.
  const auto v = parse_range("0:0.1:1");
  ASSERT_EQ(v.size(), 11u);
  EXPECT_EQ(v[3], 3 * 0.1);
  EXPECT_EQ(parse_range("0:3:10").back(), 9.0);
  EXPECT_THROW(parse_range("0:0:10"), SweepError);
  EXPECT_THROW(parse_range("10:1:0"), SweepError);
  EXPECT_THROW(parse_range("0:1"), SweepError);
  EXPECT_THROW(parse_range("0:x:3"), SweepError);
}

namespace {
Sweep small_sweep(const std::string& axes) {
  const auto dir = batch_test::scratch_dir("sweep_parse");
  std::ofstream(dir / "t.txt") << batch_test::small_template();
  return parse_sweep(R"({"template": "t.txt", "axes": )" + axes + "}", dir);
}
}  // namespace

TEST(Sweep, RunsVaryTheLastAxisFastest) {
  const Sweep s = small_sweep(R"({"chl": [0.1, 1], "sun_zenith": "0:30:60"})");
  ASSERT_EQ(s.size(), 6u);
  EXPECT_EQ(s.shape(), (std::vector<std::size_t>{2, 3}));
  const auto runs = expand(s);
  EXPECT_EQ(runs[4].at, (std::vector<std::size_t>{1, 1}));
  RunInputText t(runs[4].input);
  EXPECT_EQ(t.value(7, 0, 1), "1");
  EXPECT_EQ(t.value(17, 0, 2), "30");
  // One thread per run, after record 32 and the template's own options.
  EXPECT_NE(runs[4].input.find("unused.txt\npartition = 10x24\nthreads = 1\n"), std::string::npos);
  for (std::size_t a = 0; a < runs.size(); ++a)
    for (std::size_t b = a + 1; b < runs.size(); ++b) EXPECT_NE(runs[a].input_hash, runs[b].input_hash);
}

TEST(Sweep, GenericAxesAndTheirChecks) {
  const Sweep s = small_sweep(R"({"temperature": {"record": 19, "item": 3, "values": [10, 25], "units": "degC"}})");
  EXPECT_EQ(s.axes[0].units, "degC");
  EXPECT_EQ(RunInputText(expand_one(s, 1).input).value(19, 0, 2), "25");
  EXPECT_THROW(small_sweep(R"({"x": {"record": 29, "item": 1, "values": [1]}})"), SweepError);  // a name record
  EXPECT_THROW(small_sweep(R"({"x": {"record": 19, "item": 9, "values": [1]}})"), SweepError);  // no such value
  EXPECT_THROW(small_sweep(R"({"wind": ["strong"]})"), SweepError);
  EXPECT_THROW(small_sweep(R"({"wind": []})"), SweepError);
  EXPECT_THROW(small_sweep(R"({})"), SweepError);
}

TEST(Sweep, DefectsOfTheFileAreNamed) {
  const auto dir = batch_test::scratch_dir("sweep_defects");
  try {
    parse_sweep(R"({"template": "t.txt", "axes": {"wind": [1]}, "outptu": "x.nc"})", dir);
    FAIL();
  } catch (const SweepError& e) {
    EXPECT_NE(std::string(e.what()).find("outptu"), std::string::npos);
  }
  EXPECT_THROW(parse_sweep("{\"template\": ", dir), SweepError);
  EXPECT_THROW(parse_sweep(R"({"template": "missing.txt", "axes": {"wind": [1]}})", dir), SweepError);
}

TEST(Journal, RecordsRoundTripToTheLastBit) {
  RunResult r;
  r.index = 7;
  r.input_hash = 0xfedcba9876543210ull;
  r.status = RunStatus::failed;
  r.message = "ERROR: x \"quoted\"; STOP in routine y";
  r.rrs = {0.1 + 0.2, std::nan(""), -0.0, 1e-310};
  const auto back = parse_journal_record(journal_record(r));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->index, 7u);
  EXPECT_EQ(back->input_hash, r.input_hash);
  EXPECT_EQ(back->message, r.message);
  ASSERT_EQ(back->rrs.size(), 4u);
  EXPECT_EQ(std::memcmp(back->rrs.data(), r.rrs.data(), 4 * sizeof(double)), 0);
}

TEST(Journal, ATornOrAlteredRecordIsNotTrusted) {
  const auto dir = batch_test::scratch_dir("journal");
  RunResult a, b;
  a.index = 1;
  b.index = 2;
  b.status = RunStatus::ok;
  std::string line_b = journal_record(b);
  {
    Journal j(dir / "j");
    j.append(a);
  }
  // A kill in the middle of the second record.
  std::ofstream(dir / "j", std::ios::app) << line_b.substr(0, line_b.size() / 2);
  EXPECT_EQ(Journal::load(dir / "j").size(), 1u);
  {
    Journal j(dir / "j");  // the next record starts on its own line
    j.append(b);
  }
  const auto all = Journal::load(dir / "j");
  EXPECT_EQ(all.size(), 2u);
  EXPECT_EQ(all.at(2).status, RunStatus::ok);
  line_b[20] = line_b[20] == '1' ? '2' : '1';
  EXPECT_FALSE(parse_journal_record(line_b));
}

TEST(Sweep, AListOfRunInputFilesIsOneAxis) {
  const auto dir = batch_test::scratch_dir("sweep_runs");
  std::ofstream(dir / "a.txt") << batch_test::small_template();
  const Sweep s = parse_sweep(R"({"runs": ["a.txt", "gone.txt"], "output": "x.nc"})", dir);
  ASSERT_EQ(s.axes.size(), 1u);
  EXPECT_EQ(s.axes[0].name, "run");
  EXPECT_EQ(s.size(), 2u);
  const RunSpec a = expand_one(s, 0), gone = expand_one(s, 1);
  EXPECT_TRUE(a.error.empty());
  EXPECT_EQ(a.input, batch_test::small_template() + "threads = 1\n");
  // A file that cannot be read fails its own run, not the sweep.
  EXPECT_NE(gone.error.find("gone.txt"), std::string::npos);
  EXPECT_THROW(parse_sweep(R"({"runs": ["a.txt"], "template": "a.txt"})", dir), SweepError);
}
