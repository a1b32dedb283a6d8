#include "control/run_options.hpp"

#include <cstdlib>

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <thread>

#include "control/errors.hpp"

namespace abyss {
namespace {

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

bool parse_flag(const std::string& v, bool& out) {
  const std::string s = lower(v);
  if (s == "yes" || s == "on" || s == "true" || s == "1") return out = true, true;
  if (s == "no" || s == "off" || s == "false" || s == "0") return out = false, true;
  return false;
}

bool parse_count(const std::string& v, int lo, int hi, int& out) {
  int n = 0;
  const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
  if (r.ec != std::errc() || r.ptr != v.data() + v.size() || n < lo || n > hi) return false;
  out = n;
  return true;
}

}  // namespace

void set_run_option(RunOptions& opts, const std::string& name, const std::string& value) {
  const std::string key = lower(name);
  const auto bad = [&](const char* want) {
    herr("initial", fmt::format("run option {} = {}: {}", name, value, want));
  };
  if (key == "solver") {
    const std::string v = lower(value);
    if (v != "exact" && v != "adams") bad("the solver is exact or adams");
    opts.solver = v;
  } else if (key == "sun_beam") {
    const std::string v = lower(value);
    if (v != "exact" && v != "quad") bad("the sun beam is exact or quad");
    opts.sun_beam = v;
  } else if (key == "partition") {
    const std::string v = lower(value);
    const auto x = v.find('x');
    int nmu = 0, nphi = 0;
    if (x == std::string::npos || !parse_count(v.substr(0, x), 3, 90, nmu) || !parse_count(v.substr(x + 1), 4, 360, nphi) ||
        nphi % 2 != 0)
      bad("give the quad partition as NMUxNPHI, e.g. 10x24 or 20x24 (NMU from 3 to 90, NPHI even, from 4 to 360)");
    opts.partition = std::to_string(nmu) + "x" + std::to_string(nphi);
  } else if (key == "threads") {
    if (!parse_count(value, 0, 1024, opts.threads)) bad("give a whole number of threads from 0 (one per core) to 1024");
  } else if (key == "relerr") {
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || *end != '\0' || !(v >= 1e-12 && v <= 0.1)) bad("give a relative tolerance from 1e-12 to 0.1");
    opts.relerr = v;
  } else if (key == "netcdf") {
    if (!parse_flag(value, opts.netcdf)) bad("give yes or no");
  } else {
    herr("initial", fmt::format("unknown run option {} (known: solver, sun_beam, partition, relerr, threads, netcdf)", name));
  }
}

RunOptions read_run_options(std::istream& in) {
  RunOptions opts;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    const std::string text = trim(line.substr(0, line.find('#')));
    if (text.empty()) continue;
    const auto eq = text.find('=');
    if (eq == std::string::npos || trim(text.substr(0, eq)).empty() || trim(text.substr(eq + 1)).empty())
      herr("initial", fmt::format("line {} after record 32 is not a run option \"name = value\": {}", n,
                                  text.substr(0, 60)));
    set_run_option(opts, trim(text.substr(0, eq)), trim(text.substr(eq + 1)));
    opts.given.push_back(text);
  }
  return opts;
}

std::string partition_suffix(const std::string& partition) {
  return partition == "10x24" ? std::string() : "_" + partition;
}

int worker_threads(int threads) {
  return threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace abyss
