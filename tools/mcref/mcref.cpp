// mcref: an independent Monte Carlo of light in homogeneous water under a
// level surface, to check the engine on cases other than the shipped
// references (other albedos, suns, phase functions, a Lambertian bottom).
//
//   mcref [--n N] [--sun DEG] [--a A] [--comp PF:B]... [--bottom DEPTH:R]
//         [--depths D1,D2,...] [--photons N] [--batches K] [--seed S]
//
// PF is ff:BB (Fournier-Forand of backscatter fraction BB), hg:G
// (Henyey-Greenstein), water (pure-water scattering) or iso. The sun's beam
// (Ed in air = 1, black sky) is refracted exactly; photons carry a weight
// that each collision multiplies by the albedo (survival biasing, Russian
// roulette below 1e-4); the direction after a collision is drawn exactly
// from the mixture's phase function. Upward light at the surface is split
// into its Fresnel-reflected and transmitted parts. Estimators: plane
// crossings at each depth (Ed, Eu, Eo = sum of w / |mu|, the cap radiance
// of upward travel within 5 degrees of the vertical, Lu_cap) and the
// transmitted cap radiance in air (Lw_cap), and next-event estimates of the
// upward nadir radiance at each depth (Lu_cap_nee: every collision and bottom
// reflection below the depth sends w times the chance of scattering straight
// up, attenuated over the way, and Lw_nadir = Lu_cap_nee(0) T / n^2, both far
// less noisy than the crossings of the small cap). Depth in metres, positive down.
// Each value is the mean of K independent batches, printed with its
// standard error, as a tab-separated table.
//
// It shares nothing with the engine's solver: only the continuous phase
// functions (the physics of the case) come from the engine's library.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "phase/phase_functions.hpp"

using abyss::phase::PhaseFunction;

namespace {

constexpr double kPi = 3.14159265358979323846;
const double kCapCos = std::cos(5.0 * kPi / 180.0);

// Inverse of a phase function's cumulative C(psi), tabulated on a grid
// logarithmic near the forward direction (where Fournier-Forand peaks).
class Sampler {
 public:
  explicit Sampler(const PhaseFunction& f) {
    for (double x = 1e-10; x < 0.05; x *= 1.005) psi_.push_back(x);
    for (double x = 0.05; x < kPi; x += 2e-4) psi_.push_back(x);
    psi_.push_back(kPi);
    psi_.insert(psi_.begin(), 0.0);
    for (double p : psi_) c_.push_back(f.cumulative(p));
    c_.front() = 0.0;
    const double total = c_.back();
    for (double& v : c_) v /= total;
  }
  double psi(double u) const {
    const auto it = std::upper_bound(c_.begin(), c_.end(), u);
    const std::size_t i = std::clamp<std::size_t>(static_cast<std::size_t>(it - c_.begin()), 1, c_.size() - 1);
    const double dc = c_[i] - c_[i - 1];
    const double t = dc > 0.0 ? (u - c_[i - 1]) / dc : 0.5;
    return psi_[i - 1] + t * (psi_[i] - psi_[i - 1]);
  }

 private:
  std::vector<double> psi_, c_;
};

// The phase function averaged over a cone of half-angle `half` about a
// direction at angle theta from the scattered light's direction, tabulated
// in theta: a next-event estimate with it gives the cone's average radiance,
// bounded even for a photon inside the forward peak. For each azimuth chi
// about the photon's direction, the great circle crosses the cone for psi in
// [delta - w, delta + w] and receives exactly (C(psi2) - C(psi1)) / (2 pi).
class ConeAverage {
 public:
  ConeAverage(const PhaseFunction& f, double half) : half_(half) {
    const double omega = 2.0 * kPi * (1.0 - std::cos(half));
    for (int i = 0; i <= kN; ++i) v_.push_back(average(f, kPi * i / kN) / omega);
  }
  double at(double theta) const {
    const double x = std::clamp(theta / kPi * kN, 0.0, static_cast<double>(kN));
    const int i = std::min(static_cast<int>(x), kN - 1);
    return v_[static_cast<std::size_t>(i)] + (x - i) * (v_[static_cast<std::size_t>(i + 1)] - v_[static_cast<std::size_t>(i)]);
  }

