// Numbers of every input file are decimal numbers in Fortran's list-directed
// form and nothing else: what strtod would also take (nan, inf, hexadecimal,
// overflow) is an error, as is a repeat count that would allocate far beyond
// what the record needs, and decimal commas.
#include <gtest/gtest.h>

#include <sstream>

#include "util/list_read.hpp"

using namespace abyss::util;

TEST(StrictNumbers, FortranDecimalFormsAreAccepted) {
  EXPECT_DOUBLE_EQ(parse_real("1.5D2"), 150.0);
  EXPECT_DOUBLE_EQ(parse_real("-1.5e-2"), -0.015);
  EXPECT_DOUBLE_EQ(parse_real("+.5E+1"), 5.0);
  EXPECT_DOUBLE_EQ(parse_real("7"), 7.0);
  EXPECT_DOUBLE_EQ(parse_real("2.q1"), 20.0);
  EXPECT_DOUBLE_EQ(parse_real("1e-400"), 0.0);  // underflow is harmless
  EXPECT_EQ(parse_integer("-12"), -12);
  EXPECT_EQ(parse_integer("+3"), 3);
}

TEST(StrictNumbers, NonDecimalSpellingsAreRejected) {
  for (const char* t : {"nan", "NaN", "-nan", "inf", "-Infinity", "0x1p3", "0X10", "1e", "1e+", ".", "-", "+.",
                        "1.0f", "1..2", "1e5.5", "e5", "1 2", "1_000", "١"}) {
    EXPECT_THROW(parse_real(t), ListReadError) << t;
  }
  for (const char* t : {"1e3", "0x10", "5.0", "nan", "--1", " ", "12a"}) EXPECT_THROW(parse_integer(t), ListReadError) << t;
}

TEST(StrictNumbers, OverflowIsRejectedWithTheText) {
  try {
    parse_real("1e999");
    FAIL();
  } catch (const ListReadError& e) {
    EXPECT_NE(std::string(e.what()).find("\"1e999\" is out of the range"), std::string::npos) << e.what();
  }
  EXPECT_THROW(parse_real("-1.8e308"), ListReadError);
  EXPECT_THROW(parse_integer("2147483648"), ListReadError);
  EXPECT_THROW(parse_integer("-99999999999999999999"), ListReadError);
  EXPECT_EQ(parse_integer("2147483647"), 2147483647);
}

TEST(StrictNumbers, RepeatCountBeyondTheRecordIsAnErrorNotAnAllocation) {
  std::istringstream a("10000000*0.5\n");
  EXPECT_THROW(read_list(a, 3), ListReadError);
  std::istringstream b("1000000000*\n");
  EXPECT_THROW(read_list(b, 3), ListReadError);
  std::istringstream c("99999999999999999999*1\n");
  EXPECT_THROW(read_list(c, 3), ListReadError);
  std::istringstream d("3*0.5\n");
  auto r = read_list(d, 3);
  EXPECT_DOUBLE_EQ(r.real(2), 0.5);
  std::istringstream e("0*1 2 3\n");
  EXPECT_THROW(read_list(e, 3), ListReadError);
}

TEST(StrictNumbers, DecimalCommasAreRejected) {
  std::istringstream a("5,0 1,34 20 35\n");
  EXPECT_THROW(read_list(a, 4), ListReadError);
  std::istringstream b("5.0,1.34,20,35\n");  // commas as the only separators
  EXPECT_EQ(read_list(b, 4).given(), 4u);
  std::istringstream c("5.0, 1.34, 20, 35\n");
  EXPECT_DOUBLE_EQ(read_list(c, 4).real(1), 1.34);
  std::istringstream d("1 ,2 3\n");  // a comma with a blank beside it is a separator
  EXPECT_EQ(read_list(d, 3).given(), 3u);
}

TEST(StrictNumbers, MessagesQuoteAtMostAShortPrintableExcerpt) {
  try {
    parse_real(std::string(5000, 'x') + "\x01");
    FAIL();
  } catch (const ListReadError& e) {
    EXPECT_LT(std::string(e.what()).size(), 100u);
  }
}
