// A run state set up directly for IOP and data-file tests: printout on a
// temporary file, console in a string, a wavelength grid, a depth grid, and
// the repository's data tree.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "control/run_state.hpp"

namespace abyss::testing {

class IopRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("abyss_iop_" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    rs.printout.open(dir_ / "printout.txt");
    rs.console = &console;
    rs.cdirnames.data = std::string(ABYSS_SOURCE_DIR) + "/data/";
    set_waves({400.0, 500.0, 600.0, 700.0});
    set_depths({0.0, 10.0, 50.0});
    rs.cmisc.iop = 0;
    rs.cmisc.iprint = -1;
    // Phase functions chosen by a constant bb/b, as a run input would set them.
    for (int k = 1; k <= mxcomp; ++k) rs.comp.pf_opt(k) = 1, rs.comp.bbtob(k) = 0.0183;
  }
  void TearDown() override {
    rs.printout.close();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  void set_waves(std::initializer_list<double> w) {
    int j = 0;
    for (double v : w) rs.cwave.wave(++j) = v;
    rs.cmisc.nwave = j;
    rs.cmisc.wavenm = rs.cwave.wave(1);
  }
  void set_depths(std::initializer_list<double> z) {
    int k = 0;
    for (double v : z) rs.cgrid.z(++k) = v;
    rs.cmisc.nz = k;
  }
  // Writes a file in the scratch folder and returns its full name.
  std::string write(const std::string& name, const std::string& text) {
    auto p = dir_ / name;
    std::ofstream(p) << text;
    return p.string();
  }
  // A standard data file: ten header records then the given data lines.
  std::string data_file(const std::string& name, const std::string& records) {
    std::string h;
    for (int i = 1; i <= 10; ++i) h += "header record " + std::to_string(i) + "\n";
    return write(name, h + records);
  }
  std::string printout() {
    rs.printout.flush();
    std::ifstream in(dir_ / "printout.txt");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::vector<std::string> printout_lines() {
    std::vector<std::string> out;
    std::istringstream in(printout());
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
  }
  std::string data(const std::string& name) const { return rs.cdirnames.data + name; }

  RunState rs;
  std::ostringstream console;

 private:
  std::filesystem::path dir_;
};

}  // namespace abyss::testing
