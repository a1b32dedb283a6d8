// Dynamic depth of the infinitely deep bottom. With internal sources in an
// infinitely deep water column the light at the deepest output depth depends
// on sources below it, so each band applies the deep-bottom condition 20
// attenuation lengths below that depth. The extra depths are added to the
// grid once; each band then solves down to its own bottom index.
#include "control/dynz.hpp"

#include <algorithm>
#include <numeric>

#include "control/errors.hpp"
#include "control/run_state.hpp"
#include "iop/abscat.hpp"
#include "util/fortran_format.hpp"

namespace abyss {

std::vector<double> merge_bottom_depths(const std::vector<double>& depths, std::vector<int>& group) {
  std::vector<std::size_t> order(depths.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return depths[a] < depths[b]; });
  std::vector<double> list;
  group.assign(depths.size(), 0);
  for (std::size_t i : order) {
    if (list.empty() || depths[i] - list.back() >= 0.1) list.push_back(depths[i]);
    else list.back() = depths[i];  // the deepest member stands for the group
    group[i] = static_cast<int>(list.size()) - 1;
  }
  return list;
}

namespace {

constexpr double kAttenuationLengths = 20.0;

// Bottom depth of every band from the attenuation at the deepest output depth.
std::vector<double> band_bottom_depths(RunState& rs, double zlast) {
  const int saved_band = rs.cmisc.jwave;
  std::vector<double> zb;
  for (int j = 1; j <= rs.cmisc.nwave; ++j) {
    rs.cmisc.jwave = j;
    IopValues v = abscat(rs, zlast, rs.cwave.wave(j), rs.cmisc.ncomp);
    const double c = v.atot + v.btot;
    if (c <= 0.0) {
      rs.cmisc.jwave = saved_band;
      herr("getdynz", "total attenuation is zero at the deepest output depth");
    }
    zb.push_back(kAttenuationLengths / c + zlast);
    rs.cdynz.zbottom(j) = zb.back();
  }
  rs.cmisc.jwave = saved_band;
  return zb;
}

void notice_no_room(RunState& rs, int n) {
  rs.pr() << "\n" << ff::X(5) << " NOTICE:  Dynamic Depth cannot be used because all output depths are in use.\n"
          << ff::X(15) << "Consider increasing the output depth LIMIT in the UI\n"
          << ff::X(15) << "to allow the dynamic depth option to be used\n"
          << ff::X(15) << "Current mxz: " << ff::I(mxz, 4) << ff::X(5)
          << "Optimum mxz for this run: " << ff::I(rs.cmisc.nz + n + 4, 4) << "\n";
}

void notice_little_room(RunState& rs, int room, int n) {
  rs.pr() << "\n" << ff::X(5) << " NOTICE:  consider increasing the output depth LIMIT in the UI\n"
          << ff::X(15) << "to make the dynamic depth option run more efficiently (faster)\n"
          << ff::X(15) << "nz Available: " << ff::I(room, 4) << ff::X(5) << "nz Requested: " << ff::I(n + 4, 4)
          << ff::X(5) << "Optimum mxz for this run: " << ff::I(rs.cmisc.nz + n + 4, 4) << "\n";
}

// Room for every list depth: four evenly spaced depths lead down to the
// shallowest bottom so the integration does not leap from zlast to it.
void extend_full(RunState& rs, double zlast, const std::vector<double>& list, const std::vector<int>& group) {
  const int nz = rs.cmisc.nz;
  const double f[] = {0.2, 0.4, 0.6, 0.8};
  for (int i = 0; i < 4; ++i) rs.cgrid.z(nz + 1 + i) = zlast + f[i] * (list.front() - zlast);
  for (std::size_t k = 0; k < list.size(); ++k) rs.cgrid.z(nz + 5 + static_cast<int>(k)) = list[k];
  for (int j = 1; j <= rs.cmisc.nwave; ++j) rs.cdynz.ibottom(j) = nz + 5 + group[static_cast<std::size_t>(j - 1)];
  rs.cmisc.nz = nz + 4 + static_cast<int>(list.size());
}

// Too little room: `room` evenly spaced depths down to the deepest bottom;
// each band takes the first that is not shallower than its own bottom.
void extend_even(RunState& rs, double zlast, int room, const std::vector<double>& zb) {
  const int nz = rs.cmisc.nz;
  const double deepest = *std::max_element(zb.begin(), zb.end());
  for (int k = 1; k <= room; ++k) rs.cgrid.z(nz + k) = zlast + k * (deepest - zlast) / room;
  rs.cgrid.z(nz + room) = deepest;
  for (int j = 1; j <= rs.cmisc.nwave; ++j) {
    int k = 1;
    while (k < room && rs.cgrid.z(nz + k) < zb[static_cast<std::size_t>(j - 1)]) ++k;
    rs.cdynz.ibottom(j) = nz + k;
  }
  rs.cmisc.nz = nz + room;
}

void initialize(RunState& rs) {
  const double zlast = rs.cgrid.z(rs.cmisc.nz);
  const std::vector<double> zb = band_bottom_depths(rs, zlast);
  std::vector<int> group;
  const std::vector<double> list = merge_bottom_depths(zb, group);
  const int n = static_cast<int>(list.size());
  const int room = mxz - rs.cmisc.nz;
  if (room >= n + 4) return extend_full(rs, zlast, list, group);
  if (room < 1) {
    notice_no_room(rs, n);
    for (int j = 1; j <= rs.cmisc.nwave; ++j) rs.cdynz.ibottom(j) = rs.cmisc.nz;
    rs.cmisc.idynz = 0;
    return;
  }
  notice_little_room(rs, room, n);
  extend_even(rs, zlast, room, zb);
}

}  // namespace

void getdynz(RunState& rs, int band) {
  if (band == 0) return initialize(rs);
  rs.cmisc.nz = rs.cdynz.ibottom(band);
  rs.pr() << "\n  The infinitely deep bottom boundary condition is applied at " << ff::F(rs.cgrid.z(rs.cmisc.nz), 5, 1)
          << " m at " << ff::F(rs.cwave.wave(band), 6, 1) << " nm\n\n";
}

}  // namespace abyss
