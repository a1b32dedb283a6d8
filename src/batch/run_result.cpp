#include "batch/run_result.hpp"

#include <bit>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <utility>

#include "control/driver.hpp"
#include "control/run_state.hpp"
#include "batch/run_input_text.hpp"

namespace abyss::batch {
namespace {

using Json = nlohmann::json;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double ratio(double num, double den) { return den != 0.0 && std::isfinite(num / den) ? num / den : kNaN; }

Json bits(const std::vector<double>& v) {
  Json a = Json::array();
  for (double d : v) a.push_back(std::bit_cast<std::uint64_t>(d));
  return a;
}

std::vector<double> unbits(const Json& a) {
  std::vector<double> v;
  for (const Json& e : a) v.push_back(std::bit_cast<double>(e.get<std::uint64_t>()));
  return v;
}

// The ERROR and STOP lines the common error exit writes to the console.
std::string error_lines(const std::string& console) {
  std::istringstream in(console);
  std::string out;
  for (std::string line; std::getline(in, line);) {
    const auto b = line.find_first_not_of(' ');
    if (b == std::string::npos) continue;
    if (line.compare(b, 6, "ERROR:") == 0) out = line.substr(b);
    else if (line.compare(b, 16, "STOP in routine ") == 0) out += "; " + line.substr(b);
  }
  return out;
}

}  // namespace

const char* status_name(RunStatus s) {
  switch (s) {
    case RunStatus::ok: return "ok";
    case RunStatus::failed: return "failed";
    case RunStatus::missing: return "missing";
  }
  return "missing";
}

RunResult collect(const RunState& rs) {
  RunResult r;
  const SpectralStore& sp = rs.der.spectrum;
  const int nwave = rs.cmisc.nwave, nout = static_cast<int>(rs.sel.pirrad.size());
  const std::size_t npair = rs.der.ckxcl.zmid.size();
  for (int k : rs.sel.pirrad) r.depth.push_back(rs.cgrid.z(k));
  r.kd_depth = rs.der.ckxcl.zmid;
  for (int j = 1; j <= nwave; ++j) {
    const auto uj = static_cast<std::size_t>(j);
    const bool have = sp.solved[uj] || sp.filled[uj];
    auto at = [&](const Mat& m, int level) { return have ? sp.at(m, level, j) : kNaN; };
    r.wavelength.push_back(rs.cwave.wave(j));
    r.ed_air.push_back(at(sp.ed, 0));
    r.eu_air.push_back(at(sp.eu, 0));
    r.eo_air.push_back(at(sp.eo, 0));
    r.lw.push_back(have ? sp.lw(j) : kNaN);
    r.rrs.push_back(have ? ratio(sp.lw(j), sp.at(sp.ed, 0, j)) : kNaN);
    for (int i = 1; i <= nout; ++i) {
      r.ed.push_back(at(sp.ed, i));
      r.eu.push_back(at(sp.eu, i));
      r.eo.push_back(at(sp.eo, i));
    }
    // K-functions exist for the bands the loop solved.
    for (std::size_t p = 1; p <= npair; ++p)
      r.kd.push_back(sp.solved[uj] ? rs.der.ckxcl.k[kKd](static_cast<int>(p), j) : kNaN);
  }
  const ParRecord& par = rs.der.cpar;
  r.par_air = par.computed ? par.par_eo(0) : kNaN;
  for (int i = 1; i <= nout; ++i) r.par.push_back(par.computed ? par.par_eo(i) : kNaN);
  return r;
}

// The arrays of a result by their names in the serialized record.
constexpr std::pair<const char*, std::vector<double> RunResult::*> kArrays[] = {
    {"wavelength", &RunResult::wavelength}, {"depth", &RunResult::depth}, {"kd_depth", &RunResult::kd_depth},
    {"ed_air", &RunResult::ed_air},         {"eu_air", &RunResult::eu_air}, {"eo_air", &RunResult::eo_air},
    {"lw", &RunResult::lw},                 {"rrs", &RunResult::rrs},       {"ed", &RunResult::ed},
    {"eu", &RunResult::eu},                 {"eo", &RunResult::eo},         {"kd", &RunResult::kd},
    {"par", &RunResult::par}};

std::string serialize(const RunResult& r) {
  Json j;
  j["index"] = r.index;
  j["input_hash"] = r.input_hash;
  j["status"] = static_cast<int>(r.status);
  j["message"] = r.message;
  j["seconds"] = std::bit_cast<std::uint64_t>(r.seconds);
  j["par_air"] = std::bit_cast<std::uint64_t>(r.par_air);
  for (const auto& [name, member] : kArrays) j[name] = bits(r.*member);
  return j.dump();
}

RunResult deserialize(const std::string& line) {
  RunResult r;
  try {
    const Json j = Json::parse(line);
    r.index = j.at("index").get<std::size_t>();
    r.input_hash = j.at("input_hash").get<std::uint64_t>();
    const int st = j.at("status").get<int>();
    if (st < 0 || st > 2) throw SweepError("bad run status in a result record");
    r.status = static_cast<RunStatus>(st);
    r.message = j.at("message").get<std::string>();
    r.seconds = std::bit_cast<double>(j.at("seconds").get<std::uint64_t>());
    r.par_air = std::bit_cast<double>(j.at("par_air").get<std::uint64_t>());
    for (const auto& [name, member] : kArrays) r.*member = unbits(j.at(name));
  } catch (const nlohmann::json::exception& e) {
    throw SweepError(std::string("bad result record: ") + e.what());
  }
  return r;
}

RunResult execute(std::size_t index, const std::string& input, std::uint64_t input_hash, const std::string& folder,
                  const std::string& data_dir, bool keep) {
  namespace fs = std::filesystem;
  const auto t0 = std::chrono::steady_clock::now();
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder, ec);
  std::istringstream in(input);
  std::ostringstream console;
  auto rs = std::make_unique<RunState>();
  rs->input = &in;
  rs->console = &console;
  rs->roots.output = (fs::path(folder) / "").string();
  if (!data_dir.empty()) rs->roots.data = (fs::path(data_dir) / "").string();
  const int status = run_abyssolver(*rs);
  RunResult r = status == 0 ? collect(*rs) : RunResult{};
  rs.reset();
  r.index = index;
  r.input_hash = input_hash;
  r.status = status == 0 ? RunStatus::ok : RunStatus::failed;
  if (status != 0) {
    r.message = error_lines(console.str());
    if (r.message.empty()) r.message = "the run stopped without an ERROR line";
  }
  if (keep) {
    std::ofstream(fs::path(folder) / "run_input.txt") << input;
    std::ofstream(fs::path(folder) / "console.txt") << console.str();
  } else {
    fs::remove_all(folder, ec);
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return r;
}

}  // namespace abyss::batch
