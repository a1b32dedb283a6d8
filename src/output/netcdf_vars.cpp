#include "output/netcdf_vars.hpp"

#include "control/run_state.hpp"
#include "derived/radiance.hpp"
#include "derived/undefined.hpp"
#include "output/netcdf_layout.hpp"

namespace abyss {
namespace {

constexpr const char* kIrr = "W m-2 nm-1";
constexpr const char* kRad = "W m-2 sr-1 nm-1";

const Irradiances& irr(const RunState& rs) { return rs.der.cirrad; }
int k_of(const RunState& rs, int i) { return ncl::grid_index(rs, i); }

double water_leaving(const RunState& rs) { return rs.der.rad.dif_up(0)(rs.cmisc.nmu, 1); }
double only_in_air(int i, double v) { return i == 0 ? v : kUndefined; }
double only_in_water(int i, double v) { return i == 0 ? kUndefined : v; }

// Share of the current band's nadir Lw due to the internal sources: the
// difference between the full and the elastic-only light field, as kept by the
// band's inelastic analysis.
double source_share(const RunState& rs) {
  const std::size_t j = static_cast<std::size_t>(rs.cmisc.jwave);
  const SourceState& s = rs.src;
  if (j >= s.lw_total_band.size()) return kUndefined;
  return guarded_ratio(s.lw_inel_band[j], s.lw_total_band[j]);
}

}  // namespace

const std::array<NcVar, 12> kLevelVars = {{
    {"Ed", "downward plane irradiance", kIrr, "downwelling_radiative_flux_per_unit_wavelength_in_sea_water",
     [](const RunState& rs, int i) { return irr(rs).ed(k_of(rs, i)); }},
    {"Eu", "upward plane irradiance", kIrr, "upwelling_radiative_flux_per_unit_wavelength_in_sea_water",
     [](const RunState& rs, int i) { return irr(rs).eu(k_of(rs, i)); }},
    {"Eo", "scalar irradiance", kIrr, "omnidirectional_spherical_irradiance_per_unit_wavelength_in_sea_water",
     [](const RunState& rs, int i) { return irr(rs).eo(k_of(rs, i)); }},
    {"Eod", "downward scalar irradiance", kIrr, "downwelling_spherical_irradiance_per_unit_wavelength_in_sea_water",
     [](const RunState& rs, int i) { return irr(rs).eod(k_of(rs, i)); }},
    {"Eou", "upward scalar irradiance", kIrr, "upwelling_spherical_irradiance_per_unit_wavelength_in_sea_water",
     [](const RunState& rs, int i) { return irr(rs).eou(k_of(rs, i)); }},
    {"MUBARd", "mean cosine of the downward radiance (Ed/Eod)", "1", "",
     [](const RunState& rs, int i) { return irr(rs).mubard(k_of(rs, i)); }},
    {"MUBARu", "mean cosine of the upward radiance (Eu/Eou)", "1", "",
     [](const RunState& rs, int i) { return irr(rs).mubaru(k_of(rs, i)); }},
    {"MUBAR", "mean cosine of the radiance ((Ed - Eu)/Eo)", "1", "",
     [](const RunState& rs, int i) { return irr(rs).mubar(k_of(rs, i)); }},
    {"R", "irradiance reflectance Eu/Ed", "1", "", [](const RunState& rs, int i) { return irr(rs).r(k_of(rs, i)); }},
    {"Lu", "nadir-viewing (upwelling) radiance; in air the total, surface-reflected plus water-leaving", kRad,
     "upwelling_radiance_per_unit_wavelength_in_sea_water",
     [](const RunState& rs, int i) { return total_up(rs, k_of(rs, i), rs.cmisc.nmu, 1); }},
    {"Lw", "water-leaving radiance (nadir-viewing, in air only)", kRad,
     "surface_upwelling_radiance_per_unit_wavelength_in_air_emerging_from_sea_water",
     [](const RunState& rs, int i) { return only_in_air(i, water_leaving(rs)); }},
    {"Rrs", "remote-sensing reflectance Lw/Ed (in air only)", "sr-1",
     "surface_ratio_of_upwelling_radiance_emerging_from_sea_water_to_downwelling_radiative_flux_in_air",
     [](const RunState& rs, int i) { return only_in_air(i, guarded_ratio(water_leaving(rs), irr(rs).ed(0))); }},
}};

const std::array<NcVar, 3> kSourceShareVars = {{
    {"Lw_elastic", "water-leaving radiance (nadir-viewing) without Raman scattering, fluorescence and bioluminescence",
     kRad, "", [](const RunState& rs, int) { return water_leaving(rs) * (1.0 - source_share(rs)); }},
    {"Rrs_elastic", "remote-sensing reflectance Lw/Ed without Raman scattering, fluorescence and bioluminescence",
     "sr-1", "",
     [](const RunState& rs, int) {
       return guarded_ratio(water_leaving(rs) * (1.0 - source_share(rs)), irr(rs).ed(0));
     }},
    {"Lw_source_share", "share of Lw (and of Rrs) due to Raman scattering, fluorescence and bioluminescence", "1", "",
     [](const RunState& rs, int) { return source_share(rs); }},
}};

const std::array<NcVar, 4> kIopVars = {{
    {"a", "absorption coefficient", "m-1", "volume_absorption_coefficient_of_radiative_flux_in_sea_water",
     [](const RunState& rs, int i) { return only_in_water(i, rs.ciop.a(k_of(rs, i), 1)); }},
    {"b", "scattering coefficient", "m-1", "volume_scattering_coefficient_of_radiative_flux_in_sea_water",
     [](const RunState& rs, int i) { return only_in_water(i, rs.ciop.b(k_of(rs, i), 1)); }},
    {"bb", "backscattering coefficient", "m-1",
     "volume_backwards_scattering_coefficient_of_radiative_flux_in_sea_water",
     [](const RunState& rs, int i) { return only_in_water(i, rs.ciop.bb(k_of(rs, i), 1)); }},
    {"c", "beam attenuation coefficient a + b", "m-1",
     "volume_beam_attenuation_coefficient_of_radiative_flux_in_sea_water",
     [](const RunState& rs, int i) { return only_in_water(i, rs.ciop.c(k_of(rs, i))); }},
}};

const std::array<NcVar, 4> kComponentIopVars = {{
    {"a_component", "absorption coefficient of each IOP component", "m-1", ""},
    {"b_component", "scattering coefficient of each IOP component", "m-1", ""},
    {"bb_component", "backscattering coefficient of each IOP component", "m-1", ""},
    {"c_component", "beam attenuation coefficient of each IOP component", "m-1", ""},
}};

const std::array<NcVar, 1> kRadianceVars = {{
    {"L", "total (direct + diffuse) radiance travelling in direction (theta, phi)", kRad, ""},
}};

const std::array<NcVar, 3> kAirQuadVars = {{
    {"L_sky", "incident sky radiance (direct + diffuse) of every downward quad, in air", kRad,
     "downwelling_radiance_per_unit_wavelength_in_air"},
    {"L_surface_reflected", "sky radiance reflected upward by the sea surface, in air", kRad, ""},
    {"L_water_leaving", "water-leaving radiance of every upward quad, in air", kRad, ""},
}};

const std::array<NcVar, 2> kSkyVars = {{
    {"Ed_sky_diffuse", "diffuse part of the sky's downward plane irradiance, in air", kIrr, ""},
    {"Ed_sky_direct", "direct (sun) part of the sky's downward plane irradiance, in air", kIrr, ""},
}};

const std::array<NcVar, 7> kKVars = {{
    {"Kou", "K-function of Eou", "m-1", ""},
    {"Kod", "K-function of Eod", "m-1", ""},
    {"Ko", "K-function of Eo", "m-1", ""},
    {"Ku", "K-function of Eu", "m-1", ""},
    {"Kd", "K-function of Ed (diffuse attenuation coefficient)", "m-1",
     "volume_attenuation_coefficient_of_downwelling_radiative_flux_in_sea_water"},
    {"Knet", "K-function of the net irradiance Ed - Eu", "m-1", ""},
    {"KLu", "K-function of the nadir-viewing radiance Lu", "m-1", ""},
}};

const std::array<NcVar, 4> kParVars = {{
    {"PAR_Eo", "photosynthetically available radiation from Eo", "umol m-2 s-1", ""},
    {"PAR_Ed", "photosynthetically available radiation from Ed", "umol m-2 s-1",
     "downwelling_photosynthetic_photon_flux_in_sea_water"},
    {"PAR_energy_Eo", "Eo integrated over the PAR wavelengths", "W m-2", ""},
    {"PAR_energy_Ed", "Ed integrated over the PAR wavelengths", "W m-2",
     "downwelling_photosynthetic_radiative_flux_in_sea_water"},
}};

const std::array<NcVar, 2> kKparVars = {{
    {"K_PAR", "K-function of PAR from Eo between consecutive output depths", "m-1", ""},
    {"K_PAR_layer_averaged", "layer-averaged K-function of PAR from Eo", "m-1", ""},
}};

const std::array<NcVar, 12> kColourVars = {{
    {"Ed_cie_x", "CIE 1931 chromaticity x of Ed", "1", ""},
    {"Ed_cie_y", "CIE 1931 chromaticity y of Ed", "1", ""},
    {"Ed_cie_Y", "illuminance of Ed (683 lm/W times CIE Y)", "lm m-2", ""},
    {"Eu_cie_x", "CIE 1931 chromaticity x of Eu", "1", ""},
    {"Eu_cie_y", "CIE 1931 chromaticity y of Eu", "1", ""},
    {"Eu_cie_Y", "illuminance of Eu (683 lm/W times CIE Y)", "lm m-2", ""},
    {"Lu_cie_x", "CIE 1931 chromaticity x of the nadir-viewing Lu", "1", ""},
    {"Lu_cie_y", "CIE 1931 chromaticity y of the nadir-viewing Lu", "1", ""},
    {"Lu_cie_Y", "luminance of Lu (683 lm/W times CIE Y)", "lm m-2 sr-1", ""},
    {"Lw_cie_x", "CIE 1931 chromaticity x of Lw (in air only)", "1", ""},
    {"Lw_cie_y", "CIE 1931 chromaticity y of Lw (in air only)", "1", ""},
    {"Lw_cie_Y", "luminance of Lw (683 lm/W times CIE Y; in air only)", "lm m-2 sr-1", ""},
}};

}  // namespace abyss