 private:
  static constexpr int kN = 6000, kChi = 720;
  double half_;
  std::vector<double> v_;
  double average(const PhaseFunction& f, double theta) const {
    const double c0 = std::cos(half_);
    double sum = 0.0;
    for (int j = 0; j < kChi; ++j) {
      const double chi = 2.0 * kPi * (j + 0.5) / kChi;
      const double A = std::cos(theta), B = std::sin(theta) * std::cos(chi), R = std::hypot(A, B);
      if (R <= c0) continue;
      // The cone lies about psi = delta (mod 2 pi) on this ray; psi runs over [0, pi].
      double delta = std::atan2(B, A);
      if (delta < -0.5 * kPi) delta += 2.0 * kPi;
      const double w = std::acos(c0 / R);
      const double p1 = std::clamp(delta - w, 0.0, kPi), p2 = std::clamp(delta + w, 0.0, kPi);
      if (p2 > p1) sum += f.cumulative(p2) - f.cumulative(p1);
    }
    return sum / kChi;
  }
};

struct Component {
  std::unique_ptr<PhaseFunction> f;
  std::unique_ptr<Sampler> s;
  std::unique_ptr<ConeAverage> cap, lw;  // over the 5-degree cap; over the water cone seen in the air's cap
  double b = 0.0;
};

struct Case {
  double n = 1.34, sun = 0.0, a = 0.2;
  std::vector<Component> comps;
  double bottom_depth = -1.0, bottom_r = 0.0;  // no bottom when the depth is negative
  std::vector<double> depths{0, 1, 2, 5, 10, 20};
  long photons = 1000000;
  int batches = 20;
  unsigned long seed = 12345;
  double btot() const {
    double s = 0.0;
    for (const auto& c : comps) s += c.b;
    return s;
  }
};

PhaseFunction function_of(const std::string& spec) {
  const auto colon = spec.find(':');
  const std::string kind = spec.substr(0, colon);
  const double p = colon == std::string::npos ? 0.0 : std::atof(spec.c_str() + colon + 1);
  if (kind == "ff") return PhaseFunction::fournier_forand(p);
  if (kind == "hg") return PhaseFunction::henyey_greenstein(p);
  if (kind == "water") return PhaseFunction::pure_water();
  if (kind == "iso") return PhaseFunction::isotropic();
  throw std::runtime_error("unknown phase function " + spec);
}

double fresnel(double ci, double n1, double n2) {  // unpolarised reflectance, ci the cosine of incidence
  const double s2 = (n1 / n2) * (n1 / n2) * (1.0 - ci * ci);
  if (s2 >= 1.0) return 1.0;
  const double ct = std::sqrt(1.0 - s2);
  const double rs = (n1 * ci - n2 * ct) / (n1 * ci + n2 * ct), rp = (n2 * ci - n1 * ct) / (n2 * ci + n1 * ct);
  return 0.5 * (rs * rs + rp * rp);
}

struct Tally {
  std::vector<double> ed, eu, eo, lu, lnee;
  double lw = 0.0, lw_nee = 0.0;
  explicit Tally(std::size_t nd) : ed(nd), eu(nd), eo(nd), lu(nd), lnee(nd) {}
};

struct Photon {
  double z = 0.0, ux = 0.0, uy = 0.0, uz = 1.0, w = 1.0;  // uz > 0: downward
};

class Tracer {
 public:
  Tracer(const Case& c, unsigned long seed) : c_(c), rng_(seed) {}

  void run(long n, Tally& t) {
    for (long i = 0; i < n; ++i) trace(t);
  }

