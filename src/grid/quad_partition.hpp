// The quad partition of directions: nmu polar-angle bands per hemisphere
// (band 1 next to the horizon, band nmu the polar cap) and nphi azimuthal
// bands. The surface-operator and phase-function generators build it from
// these parameters; the engine reads it back from the surface files.
#pragma once

#include <array>

namespace abyss {
struct Grid;
struct GridPhi;

struct QuadPartition {
  int nmu = 10;   // polar-angle bands per hemisphere, the cap included
  int nphi = 24;  // azimuthal bands (even)
  // Band 1 spans 90 - dtheta/2 .. 90 degrees, bands 2..nmu-1 are dtheta wide
  // and the cap has half-angle dtheta/2, with dtheta = 90/(nmu - 1): 10 bands
  // give 85-90, 75-85, ..., 5-15 and a 5-degree cap.
  int type = 1;   // partition-type code written to the file headers
  std::array<int, 3> quadid() const { return {nmu, nphi, type}; }
};

// Fills fmu, bndmu (bndmu(0) = 0), dmu and omega of `g`, and phi and bndphi
// (radians; bndphi(0) = bndphi(nphi) - 2 pi) of `gp`.
void build_partition(const QuadPartition& q, Grid& g, GridPhi& gp);

}  // namespace abyss
