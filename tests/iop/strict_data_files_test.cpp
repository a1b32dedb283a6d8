// Standard data files are read strictly: whatever is not a well-formed table
// (an empty, binary or unrelated file, a file that ends in its header, one
// without data records, a garbled row, a non-finite or negative value,
// abscissas that do not increase) stops the run naming the file and the line.
#include <gtest/gtest.h>

#include <sstream>

#include "control/errors.hpp"
#include "iop/data_files.hpp"
#include "iop_fixture.hpp"

using namespace abyss;
using abyss::testing::stop_of;

namespace {

std::string header() {
  std::string h;
  for (int i = 1; i <= 10; ++i) h += "header " + std::to_string(i) + "\n";
  return h;
}

FatalError read_fails(const std::string& text, int iftype = kSpectrum) {
  return stop_of([&] {
    std::istringstream in(text);
    read_standard_table(in, 10, iftype, "f.txt", "reader");
  });
}

}  // namespace

TEST(StrictDataFiles, WellFormedTablesStillRead) {
  std::istringstream a(header() + "400 1\n\n500, 2\r\n600 3 extra ignored\n-1 0\nafter the marker: anything\n");
  DataTable t = read_standard_table(a, 10, kSpectrum, "f.txt", "reader");
  ASSERT_EQ(t.n, 3);
  EXPECT_DOUBLE_EQ(t.y1(2), 2.0);
  std::istringstream b(header() + "400 1 2\n500 1.5D0 2.5E0\n");  // no marker: the end of the file ends the data
  DataTable u = read_standard_table(b, 10, kTwoSpectra, "f.txt", "reader");
  ASSERT_EQ(u.n, 2);
  EXPECT_DOUBLE_EQ(u.y2(2), 2.5);
}

TEST(StrictDataFiles, EmptyShortAndDataLessFilesAreErrors) {
  EXPECT_EQ(read_fails("").message(), "f.txt ends at line 1, inside its 10 header records");
  EXPECT_EQ(read_fails("one\ntwo\n").message(), "f.txt ends at line 3, inside its 10 header records");
  EXPECT_EQ(read_fails(header()).message(), "no data records in f.txt");
  EXPECT_EQ(read_fails(header() + "-1 0\n").message(), "no data records in f.txt");
  EXPECT_EQ(read_fails(header() + "\n\n").message(), "no data records in f.txt");
}

TEST(StrictDataFiles, UnrelatedOrBinaryFilesAreErrorsNamingTheLine) {
  // A system text file: its eleventh line is prose, not a record.
  std::string prose;
  for (int i = 1; i <= 12; ++i) prose += "# line " + std::to_string(i) + " of some configuration file\n";
  EXPECT_EQ(read_fails(prose).message(), "line 11 of f.txt: \"#\" is not a decimal number");
  std::string binary = header() + std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10) + "\n";
  EXPECT_NE(read_fails(binary).message().find("line 11 of f.txt: \"?ELF"), std::string::npos);
}

TEST(StrictDataFiles, NonFiniteValuesAreErrors) {
  for (const char* row : {"500 nan", "500 inf", "500 1e999", "500 0x1p3", "nan 1", "500 1,5 2"}) {
    const FatalError e = read_fails(header() + "400 1\n" + row + "\n", kSpectrum);
    EXPECT_EQ(e.message().rfind("line 12 of f.txt: ", 0), 0u) << row << ": " << e.message();
  }
}

TEST(StrictDataFiles, NegativeValuesAndDisorderedAbscissasAreErrors) {
  EXPECT_EQ(read_fails(header() + "400 1 -1\n", kTwoSpectra).message(),
            "line 11 of f.txt: negative, non-physical value -1 in column 3");
  EXPECT_EQ(read_fails(header() + "400 -1 1\n", kTwoSpectra).message(),
            "line 11 of f.txt: negative, non-physical value -1 in column 2");
  EXPECT_EQ(read_fails(header() + "400 1\n300 1\n").message(), "line 12 of f.txt: abscissa 300 does not increase on 400");
  EXPECT_EQ(read_fails(header() + "400 1\n400 1\n").message(), "line 12 of f.txt: abscissa 400 does not increase on 400");
}

TEST(StrictDataFiles, MissingOrdinatesAndRepeatsBeyondTheRecordAreErrors) {
  EXPECT_EQ(read_fails(header() + "400\n500 1\n").message(), "line 11 of f.txt: 1 values where 2 are needed");
  EXPECT_EQ(read_fails(header() + "400 1 ,\n", kTwoSpectra).message(), "line 11 of f.txt: 2 values where 3 are needed");
  EXPECT_NE(read_fails(header() + "1000000000*1\n").message().find("repeat count"), std::string::npos);
}

class StrictDataFileRun : public abyss::testing::IopRun {};

TEST_F(StrictDataFileRun, NonIncreasingAbscissaNamesFileAndLineBeforeTheStop) {
  const std::string f = data_file("dis.txt", "400 1\n500 2\n450 3\n");
  std::ifstream unit;
  const int n = getndat(rs, unit, -1, 10, 0, f);
  const FatalError e = stop_of([&] { loaddat(rs, unit, 10, n, kSpectrum, f); });
  EXPECT_EQ(e.message(), "Data abscissas not monotonically increasing.  Clean up your data and rerun.");
  EXPECT_NE(console.str().find(" LoadDat: line 13 of " + f + ": abscissa 450 does not increase on 500"),
            std::string::npos)
      << console.str();
}

TEST_F(StrictDataFileRun, ABlankFileNameSaysSo) {
  std::ifstream unit;
  const FatalError e = stop_of([&] { getndat(rs, unit, -1, 10, 0, "   "); });
  EXPECT_EQ(e.message(), "the name of a required data file is blank");
}