 private:
  double uni() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng_); }

  void cross(std::size_t k, const Photon& p, Tally& t) {
    const double mu = std::max(std::abs(p.uz), 1e-4);
    t.eo[k] += p.w / mu;
    if (p.uz > 0) {
      t.ed[k] += p.w;
    } else {
      t.eu[k] += p.w;
      if (-p.uz > kCapCos) t.lu[k] += p.w / mu;
    }
  }

  // The planes crossed moving from z0 to z1 (depth 0 is handled at the surface).
  void crossings(double z0, const Photon& p, Tally& t) {
    for (std::size_t k = 0; k < c_.depths.size(); ++k) {
      const double d = c_.depths[k];
      if (d <= 0.0) continue;
      if ((z0 < d && p.z >= d) || (z0 > d && p.z <= d)) cross(k, p, t);
    }
  }

  void tally_surface(const Photon& p, Tally& t) {
    for (std::size_t k = 0; k < c_.depths.size(); ++k)
      if (c_.depths[k] <= 0.0) cross(k, p, t);
  }

  // Next-event estimate: a source at depth z sending `radiance` (per unit
  // weight, 1/sr) straight up, seen at every output depth above it.
  void toward_nadir(double z, double radiance, Tally& t) const {
    const double c = c_.a + c_.btot();
    for (std::size_t k = 0; k < c_.depths.size(); ++k)
      if (c_.depths[k] <= z) t.lnee[k] += radiance * std::exp(-c * (z - c_.depths[k]));
  }
  // The scattered weight per steradian sent up into the cap (or the water
  // cone under the air's cap) from direction u.
  double scattered_up(const Photon& p, bool air) const {
    const double theta = std::acos(std::clamp(-p.uz, -1.0, 1.0));
    double s = 0.0;
    for (const auto& comp : c_.comps) s += comp.b * (air ? comp.lw : comp.cap)->at(theta);
    return p.w * s / (c_.a + c_.btot());
  }

  void scatter(Photon& p) {
    double u = uni() * c_.btot();
    const Component* comp = &c_.comps.back();
    for (const auto& c : c_.comps) {
      if (u < c.b) {
        comp = &c;
        break;
      }
      u -= c.b;
    }
    const double psi = comp->s->psi(uni()), phi = 2.0 * kPi * uni();
    turn(p, std::cos(psi), phi);
  }

  static void turn(Photon& p, double cpsi, double phi) {
    const double spsi = std::sqrt(std::max(0.0, 1.0 - cpsi * cpsi)), cphi = std::cos(phi), sphi = std::sin(phi);
    if (std::abs(p.uz) > 0.99999) {
      const double s = p.uz > 0 ? 1.0 : -1.0;
      p.ux = spsi * cphi;
      p.uy = spsi * sphi;
      p.uz = s * cpsi;
    } else {
      const double den = std::sqrt(1.0 - p.uz * p.uz);
      const double ux = spsi * (p.ux * p.uz * cphi - p.uy * sphi) / den + p.ux * cpsi;
      const double uy = spsi * (p.uy * p.uz * cphi + p.ux * sphi) / den + p.uy * cpsi;
      const double uz = -spsi * cphi * den + p.uz * cpsi;
      p.ux = ux, p.uy = uy, p.uz = uz;
    }
    const double norm = std::sqrt(p.ux * p.ux + p.uy * p.uy + p.uz * p.uz);
    p.ux /= norm, p.uy /= norm, p.uz /= norm;
  }

  // Upward light reaching the surface: the transmitted part leaves (its cap
  // radiance in air is tallied), the reflected part goes on down.
  void at_surface(Photon& p, Tally& t) {
    tally_surface(p, t);
    const double ci = -p.uz, r = fresnel(ci, c_.n, 1.0);
    if (r < 1.0) {
      const double sin_air = c_.n * std::sqrt(std::max(0.0, 1.0 - ci * ci));
      const double mu_air = std::sqrt(std::max(0.0, 1.0 - sin_air * sin_air));
      if (mu_air > kCapCos) t.lw += p.w * (1.0 - r) / mu_air;
    }
    p.w *= r;
    p.uz = -p.uz;
    p.z = 0.0;
    if (p.w > 0.0) tally_surface(p, t);
  }

  void at_bottom(Photon& p, Tally& t) {
    p.w *= c_.bottom_r;
    toward_nadir(c_.bottom_depth, p.w / kPi, t);
    t.lw_nee += p.w / kPi * std::exp(-(c_.a + c_.btot()) * c_.bottom_depth);
    const double mu = std::sqrt(uni()), phi = 2.0 * kPi * uni(), s = std::sqrt(1.0 - mu * mu);
    p.ux = s * std::cos(phi), p.uy = s * std::sin(phi), p.uz = -mu;
    p.z = c_.bottom_depth;
  }

  void trace(Tally& t) {
    const double s0 = std::sin(c_.sun * kPi / 180.0), c0 = std::cos(c_.sun * kPi / 180.0);
    Photon p;
    p.w = 1.0 - fresnel(c0, 1.0, c_.n);
    const double st = s0 / c_.n;
    p.ux = st, p.uy = 0.0, p.uz = std::sqrt(1.0 - st * st);
    tally_surface(p, t);
    const double c = c_.a + c_.btot(), albedo = c_.btot() / c, zmax = 40.0 * (1.0 + c_.depths.back()) / c + 60.0 / c;
    while (p.w > 0.0) {
      const double z0 = p.z, step = -std::log(1.0 - uni()) / c;
      p.z += step * p.uz;
      if (p.z <= 0.0) {
        p.z = 0.0;
        crossings(z0, p, t);
        at_surface(p, t);
        continue;
      }
      if (c_.bottom_depth > 0.0 && p.z >= c_.bottom_depth) {
        p.z = c_.bottom_depth;
        crossings(z0, p, t);
        at_bottom(p, t);
        crossings(c_.bottom_depth + 1e-12, p, t);
        continue;
      }
      crossings(z0, p, t);
      if (p.z > zmax) break;
      toward_nadir(p.z, scattered_up(p, false), t);
      t.lw_nee += scattered_up(p, true) * std::exp(-(c_.a + c_.btot()) * p.z);
      p.w *= albedo;
      if (p.w < 1e-4) {
        if (uni() < 0.1) p.w *= 10.0;
        else break;
      }
      scatter(p);
    }
  }

  const Case& c_;
  std::mt19937_64 rng_;
};

