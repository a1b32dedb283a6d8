// Shared pieces of the batch tests: a small template run input, temporary
// folders and a reader that takes a result file apart variable by variable.
#pragma once

#include <netcdf.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_input.hpp"

namespace batch_test {

inline std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The Case 1 example cut down to two bands and two depths on the 10 x 24
// partition, so that one run takes a fraction of a second.
inline std::string small_template() {
  std::string t = read_file(std::filesystem::path(ABYSS_SOURCE_DIR) / "examples/case1_default.txt");
  auto swap = [&t](const std::string& from, const std::string& to) {
    const auto p = t.find(from);
    if (p != std::string::npos) t.replace(p, from.size(), to);
  };
  swap("0 1 1 1 1 1\n", "0 0 0 0 0 1\n");
  swap("6\n400 450 500 550 600 650 700\n", "2\n400 550 700\n");
  swap("0 4 0.0 1.0 5.0 10.0\n", "0 2 0.0 5.0\n");
  return abyss::testing::on_coarse_grid(t);
}

// A fresh empty folder under the build tree.
inline std::filesystem::path scratch_dir(const std::string& name) {
  const auto d = std::filesystem::path(ABYSS_BINARY_DIR) / "batch_test" / name;
  std::filesystem::remove_all(d);
  std::filesystem::create_directories(d);
  return d;
}

// Every variable of a NetCDF file as raw bytes (strings as their text), for
// comparisons to the last bit.
inline std::map<std::string, std::string> nc_contents(const std::filesystem::path& file) {
  std::map<std::string, std::string> out;
  int nc = 0;
  if (nc_open(file.c_str(), NC_NOWRITE, &nc) != NC_NOERR) return out;
  int nvars = 0;
  nc_inq_nvars(nc, &nvars);
  for (int v = 0; v < nvars; ++v) {
    char name[NC_MAX_NAME + 1];
    nc_type type;
    int ndims = 0, dims[NC_MAX_VAR_DIMS];
    nc_inq_var(nc, v, name, &type, &ndims, dims, nullptr);
    std::size_t n = 1;
    for (int d = 0; d < ndims; ++d) {
      std::size_t len = 0;
      nc_inq_dimlen(nc, dims[d], &len);
      n *= len;
    }
    std::string bytes;
    if (type == NC_STRING) {
      std::vector<char*> s(n);
      if (n) nc_get_var_string(nc, v, s.data());
      for (char* c : s) bytes += std::string(c ? c : "") + '\n';
      if (n) nc_free_string(n, s.data());
    } else if (type == NC_DOUBLE) {
      std::vector<double> d(n);
      if (n) nc_get_var_double(nc, v, d.data());
      bytes.assign(reinterpret_cast<const char*>(d.data()), n * sizeof(double));
    } else {
      std::vector<signed char> d(n);
      if (n) nc_get_var_schar(nc, v, d.data());
      bytes.assign(reinterpret_cast<const char*>(d.data()), n);
    }
    out[name] = bytes;
  }
  nc_close(nc);
  return out;
}

inline std::vector<double> nc_doubles(const std::filesystem::path& file, const std::string& var) {
  const std::string b = nc_contents(file)[var];
  std::vector<double> d(b.size() / sizeof(double));
  std::memcpy(d.data(), b.data(), d.size() * sizeof(double));
  return d;
}

}  // namespace batch_test
