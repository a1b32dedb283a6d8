// Locating the records of a run-input file and rewriting one value of one
// record, as the sweep axes do.
#include "batch/run_input_text.hpp"

#include <gtest/gtest.h>

#include "batch/sweep.hpp"
#include "batch_support.hpp"

using namespace abyss::batch;

namespace {
std::string example() { return batch_test::read_file(std::string(ABYSS_SOURCE_DIR) + "/examples/case1_default.txt"); }
}  // namespace

TEST(RunInputText, LocatesEveryRecordOfTheDefaultExample) {
  RunInputText t(example());
  EXPECT_TRUE(t.complete());
  EXPECT_EQ(t.span(1).first, 0);
  EXPECT_EQ(t.occurrences(8), 3);   // nconc = 3
  EXPECT_EQ(t.occurrences(10), 2);  // ncomp = 2
  EXPECT_EQ(t.occurrences(30), 2);
  EXPECT_EQ(t.value(19, 0, 0), "5.0");
  EXPECT_EQ(t.value(21, 0, 5), "10.0");
  EXPECT_EQ(t.value(29, 0, 0), "reef_sand.txt");
  EXPECT_EQ(t.value(7, 0, 1), "0.5");
}

TEST(RunInputText, ChangesOnlyTheBoundValue) {
  const std::string orig = example();
  RunInputText t(orig);
  t.set_value(19, 0, 0, "12");
  const std::string& now = t.text();
  ASSERT_EQ(now.size(), orig.size() + 2 - 3);
  EXPECT_NE(now.find("\n12 1.34 20.0 35.0\n"), std::string::npos);
  // Everything before and after the changed line is as written.
  const auto at = orig.find("5.0 1.34 20.0 35.0");
  EXPECT_EQ(now.substr(0, at), orig.substr(0, at));
  EXPECT_EQ(now.substr(at + 2), orig.substr(at + 3));
}

TEST(RunInputText, FollowsARecordOverSeveralLines) {
  std::string s = example();
  const std::string bands = "400 450 500 550 600 650 700\n";
  s.replace(s.find(bands), bands.size(), "400 450 500\n550, 600 650\n700\n");
  RunInputText t(s);
  EXPECT_EQ(t.span(15).count, 3);
  EXPECT_EQ(t.value(15, 0, 4), "600");
  EXPECT_EQ(t.value(16, 0, 0), "0");  // the records after it are where they were
  EXPECT_EQ(t.value(19, 0, 1), "1.34");
}

TEST(RunInputText, RefusesToRewriteARecordWithRepeatCounts) {
  std::string s = example();
  s.replace(s.find("0 0 0 0 0\n"), 10, "5*0\n");  // record 16
  RunInputText t(s);
  EXPECT_EQ(t.value(19, 0, 0), "5.0");  // other records are still found
  EXPECT_THROW(t.set_value(16, 0, 1, "1"), SweepError);
}

TEST(RunInputText, OptionsNeedTheWholeFile) {
  std::string s = example();
  s.resize(s.find("chlzprofile_gaussian.txt"));  // ends inside record 30
  RunInputText t(s);
  EXPECT_FALSE(t.complete());
  EXPECT_THROW(t.with_options({"threads = 1"}), SweepError);
  EXPECT_EQ(t.with_options({}), s);
  EXPECT_THROW(RunInputText(s.substr(0, s.find("pureh2o_abs_scat.txt"))), SweepError);  // ends before record 22
}

TEST(RunInputText, OptionLinesFollowRecord32) {
  RunInputText t(example());
  const std::string out = t.with_options({"threads = 1", "netcdf = yes"});
  EXPECT_EQ(out, example() + "threads = 1\nnetcdf = yes\n");
}

TEST(NamedFields, BindToTheirRecords) {
  RunInputText t(example());
  std::string units;
  bool text = false;
  Binding b = named_binding("chl", t, units, text);
  EXPECT_EQ(b.record, 7);
  EXPECT_EQ(b.item, 1);  // entry 2: record 5 names component 2
  EXPECT_EQ(units, "mg m-3");
  b = named_binding("sun_zenith", t, units, text);
  EXPECT_EQ(t.value(b.record, b.instance, static_cast<std::size_t>(b.item)), "30.0");
  b = named_binding("wind", t, units, text);
  EXPECT_EQ(b.record, 19);
  EXPECT_FALSE(text);
  // The default example is infinitely deep: no bottom to move.
  EXPECT_THROW(named_binding("bottom_depth", t, units, text), SweepError);
  EXPECT_THROW(named_binding("colour", t, units, text), SweepError);
}

TEST(NamedFields, BottomDepthIsTheDeepestOutputDepth) {
  std::string s = example();
  s.replace(s.find("\n0 0.0\n"), 7, "\n1 0.2\n");  // record 20: a finite bottom
  RunInputText t(s);
  std::string units;
  bool text = false;
  const Binding b = named_binding("bottom_depth", t, units, text);
  EXPECT_EQ(t.value(b.record, 0, static_cast<std::size_t>(b.item)), "10.0");
  EXPECT_EQ(units, "m");
  const Binding f = named_binding("bottom_reflectance_file", t, units, text);
  EXPECT_TRUE(text);
  EXPECT_EQ(f.record, 29);
}

TEST(NamedFields, ChlNeedsAConstantConcentration) {
  std::string s = example();
  s.replace(s.find("0 3 440.0 0.06 0.014"), 20, "2 3 440.0 0.06 0.014");  // entry 2 from a profile
  RunInputText t(s);
  std::string units;
  bool text = false;
  EXPECT_THROW(named_binding("chl", t, units, text), SweepError);
}
