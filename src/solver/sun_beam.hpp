// The sun's direct beam carried exactly through the water (see SunBeam).
#pragma once

#include <vector>

#include "grid/surface_optics.hpp"
#include "solver/sun_beam_state.hpp"

namespace abyss {

struct RunState;

// Slope sampling of a wind-blown surface for the refracted beam: Gauss-Legendre
// in the cumulative probability of the slope magnitude (radial points) times
// equally spaced slope azimuths.
struct BeamSampling {
  int radial = 4;
  int azimuth = 12;
};

// The directions into which the surface refracts a collimated beam of plane
// irradiance ed_air, sun zenith angle sunzen (radians), travelling towards
// azimuth travel_az (radians from downwind), into water of index n: one
// direction with its Fresnel transmittance for a level surface (zero slope
// variances), otherwise one per slope sample, each facet weighted by its slope
// probability and the area it presents to the beam. Quads are not assigned.
std::vector<BeamDirection> refracted_beam(double sunzen, double travel_az, double n, const SlopeVariances& v,
                                          double ed_air, const BeamSampling& sampling = {});

// Sets up the band's beam after the band preparation: decides whether it is
// carried exactly (the exact solver, no inelastic sources, a sun above the
// horizon, phase functions the run can rebuild; otherwise it stays in its quad
// of the sky, and the printout and console say so once), and if so binds the
// first-scattering source. `exact_solver`: the band is solved by the exact solver.
void prepare_sun_beam(RunState& rs, bool exact_solver);

// The band has light sources inside the water (internal sources or the beam).
bool has_internal_light(const RunState& rs);

// Cosine (first mxmu) and sine (next mxmu) amplitudes of mode l of the beam's
// downward quad radiance at optical depth zeta.
std::vector<double> beam_amplitudes(const RunState& rs, double zeta, int l);

// Plane irradiance of the beam at optical depth zeta, and its scalar irradiance.
double beam_ed(const RunState& rs, double zeta);
double beam_eo(const RunState& rs, double zeta);

// The incident sky amplitudes that enter the water: all of the sky, less the
// beam when it is carried apart. Reads cramp0 column 1, fills sol.sky_in.
void sky_entering_water(RunState& rs);

// Adds the beam, in its quad, to the direct and total downward amplitudes of
// every grid depth (after the diffuse solve).
void add_beam_to_amplitudes(RunState& rs);

// What the beam's scalar irradiance at grid depth k exceeds its quad value's
// (the quad holds it at the quad-centre cosine, the beam travels at its own).
double beam_scalar_correction(const RunState& rs, int k);

}  // namespace abyss
