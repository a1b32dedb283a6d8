// The band problem of the exact solve: what the per-mode operators depend on,
// gathered once per band so the Fourier modes can be solved independently (and
// on several threads) without touching the run state.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "control/limits.hpp"
#include "solver/solver_state.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Albedo and the components' shares of the scattering: all the Riccati
// coefficients of a depth depend on (in optical depth).
struct IopMix {
  double w0 = 0.0;
  std::array<double, mxcomp + 1> wk{};
  bool operator==(const IopMix&) const = default;
};

// A slab of constant IOPs: top optical depth, thickness, IOPs.
struct SubSlab {
  double top = 0.0, h = 0.0;
  IopMix iop;
};

struct BandProblem {
  const RunState* rs = nullptr;  // quad geometry, phase functions and source functions (read only)
  int nmu = 0, lmax = 0, nz = 0;
  std::vector<double> zeta;                  // grid depth k at [k-1]
  std::vector<std::vector<SubSlab>> layers;  // slabs between grid depths k and k+1 at [k-1], top to bottom
  std::vector<Mat> bottom;                   // bottom reflectance operator of mode l at [l]
  bool infinite_bottom = false;              // water below the deepest depth (sine passes start from it)
  bool sources = false;
  // Per mode l: light leaving the bottom upward whatever comes down to it
  // (cosine half in the first mxmu elements, sine half in the next); empty when none.
  std::vector<std::vector<double>> bottom_emission;
  // Depth argument of the source functions at an optical depth (optical or geometric depth).
  std::function<double(double)> source_depth;
  double source_tol = 1.0e-9;                // relative tolerance of the slabs' source emission
  int threads = 1;
};

// Largest change of the IOPs within one slab of a depth-varying profile (set by
// comparison with the Adams integration at tight tolerances: 1e-3 keeps the
// irradiances and radiances within about 5e-5 of it, 1e-4 within 1e-5 at ten
// times the cost): the
// albedo w0 and the components' shares b_k/b of the scattering (summed absolute
// changes). Each slab takes the IOPs of its middle, so the linear part of the
// change cancels within the slab and the error left is of second order in this
// step; a step in a profile is found by bisection and ends on a slab boundary.
constexpr double kSlabTolerance = 1.0e-3;

// Sum of the run's internal sources for mode l at a depth (read only, thread-safe).
void sum_source_amps(const RunState& rs, int l, double depth, SourceAmps& total);

// The band problem of the current band (evaluates the IOPs and bottom operators).
BandProblem band_problem(RunState& rs);
// The slab partition of the layer [za, zb] for the IOPs `iop_at(zeta)`.
std::vector<SubSlab> partition_layer(const std::function<IopMix(double)>& iop_at, double za, double zb, double tol);
// Operators of mode l at every grid depth.
void solve_mode_exact(const BandProblem& bp, int l, ModeOps& out);
// All modes of the band, on bp.threads threads; the result does not depend on the thread count.
void solve_band_exact(const BandProblem& bp, std::vector<ModeOps>& modes);

}  // namespace abyss