std::vector<double> list_of(const std::string& s) {
  std::vector<double> v;
  std::stringstream ss(s);
  for (std::string x; std::getline(ss, x, ',');) v.push_back(std::atof(x.c_str()));
  return v;
}

Case parse(int argc, char** argv) {
  Case c;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) throw std::runtime_error("missing value after " + a);
    const std::string v = argv[++i];
    if (a == "--n") c.n = std::atof(v.c_str());
    else if (a == "--sun") c.sun = std::atof(v.c_str());
    else if (a == "--a") c.a = std::atof(v.c_str());
    else if (a == "--depths") c.depths = list_of(v);
    else if (a == "--photons") c.photons = std::atol(v.c_str());
    else if (a == "--batches") c.batches = std::atoi(v.c_str());
    else if (a == "--seed") c.seed = std::strtoul(v.c_str(), nullptr, 10);
    else if (a == "--bottom") {
      const auto colon = v.find(':');
      if (colon == std::string::npos) throw std::runtime_error("--bottom takes DEPTH:R, not " + v);
      c.bottom_depth = std::atof(v.c_str());
      c.bottom_r = std::atof(v.c_str() + colon + 1);
    } else if (a == "--comp") {
      const auto last = v.rfind(':');
      Component comp;
      comp.f = std::make_unique<PhaseFunction>(function_of(v.substr(0, last)));
      comp.s = std::make_unique<Sampler>(*comp.f);
      comp.cap = std::make_unique<ConeAverage>(*comp.f, 5.0 * kPi / 180.0);
      comp.lw = std::make_unique<ConeAverage>(*comp.f, std::asin(std::sin(5.0 * kPi / 180.0) / c.n));
      comp.b = std::atof(v.c_str() + last + 1);
      c.comps.push_back(std::move(comp));
    } else {
      throw std::runtime_error("unknown option " + a);
    }
  }
  if (c.comps.empty()) throw std::runtime_error("give at least one --comp PF:B");
  std::sort(c.depths.begin(), c.depths.end());
  return c;
}

void print_row(const char* name, const std::vector<Tally>& batches, double omega,
               double (*pick)(const Tally&, std::size_t, double), std::size_t k, double depth) {
  double s = 0.0, s2 = 0.0;
  const double nb = static_cast<double>(batches.size());
  for (const Tally& t : batches) {
    const double v = pick(t, k, omega);
    s += v, s2 += v * v;
  }
  const double mean = s / nb, se = std::sqrt(std::max(0.0, s2 / nb - mean * mean) / (nb - 1.0));
  std::printf("%g\t%s\t%.6e\t%.2e\n", depth, name, mean, se);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Case c = parse(argc, argv);
    const long per_batch = c.photons / c.batches;
    std::vector<Tally> batches;
    for (int b = 0; b < c.batches; ++b) {
      Tally t(c.depths.size());
      Tracer tr(c, c.seed + 7919ul * static_cast<unsigned long>(b));
      tr.run(per_batch, t);
      const double scale = 1.0 / static_cast<double>(per_batch);
      for (auto* v : {&t.ed, &t.eu, &t.eo, &t.lu, &t.lnee})
        for (double& x : *v) x *= scale;
      t.lw *= scale;
      t.lw_nee *= scale;
      batches.push_back(std::move(t));
    }
    const double omega_cap = 2.0 * kPi * (1.0 - kCapCos);
    std::printf("depth\tquantity\tvalue\tse\n");
    for (std::size_t k = 0; k < c.depths.size(); ++k) {
      print_row("Ed", batches, omega_cap, [](const Tally& t, std::size_t i, double) { return t.ed[i]; }, k, c.depths[k]);
      print_row("Eu", batches, omega_cap, [](const Tally& t, std::size_t i, double) { return t.eu[i]; }, k, c.depths[k]);
      print_row("Eo", batches, omega_cap, [](const Tally& t, std::size_t i, double) { return t.eo[i]; }, k, c.depths[k]);
      print_row("Lu_cap", batches, omega_cap, [](const Tally& t, std::size_t i, double o) { return t.lu[i] / o; }, k,
                c.depths[k]);
    }
    for (std::size_t k = 0; k < c.depths.size(); ++k)
      print_row("Lu_cap_nee", batches, omega_cap, [](const Tally& t, std::size_t i, double) { return t.lnee[i]; }, k,
                c.depths[k]);
    const double tw = (1.0 - fresnel(1.0, c.n, 1.0)) / (c.n * c.n);
    print_row("Lw_cap_nee", batches, tw, [](const Tally& t, std::size_t, double f) { return f * t.lw_nee; }, 0, -1.0);
    print_row("Lw_cap", batches, omega_cap, [](const Tally& t, std::size_t, double o) { return t.lw / o; }, 0, -1.0);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mcref: %s\n", e.what());
    return 2;
  }
  return 0;
}
