// Every shipped example, run by the real executable with all output files
// requested, writes P, L, D, S and M files that a script can read back.
#include <gtest/gtest.h>

#include <sstream>

#include "support/run_input.hpp"

using abyss::testing::read_file;
using abyss::testing::read_lines;
using abyss::testing::ScratchRun;

namespace {

// Number of whitespace- or tab-separated fields of a line.
std::size_t fields(const std::string& line, char sep) {
  std::size_t n = 0;
  if (sep == ' ') {
    std::istringstream in(line);
    for (std::string f; in >> f;) ++n;
    return n;
  }
  for (char c : line) n += c == sep;
  return n + 1;
}

void check_radiance_file(const std::vector<std::string>& l) {
  ASSERT_GT(l.size(), 9u);
  EXPECT_EQ(l[0].rfind("ABYSSOLVER Run Title: ", 0), 0u);
  EXPECT_EQ(l[8], "    [m]    [deg]   [deg]   [nm]   [W/(m^2 sr nm)]");
  std::istringstream p(l[1].substr(40));
  int nz = 0, ntheta = 0, nphi = 0, nlambda = 0;
  p >> nz >> ntheta >> nphi >> nlambda;
  EXPECT_EQ(l.size() - 9, static_cast<std::size_t>((nz + 1) * ntheta * nphi * nlambda));
  for (std::size_t i = 9; i < l.size(); ++i) ASSERT_EQ(l[i].size(), 47u) << l[i];
}

void check_digital_file(const std::vector<std::string>& l) {
  std::size_t i = 0, bands = 0;
  while (i < l.size() && !l[i].empty() && l[i][0] == '#') ++i;
  ASSERT_GT(i, 0u);
  while (i < l.size()) {
    ASSERT_EQ(l[i].rfind("BAND ", 0), 0u) << l[i];
    ++bands;
    for (++i; l[i].rfind("TABLE ", 0) == 0;) {
      std::istringstream t(l[i]);
      std::string kw, name;
      std::size_t rows = 0;
      t >> kw >> name >> rows;
      const std::size_t ncol = fields(l[i + 1], ' ');
      for (std::size_t r = 0; r < rows; ++r) ASSERT_EQ(fields(l[i + 2 + r], ' '), ncol) << name;
      i += 2 + rows;
    }
    ASSERT_EQ(l[i++].rfind("END_BAND ", 0), 0u);
  }
  EXPECT_GT(bands, 0u);
}

// Blank-line separated tables: title, header, rows of the header's width.
void check_sheet(const std::vector<std::string>& l, std::size_t min_tables) {
  std::size_t tables = 0;
  for (std::size_t i = 3; i < l.size(); ++i) {
    if (l[i].empty() || l[i].rfind("BAND\t", 0) == 0 || l[i].find("NOT CALCULATED") != std::string::npos) continue;
    const std::size_t ncol = fields(l[i + 1], '\t');
    for (i += 2; i < l.size() && !l[i].empty(); ++i) ASSERT_EQ(fields(l[i], '\t'), ncol) << l[i];
    ++tables;
  }
  EXPECT_GE(tables, min_tables);
}

}  // namespace

class OutputExamples : public ::testing::TestWithParam<const char*> {};

TEST_P(OutputExamples, WritesEveryOutputFileThatParses) {
  const std::string name = GetParam();
  std::string input = read_file(std::string(ABYSS_SOURCE_DIR) + "/examples/" + name + ".txt");
  // Record 4: printout option and the four output-file flags, all on.
  std::size_t line4 = 0;
  for (int n = 0; n < 3; ++n) line4 = input.find('\n', line4) + 1;
  input.replace(line4, 9, "0 1 1 1 1");
  ScratchRun run;
  std::string console;
  ASSERT_EQ(run.run_exe(input, console), 0) << console;
  const auto out = run.root() / "output" / "Abyssolver";
  EXPECT_NE(read_file(run.printout(name)).find(" Irradiances (units of W/m^2 nm)"), std::string::npos);
  check_radiance_file(read_lines(out / "digital" / ("L" + name + ".txt")));
  check_digital_file(read_lines(out / "digital" / ("D" + name + ".txt")));
  check_sheet(read_lines(out / "excel" / ("S" + name + ".txt")), 15);
  check_sheet(read_lines(out / "excel" / ("M" + name + ".txt")), 15);
}

INSTANTIATE_TEST_SUITE_P(Shipped, OutputExamples,
                         ::testing::Values("case1_default", "case2_coastal", "constant_single"));
