// The undefined-value marker of every table and file.
//
// A ratio with a zero denominator, or the logarithm of a non-positive
// irradiance ratio (for example Enet where Eu exceeds Ed, or any quantity in
// a perfectly dark layer), has no value. Such values are kept as NaN in the
// records and written as "n/a", right-justified in the field, instead of
// "NaN" or "Infinity", so that tables stay readable and parseable.
#pragma once

#include <cmath>
#include <limits>
#include <string>

#include "util/fortran_format.hpp"

namespace abyss {

inline constexpr const char* kUndefinedMarker = "n/a";
inline constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();

inline bool is_undefined(double v) { return !std::isfinite(v); }

// num / den when den > 0, otherwise undefined.
inline double guarded_ratio(double num, double den) { return den > 0.0 ? num / den : kUndefined; }

// Local attenuation coefficient -(1/(z2 - z1)) ln(x2/x1); undefined unless
// both values are positive and the depths differ.
inline double k_between(double x1, double x2, double z1, double z2) {
  if (!(x1 > 0.0) || !(x2 > 0.0) || z2 == z1) return kUndefined;
  return -std::log(x2 / x1) / (z2 - z1);
}

// Fixed-width field of a value, or the marker right-justified in the field.
using FieldFormat = std::string (*)(double, int, int);
inline std::string field(FieldFormat f, double v, int w, int d) {
  return is_undefined(v) ? ff::A(kUndefinedMarker, w) : f(v, w, d);
}

}  // namespace abyss
