// Gregg and Carder (1990) clear-sky maritime irradiance at one wavelength.
#include "sky/radtranx_model.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace abyss::rtx {

namespace {
constexpr double kDeg = std::numbers::pi / 180.0;
}

double earth_sun_factor(double jday) {
  const double d = 1.0 + 0.0167 * std::cos(2.0 * std::numbers::pi * (jday - 3.0) / 365.0);
  return d * d;
}

// Kasten (1966), the formula G&C and Bird & Riordan use; it stays finite up
// to 93.885 degrees, and the caller stops at the horizon.
double airmass(double theta_deg) {
  return 1.0 / (std::cos(theta_deg * kDeg) + 0.15 * std::pow(93.885 - theta_deg, -1.253));
}

// Rayleigh scattering and the uniformly mixed gases scale with the mass of
// the whole air column, hence with surface pressure.
double pressure_airmass(double m, double pressure_mb) { return m * pressure_mb / kP0; }

// Paltridge and Platt (1976): the ozone sits in a thin layer at 22 km, so
// its slant path stays finite at the horizon.
double ozone_airmass(double theta_deg) {
  constexpr double h = 22.0 / 6370.0;
  const double mu0 = std::cos(theta_deg * kDeg);
  return (1.0 + h) / std::sqrt(mu0 * mu0 + 2.0 * h);
}

double rayleigh_t(double wl_um, double mprime, double c) {
  const double l2 = wl_um * wl_um;
  return std::exp(-mprime / (l2 * l2 * (115.6406 - c / l2)));
}

double ozone_t(double a_oz, double ozone_atmcm, double moz) { return std::exp(-a_oz * ozone_atmcm * moz); }

double mixed_gas_t(double a_o2, double mprime, double k) {
  const double x = a_o2 * mprime;
  return std::exp(-1.41 * x / std::pow(1.0 + k * x, 0.45));
}

double water_vapour_t(double a_wv, double wv_cm, double m) {
  const double x = a_wv * wv_cm * m;
  return std::exp(-0.2385 * x / std::pow(1.0 + 20.07 * x, 0.45));
}

// Particles swell with humidity; the mode radii are those at 80 %, where
// f = 1 exactly.
double growth_factor(double rh_percent) {
  const double rh = std::min(rh_percent, kMaxRh) / 100.0;
  return std::cbrt((2.0 - rh) / (6.0 * (1.0 - rh)));
}

// Three log-normal modes: continental background (set by the air-mass
// type), aged sea salt (24-hour mean wind) and fresh sea salt (current wind).
// The fresh-salt amplitude is the uncertain one: Gregg's codes use
// 0.05 x 0.01527 (W - 2.2), floor 1.4e-5, after Hughes (1987), who found the
// older large-particle mode too strong; Gathman's model as coded in LOWTRAN 7
// uses 10^(0.06 W - 2.8) (alpha lower by ~0.08 at 5 m/s). We keep Hughes's
// form, as Gregg and Carder did.
double navy_dndr(const AerosolInput& in, double f, double r_um) {
  const double a[3] = {2000.0 * in.am * in.am, std::max(0.5, 5.866 * (in.wm - 2.2)),
                       std::max(1.4e-5, 0.05 * 0.01527 * (in.w - 2.2))};
  constexpr double r0[3] = {0.03, 0.24, 2.0};
  double sum = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double x = std::log(r_um / (f * r0[i]));
    sum += a[i] / f * std::exp(-x * x);
  }
  return sum;
}

// The distribution is treated as a Junge power law dN/dr ~ r^gamma fitted
// at 0.1, 1 and 10 um (least squares in log-log; with the log radii -1, 0, 1
// the slope is half the difference of the outer points); the optical
// thickness then goes as lambda^-alpha with alpha = -(gamma + 3).
double angstrom_exponent(const AerosolInput& in, double f) {
  const double y1 = std::log10(navy_dndr(in, f, 0.1));
  const double y3 = std::log10(navy_dndr(in, f, 10.0));
  const double gamma = 0.5 * (y3 - y1);
  return -(gamma + 3.0);
}

