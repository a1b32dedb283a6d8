// Continuous scattering phase functions, described by their cumulative
// distribution in scattering angle psi:
//
//   C(psi) = 2 pi Int_0^psi beta~(psi') sin(psi') dpsi',   C(0) = 0, C(pi) = 1,
//
// where beta~ is the phase function normalised to 1 over the sphere. The
// quad-averaging works with C rather than beta~: the fraction of the
// scattering between two scattering angles is C(psi_b) - C(psi_a) exactly,
// however sharp the forward peak, and C is what the published forms of these
// functions and the Petzold table give most directly.
#pragma once

#include <string>
#include <vector>

namespace abyss::phase {

enum class PfKind { Isotropic, PureWater, HenyeyGreenstein, FournierForand, Tabulated };

class PhaseFunction {
 public:
  // beta~ = 1/(4 pi).
  static PhaseFunction isotropic();
  // Rayleigh-like scattering by water: beta~ proportional to 1 + 0.835 cos^2 psi.
  static PhaseFunction pure_water();
  // Henyey-Greenstein with asymmetry parameter g (-1 < g < 1).
  static PhaseFunction henyey_greenstein(double g);
  // Fournier-Forand with Junge slope 3.5 and the real index of refraction
  // that gives the requested backscatter fraction.
  static PhaseFunction fournier_forand(double bbtob);
  // Fournier-Forand for a given Junge slope and real index (n > 1).
  static PhaseFunction fournier_forand_index(double slope, double n);
  // A cumulative table: angles (degrees, ascending, first > 0, last 180) and
  // C values (ascending, last 1). See tabulated_cumulative() for the
  // interpolation.
  static PhaseFunction tabulated(std::vector<double> deg, std::vector<double> cum, std::string label);

  PfKind kind() const { return kind_; }
  // C(psi), psi in radians (0..pi).
  double cumulative(double psi) const;
  // beta~(psi) (1/sr); for the table, the derivative of the interpolant.
  double beta(double psi) const;
  // Backscatter fraction bb/b = 1 - C(pi/2).
  double bbtob() const { return 1.0 - cumulative(0.5 * kPi); }
  // Short description used in file titles.
  const std::string& label() const { return label_; }
  double index() const { return n_; }  // Fournier-Forand real index

  static constexpr double kPi = 3.14159265358979323846;

 private:
  PfKind kind_ = PfKind::Isotropic;
  double g_ = 0.0;                 // HG asymmetry
  double nu_ = 0.0, n_ = 1.0;      // FF: nu = (3 - slope)/2, real index
  double d180_ = 0.0;              // FF: delta at 180 degrees
  std::vector<double> lnpsi_, cum_, slope_;  // table: ln psi, C and dC/dln psi at the nodes
  double p0_ = 0.0;                // table: C ~ psi^p0 below the first angle
  std::string label_;

  double ff_cumulative(double psi) const;
  double table_cumulative(double psi, double* dc_dlnpsi) const;
};

// Fournier-Forand backscatter fraction for Junge slope `slope` and real index n.
double ff_bbtob(double slope, double n);
// The real index n giving Fournier-Forand backscatter fraction bbtob (slope 3.5);
// throws std::invalid_argument outside the reachable range.
double ff_index_for_bbtob(double bbtob, double slope = 3.5);

// Reads a cumulative phase-function table: '#' comment lines, one header line
// of column names, then rows "angle_deg angle_rad cumulative". Throws
// std::runtime_error naming the file and line on bad input.
PhaseFunction read_cumulative_table(const std::string& path, const std::string& label);

}  // namespace abyss::phase
