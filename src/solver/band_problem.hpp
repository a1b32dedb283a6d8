// The band problem of the exact solve: what the per-mode operators depend on,
// gathered once per band so the Fourier modes can be solved independently (and
// on several threads) without touching the run state.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "control/limits.hpp"
#include "phase/dpf.hpp"
#include "solver/slab_ops.hpp"
#include "solver/solver_state.hpp"
#include "util/arrays.hpp"

namespace abyss {

// Albedo, the components' shares of the scattering and the phase functions
// chosen at the depth (for components whose phase function varies with
// depth): all the Riccati coefficients of a depth depend on (in optical
// depth). The albedo and shares enter only as the products w0 * wk.
struct IopMix {
  double w0 = 0.0;
  std::array<double, mxcomp + 1> wk{};
  std::array<PhaseChoice, mxcomp + 1> pf{};
  bool operator==(const IopMix&) const = default;
};

// A slab of the partition: top optical depth, thickness, the IOPs of its
// middle and, where they change within it, the two constant media that stand
// for its upper and lower halves (see varying_slab_rt).
struct SubSlab {
  double top = 0.0, h = 0.0;
  IopMix iop;
  bool varying = false;
  IopMix upper, lower;
  IopMix g1, g2;  // the IOPs at the Gauss points (see varying_slab_rt), which a gradient slab takes
  // Mode 0's reflectance and transmittance, where the halving check already
  // computed them (the mode-0 solve then reuses them): for a slab the check
  // kept, those of its two halves stacked, the more accurate of the two it
  // compares.
  std::shared_ptr<const SlabRT> rt0;
  // The kept slab's two halves (each with its own operators as rt0), from
  // which mode 0 also takes the emission.
  std::shared_ptr<const std::vector<SubSlab>> halves;
  // Mode 0's emission of the sun beam, where the check computed it (a half).
  std::shared_ptr<const SlabEmission> em0;
};

struct BandProblem {
  const RunState* rs = nullptr;  // quad geometry, phase functions and source functions (read only)
  int nmu = 0, lmax = 0, nz = 0;
  std::vector<double> zeta;                  // grid depth k at [k-1]
  std::vector<std::vector<SubSlab>> layers;  // slabs between grid depths k and k+1 at [k-1], top to bottom
  std::vector<Mat> bottom;                   // bottom reflectance operator of mode l at [l]
  bool infinite_bottom = false;              // water below the deepest depth (sine passes start from it)
  bool sources = false;
  bool gradient = false;  // smooth slabs as gradient slabs (else two halves of blended IOPs)
  // Per mode l: light leaving the bottom upward whatever comes down to it
  // (cosine half in the first mxmu elements, sine half in the next); empty when none.
  std::vector<std::vector<double>> bottom_emission;
  // Depth argument of the source functions at an optical depth (optical or geometric
  // depth); set only with internal sources (the sun beam alone takes optical depths).
  std::function<double(double)> source_depth;
  double source_tol = 1.0e-9;                // relative tolerance of the slabs' source emission
  int threads = 1;
};

// Partition of a depth-varying profile. A layer is first cut at the nodes of
// the tabulated profiles (where the IOPs change slope) and sampled: a uniform
// stretch is one slab of constant IOPs, a step is found by bisection and ends
// on a slab boundary, and a smooth stretch is cut until the IOPs (the albedo
// w0 and the components' shares b_k/b of the scattering, summed absolute
// changes, plus for a phase function chosen per depth its component's share
// times the relative change of its bb/b) change by at most kSlabTolerance
// across a slab. Each smooth slab is then halved until a halving check on
// mode 0 (which carries the irradiances and the nadir radiance) passes: the
// slab's reflectances and transmittances from the varying-slab scheme and
// from its two halves differ by at most kSlabRtTolerance relative to their
// largest elements, each row (the light incident in one stream) weighted by
// how much of that stream reaches the layer's grid depths (exp(-d / mu), at
// least mu). Mode 0 then takes the halves, the better of the two the check
// compares (halving at least halves a slab's error: its slowest part, the
// near-horizon streams at a slab face, is first order in the thickness; in
// the Case 1 chlorophyll spectrum halving brought the difference down 2.2
// times or more), so the difference bounds mode 0's error; the other modes take
// the slab, about twice as far off, where their small share of the light
// field keeps their share of the radiance error small. Set by comparison
// with the Adams integration at tight tolerances (relerr 1e-12) on every
// 10th band of that spectrum: at 2e-4, Ed, Eu, Eo and Lu within 1.1e-6 of it
// at every depth and every quad's radiance within 9.6e-5 of its own (mode 0
// taking the slab instead needed 1e-4 for 2.3e-6 and 8.3e-5, with 145 slabs
// a band against 118; the unweighted check at 3e-4 was 1.3e-5 off).
// In a run without internal sources (the sun beam aside) a smooth slab is a
// gradient slab (its mean medium and the exact first-order response to its
// IOP change; see gradient_slab.hpp), which errs as the square of the change:
// the slab is then about twice as far off as its halves, and the check takes
// half the tolerance (gradient_check_tolerance). Measured the same way: Ed,
// Eu, Eo and Lu within 7.6e-7 of the reference, every quad within 5.8e-5 of
// its own radiance, with 66 to 74 slabs a band, most of them the layers
// between profile nodes and grid depths, which the check no longer splits.
// With the exact sun beam the check compares mode 0's emission of the beam
// too, each stream weighted as the rows are. Runs with internal sources
// (Raman, fluorescence, bioluminescence) keep the blended halves, whose
// emission is a quadrature of the point-source response.
// A slab thin against the most grazing stream's attenuation length, whose
// midpoint error is estimated below kThinSlabShare of the tolerance, takes the
// IOPs of its middle instead of the two halves.
constexpr double kSlabTolerance = 0.05;
constexpr double kSlabRtTolerance = 2.0e-4;
constexpr double kThinSlabShare = 0.01;

// The check's tolerance for the scheme of the smooth slabs.
double gradient_check_tolerance(double tol, bool gradient);
// Whether the run's smooth slabs are gradient slabs.
bool gradient_slabs(const RunState& rs);

// Sum of the run's internal sources for mode l at a depth (read only, thread-safe).
void sum_source_amps(const RunState& rs, int l, double depth, SourceAmps& total);

// The band problem of the current band (evaluates the IOPs and bottom operators);
// slab_rt_tol is the halving check's tolerance (a tighter one for convergence checks).
BandProblem band_problem(RunState& rs, double slab_rt_tol = kSlabRtTolerance);
// The halving check's difference for the slab [top, top + h] of changing IOPs
// in the layer between the grid depths layer_top and layer_bottom (mode 0,
// current band): what the partition holds within the tolerance for every
// such slab it keeps.
double slab_check_difference(RunState& rs, double top, double h, double layer_top, double layer_bottom);
// The slab partition of the layer [za, zb] for the IOPs `iop_at(zeta)`.
std::vector<SubSlab> partition_layer(const std::function<IopMix(double)>& iop_at, double za, double zb, double tol);
// Operators of mode l at every grid depth.
void solve_mode_exact(const BandProblem& bp, int l, ModeOps& out);
// All modes of the band, on bp.threads threads; the result does not depend on the thread count.
void solve_band_exact(const BandProblem& bp, std::vector<ModeOps>& modes);

}  // namespace abyss
