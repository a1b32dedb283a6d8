#include "util/fortran_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <fmt/format.h>

namespace abyss::ff {
namespace {

std::string stars(int w) { return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*'); }

std::string right(const std::string& s, int w) {
  if (static_cast<int>(s.size()) > w) return stars(w);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// NaN and infinities are written as gfortran does, so a reader sees the same
// words whatever the descriptor.
bool special(double v, int w, std::string& out) {
  if (std::isnan(v)) {
    out = right("NaN", w);
    return true;
  }
  if (std::isinf(v)) {
    std::string s = w >= 8 ? "Infinity" : "Inf";
    if (v < 0) s = "-" + s;
    else if (w > static_cast<int>(s.size()) && s.size() < 8) s = "+" + s;
    out = right(s, w);
    return true;
  }
  return false;
}

// Exponent field of E editing: E+dd for |e| <= 99, +ddd without the letter up
// to 999; empty (overflow) beyond.
std::string exponent_text(int e) {
  char buf[16];
  int a = std::abs(e);
  if (a <= 99) std::snprintf(buf, sizeof buf, "E%c%02d", e < 0 ? '-' : '+', a);
  else if (a <= 999) std::snprintf(buf, sizeof buf, "%c%03d", e < 0 ? '-' : '+', a);
  else return {};
  return buf;
}

}  // namespace

std::string I(long long v, int w) { return right(std::to_string(v), w); }

std::string F(double v, int w, int d) {
  std::string out;
  if (special(v, w, out)) return out;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%#.*f", d, v);  // # keeps the point of Fw.0
  std::string s = buf;
  // The leading zero of a magnitude below one is optional in Fortran output.
  if (static_cast<int>(s.size()) > w) {
    if (s.rfind("0.", 0) == 0) s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
  }
  return right(s, w);
}

std::string E(double v, int w, int d) {
  std::string out;
  if (special(v, w, out)) return out;
  std::string digits;
  int e = 0;
  bool neg = std::signbit(v) && v != 0.0;
  if (v == 0.0 || d <= 0) {
    digits = std::string(static_cast<std::size_t>(d > 0 ? d : 0), '0');
  } else {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", d - 1, std::fabs(v));  // m.mmme+xx
    std::string s = buf;
    auto epos = s.find('e');
    digits = s.substr(0, 1) + (d > 1 ? s.substr(2, epos - 2) : "");
    e = std::atoi(s.c_str() + epos + 1) + 1;
  }
  std::string ex = exponent_text(e);
  if (ex.empty()) return stars(w);
  std::string body = "0." + digits + ex;
  if (neg) body = "-" + body;
  if (static_cast<int>(body.size()) > w) {
    body = (neg ? "-." : ".") + digits + ex;
  }
  return right(body, w);
}

std::string PE(double v, int w, int d) {
  std::string out;
  if (special(v, w, out)) return out;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", d, v);
  std::string s = buf;
  auto epos = s.find('e');
  int e = v == 0.0 ? 0 : std::atoi(s.c_str() + epos + 1);
  std::string ex = exponent_text(e);
  if (ex.empty()) return stars(w);
  return right(s.substr(0, epos) + ex, w);
}

std::string ES(double v, int w, int d) { return PE(v, w, d); }

std::string A(const std::string& s, int w) {
  if (static_cast<int>(s.size()) >= w) return s.substr(0, static_cast<std::size_t>(w));
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

std::string X(int n) { return std::string(static_cast<std::size_t>(n > 0 ? n : 0), ' '); }

std::string ld(double v) { return fmt::format(" {}", v); }

std::string ld(long long v) { return I(v, 12); }

void write_e_block(std::ostream& os, const double* v, std::size_t n, int per_record, int w, int d) {
  for (std::size_t i = 0; i < n; ++i) {
    os << E(v[i], w, d) << ' ';
    if ((i + 1) % static_cast<std::size_t>(per_record) == 0 || i + 1 == n) os << '\n';
  }
  if (n == 0) os << '\n';
}

}  // namespace abyss::ff