// Large particles (small or negative alpha) scatter more into the forward
// direction; G&C's linear law is continuous at both clamps.
double asymmetry(double alpha) {
  if (alpha < 0.0) return 0.82;
  if (alpha > 1.2) return 0.65;
  return -0.1417 * alpha + 0.82;
}

double single_scattering_albedo(double am, double rh_percent) {
  return (-0.0032 * am + 0.972) * std::exp(3.06e-4 * rh_percent);
}

Aerosol navy_aerosol(const AerosolInput& in) {
  Aerosol a;
  a.f = growth_factor(in.rh);
  a.alpha = angstrom_exponent(in, a.f);
  a.tau550 = 3.91 / in.vis * kAerosolHeightKm;
  a.beta = a.tau550 * std::pow(0.55, a.alpha);
  a.omega = single_scattering_albedo(in.am, std::min(in.rh, kMaxRh));
  a.g = asymmetry(a.alpha);
  return a;
}

double aerosol_tau(const Aerosol& a, double wl_um) { return a.beta * std::pow(wl_um, -a.alpha); }

double forward_scatter(double g, double mu0) {
  const double b3 = std::log(1.0 - g);
  const double b1 = b3 * (1.459 + b3 * (0.1595 + 0.4129 * b3));
  const double b2 = b3 * (0.0783 + b3 * (-0.3824 - 0.5874 * b3));
  return 1.0 - 0.5 * std::exp((b1 + b2 * mu0) * mu0);
}

Geometry geometry(double theta_deg, double pressure_mb, const Aerosol& aer) {
  Geometry geo;
  geo.mu0 = std::cos(theta_deg * kDeg);
  geo.m = airmass(theta_deg);
  geo.mprime = pressure_airmass(geo.m, pressure_mb);
  geo.moz = ozone_airmass(theta_deg);
  geo.fa = forward_scatter(aer.g, geo.mu0);
  return geo;
}

// Direct beam: every attenuator on the slant path. Diffuse: half of the
// Rayleigh-scattered light (with G&C's 0.95 exponent) plus the forward-
// scattered part of the aerosol-scattered light; both after the absorbers.
// No ground-sky multiple reflection (the sea is dark) and no UV factor:
// G&C drop both from Bird and Riordan.
Irradiance clear_sky(const Spectral& s, const Geometry& geo, const Aerosol& aer, const Gases& gas) {
  const double wl_um = s.wl_nm * 1.0e-3;
  const double tr = rayleigh_t(wl_um, geo.mprime);
  const double absorbers = ozone_t(s.a_oz, gas.ozone_atmcm, geo.moz) * mixed_gas_t(s.a_o2, geo.mprime) *
                           water_vapour_t(s.a_wv, gas.wv_cm, geo.m);
  const double tau = aerosol_tau(aer, wl_um);
  const double ta = std::exp(-tau * geo.m);
  const double taa = std::exp(-(1.0 - aer.omega) * tau * geo.m);
  const double tas = std::exp(-aer.omega * tau * geo.m);
  const double top = s.h0 * geo.mu0 * absorbers;
  Irradiance e;
  e.direct = top * tr * ta;
  const double ir = top * taa * 0.5 * (1.0 - std::pow(tr, 0.95));
  const double ia = top * taa * std::pow(tr, 1.5) * (1.0 - tas) * geo.fa;
  e.diffuse = ir + ia;
  return e;
}

// Kasten and Czeplak's broadband laws, applied wavelength by wavelength:
// the global irradiance falls as 1 - 0.75 C^3.4 and its diffuse fraction
// rises as 0.3 + 0.7 C^2. Below a quarter cover the clear-sky spectral split
// is kept, so that a nearly clear sky does not get K&C's broadband clear
// diffuse fraction of 0.3 imposed on it.
Irradiance cloud_correction(const Irradiance& clear, double c) {
  c = std::clamp(c, 0.0, 1.0);
  if (c <= kCloudThreshold) return clear;
  const double total = (clear.direct + clear.diffuse) * (1.0 - 0.75 * std::pow(c, 3.4));
  Irradiance e;
  e.diffuse = total * (0.3 + 0.7 * c * c);
  e.direct = total - e.diffuse;
  return e;
}

}  // namespace abyss::rtx
