#include <gtest/gtest.h>

#include <sstream>

#include "util/fortran_format.hpp"

using namespace abyss;

TEST(FortranFormat, IntegerFieldsRightJustifyAndOverflowToStars) {
  EXPECT_EQ(ff::I(7, 3), "  7");
  EXPECT_EQ(ff::I(-12, 3), "-12");
  EXPECT_EQ(ff::I(1234, 3), "***");
}

TEST(FortranFormat, FixedRoundsLikeFortranAndDropsOptionalZero) {
  EXPECT_EQ(ff::F(550.0, 6, 1), " 550.0");
  EXPECT_EQ(ff::F(0.5, 5, 3), "0.500");
  EXPECT_EQ(ff::F(0.5, 4, 3), ".500");
  EXPECT_EQ(ff::F(-0.5, 5, 3), "-.500");
  EXPECT_EQ(ff::F(440.0, 4, 0), "440.");
  EXPECT_EQ(ff::F(2.675, 5, 2), " 2.67");  // the binary value lies below 2.675
  EXPECT_EQ(ff::F(0.125, 5, 2), " 0.12");  // exact half: round to even in the decimal conversion
  EXPECT_EQ(ff::F(12345.6, 6, 1), "******");
  EXPECT_EQ(ff::F(1.0 / 0.0, 8, 1), "Infinity");
}

TEST(FortranFormat, ExponentForms) {
  EXPECT_EQ(ff::E(1.0, 12, 6), "0.100000E+01");
  EXPECT_EQ(ff::E(-1.0, 12, 6), "-.100000E+01");
  EXPECT_EQ(ff::E(0.0, 12, 6), "0.000000E+00");
  EXPECT_EQ(ff::E(1.234567e-5, 12, 6), "0.123457E-04");
  EXPECT_EQ(ff::E(9.9999996e3, 12, 6), "0.100000E+05");
  EXPECT_EQ(ff::E(1.5e-120, 12, 6), "0.150000-119");
  EXPECT_EQ(ff::PE(1.0, 12, 5), " 1.00000E+00");
  EXPECT_EQ(ff::PE(-2.5e-3, 11, 3), " -2.500E-03");
  EXPECT_EQ(ff::ES(0.0, 11, 3), "  0.000E+00");
  EXPECT_EQ(ff::PE(1.2e5, 8, 2), "1.20E+05");
}

TEST(FortranFormat, ExponentBlockHasTenFieldsPerRecord) {
  std::vector<double> v(12, 0.5);
  std::ostringstream os;
  ff::write_e_block(os, v.data(), v.size());
  std::string s = os.str();
  auto first = s.substr(0, s.find('\n'));
  EXPECT_EQ(first.size(), 130u);
  EXPECT_EQ(first.substr(0, 13), "0.500000E+00 ");
  EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 2);
}

TEST(FortranFormat, ListDirectedRealIsShortestRoundTrip) {
  EXPECT_EQ(ff::ld(0.1), " 0.1");
  EXPECT_EQ(ff::ld(300.0), " 300");
}
