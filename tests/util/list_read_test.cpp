#include <gtest/gtest.h>

#include <sstream>

#include "util/list_read.hpp"
#include "util/names.hpp"

using namespace abyss::util;

TEST(ListRead, ValuesSpanLinesAndRestOfLastLineIsDiscarded) {
  std::istringstream in("1 2\n3, 4 99\n5\n");
  auto r = read_list(in, 4);
  ASSERT_EQ(r.given(), 4u);
  EXPECT_DOUBLE_EQ(r.real(3), 4.0);
  EXPECT_EQ(r.lines, 2);
  auto r2 = read_list(in, 1);
  EXPECT_DOUBLE_EQ(r2.real(0), 5.0);
}

TEST(ListRead, RepeatCountsNullsAndSlash) {
  std::istringstream in("3*2.5 2* 7\n1,,3\n4 /5 6\n");
  auto r = read_list(in, 6);
  ASSERT_EQ(r.given(), 6u);
  EXPECT_DOUBLE_EQ(r.real(2), 2.5);
  EXPECT_FALSE(r.has(3));
  EXPECT_FALSE(r.has(4));
  EXPECT_DOUBLE_EQ(r.real(5), 7.0);
  auto r2 = read_list(in, 3);
  EXPECT_FALSE(r2.has(1));
  EXPECT_DOUBLE_EQ(r2.real(1, -1.0), -1.0);
  auto r3 = read_list(in, 3);
  EXPECT_TRUE(r3.slash);
  EXPECT_EQ(r3.given(), 1u);
}

TEST(ListRead, EndOfFileIsReportedAndZeroItemReadTakesALine) {
  std::istringstream in("skip me\n1.5d2\n");
  auto r0 = read_list(in, 0);
  EXPECT_EQ(r0.lines, 1);
  auto r = read_list(in, 2);
  EXPECT_TRUE(r.hit_eof);
  EXPECT_FALSE(r.at_eof());
  EXPECT_DOUBLE_EQ(r.real(0), 150.0);
  auto r2 = read_list(in, 1);
  EXPECT_TRUE(r2.at_eof());
}

TEST(ListRead, BadNumbersAreReported) {
  std::istringstream in("1 x2\n");
  auto r = read_list(in, 2);
  EXPECT_THROW(r.real(1), ListReadError);
  EXPECT_THROW(parse_integer("5.0"), ListReadError);
  EXPECT_DOUBLE_EQ(parse_real(".5"), 0.5);
  EXPECT_DOUBLE_EQ(parse_real("5."), 5.0);
}

TEST(ListRead, CursorReadsCountThenValues) {
  std::istringstream in("3 2 10.\n20 30 junk\nnext\n");
  ListRecord r;
  {
    ListCursor cur(in);
    cur.take(r, 2);
    cur.take(r, static_cast<std::size_t>(r.integer(1)));
  }
  ASSERT_EQ(r.given(), 4u);
  EXPECT_DOUBLE_EQ(r.real(3), 20.0);
}

TEST(FixedRead, FieldsByColumnAndNamesTrimmed) {
  std::istringstream in("0.100000E+01 -.200000E+01 \n0.300000E-01 \n");
  auto v = read_fixed_reals(in, 3, 2, 13);
  EXPECT_DOUBLE_EQ(v[1], -2.0);
  EXPECT_DOUBLE_EQ(v[2], 0.03);
  auto f = split_fixed("  5.00 10 24  1          42", {6, 3, 3, 3, 12});
  EXPECT_EQ(parse_integer(f[1]), 10);
  EXPECT_EQ(parse_integer(f[4]), 42);
  std::istringstream names("title with blanks   \r\n");
  EXPECT_EQ(*read_name_record(names), "title with blanks");
  EXPECT_FALSE(read_name_record(names).has_value());
}

TEST(Names, DefaultDirectoryAndSeparators) {
  EXPECT_EQ(with_default_dir("pure_water.txt   ", "../data/"), "../data/pure_water.txt");
  EXPECT_EQ(with_default_dir("C:\\HE\\data\\x.txt", "../data/"), "C:/HE/data/x.txt");
  EXPECT_EQ(with_default_dir("sub/x.txt", "../data/"), "sub/x.txt");
  EXPECT_EQ(lenstr("ab  "), 2u);
  EXPECT_EQ(lenstr("   "), 0u);
  EXPECT_EQ(with_default_dir(std::string(130, 'a'), "d/").size(), 132u);  // never cut silently
}
