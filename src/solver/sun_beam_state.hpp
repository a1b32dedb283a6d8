// Record of the sun's direct beam in the water for the current band.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "phase/quad_average.hpp"

namespace abyss {

struct RunState;
struct SourceAmps;
struct ExpSources;

// One refracted direction of the unscattered sun beam just below the surface:
// cosine mu (downward), azimuth of travel phi (radians, the quads' azimuths),
// the plane irradiance ed it carries (W m^-2 nm^-1), and the quad (r, s) that holds it.
struct BeamDirection {
  double mu = 1.0, phi = 0.0, ed = 0.0;
  int r = 0, s = 0;
};

// The sun's beam is taken out of the quad-averaged sky that enters the water
// and carried exactly: along its refracted direction(s), attenuated as
// exp(-depth/mu) (see `depth`); its first scattering enters the solve as a source
// of every Fourier mode and its reflection at the bottom as the bottom's own
// upward light. The outputs get it back in its quad, and the irradiances exactly.
struct SunBeam {
  bool on = false;                 // carried exactly in the current band
  bool told = false;               // the run has been told why it is not
  std::vector<BeamDirection> dirs;
  int sky_r = 0, sky_s = 0;        // the quad of radsky that holds the sun (by direction of travel)
  double sky_value = 0.0;          // the sun's part of that quad's radiance
  // First-scattering source amplitudes of mode l at a depth (the solver's
  // source convention: per unit optical depth, divided by the band's mu).
  std::function<void(const RunState&, int l, double depth, SourceAmps&)> source;
  // The same source at optical depth zeta (added to the amplitudes).
  std::function<void(int l, double zeta, SourceAmps&)> source_zeta;
  // The same source on the optical depths [zeta_a, zeta_b] as exponential terms
  // (per refracted direction and component, relative to zeta_a), added to the set.
  std::function<void(int l, double zeta_a, double zeta_b, ExpSources&)> exp_source;
  // The beam's attenuation depth at optical depth zeta: it is exp(-depth / mu).
  // Light scattered within a narrow forward cone stays in the beam, so depth
  // falls short of zeta - zeta(1) by that part of the scattering.
  std::function<double(double zeta)> depth;
  // Quad integrals of a phase function from one direction, kept for the run
  // (keyed by the function's title and the direction): bands that share them
  // (a constant index of refraction, a phase function that does not change) reuse them.
  std::map<std::string, std::vector<double>> integrals;
  // The geometry of those integrals, per direction and quad: the rays'
  // crossings of the quad, which every phase function shares.
  std::map<std::string, std::vector<phase::Crossings>> crossings;
};

}  // namespace abyss
