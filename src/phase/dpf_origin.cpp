#include "phase/dpf_origin.hpp"

#include <cstdio>
#include <exception>
#include <filesystem>

namespace abyss::phase {

namespace {

bool starts_with(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

// The number after `key` in `s`, if there is one.
std::optional<double> number_after(const std::string& s, const char* key) {
  const auto at = s.find(key);
  if (at == std::string::npos) return std::nullopt;
  try {
    return std::stod(s.substr(at + std::char_traits<char>::length(key)));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<PhaseFunction> function_of_title(const std::string& title, const std::string& phasefun_dir) {
  try {
    if (starts_with(title, "Fournier-Forand, slope ")) {
      const auto slope = number_after(title, "slope "), n = number_after(title, ", n = ");
      if (slope && n) return PhaseFunction::fournier_forand_index(*slope, *n);
      return std::nullopt;
    }
    if (starts_with(title, "Henyey-Greenstein, g = ")) {
      const auto g = number_after(title, "g = ");
      if (g) return PhaseFunction::henyey_greenstein(*g);
      return std::nullopt;
    }
    if (starts_with(title, "pure water, 1 + 0.835 cos^2")) return PhaseFunction::pure_water();
    if (starts_with(title, "isotropic;") || title == "isotropic") return PhaseFunction::isotropic();
    if (starts_with(title, "Petzold average particle")) {
      const std::filesystem::path table =
          std::filesystem::path(phasefun_dir) / ".." / "sources" / "petzold_avg_harbor_cumulative_spf.txt";
      if (!std::filesystem::exists(table)) return std::nullopt;
      return read_cumulative_table(table.string(), "Petzold average particle");
    }
  } catch (const std::exception&) {
    return std::nullopt;  // parameters the functions do not accept
  }
  return std::nullopt;
}

}  // namespace abyss::phase
