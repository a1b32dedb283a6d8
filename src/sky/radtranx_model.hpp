// The spectral pieces of the Gregg and Carder (1990) clear-sky maritime
// irradiance model: air masses, the transmittances of the molecular
// atmosphere and its gases, the Navy Aerosol Model as G&C adapt it, and the
// direct and diffuse irradiance at one wavelength just above the sea surface.
// Pure functions of their arguments, so that every piece can be checked on
// its own; the band driver is radtranx.
#pragma once

namespace abyss::rtx {

// Reference sea-level pressure of the pressure-corrected air mass (mb).
inline constexpr double kP0 = 1013.25;
// Rayleigh optical-thickness constant of G&C and Bird & Riordan (the NREL
// SPCTRAL2 C code prints 1.3366).
inline constexpr double kRayleighC = 1.335;
// Mixed-gas constant of every Gregg code and the NREL C code (the Bird and
// Riordan report prints 118.93).
inline constexpr double kMixedGasK = 118.3;
// Aerosol scale height (km): the optical thickness at 550 nm is the
// Koschmieder extinction 3.91/V times this height; 1 km in all of Gregg's code.
inline constexpr double kAerosolHeightKm = 1.0;

// Earth-Sun distance factor (mean/actual)^2 for day of year jday, G&C after
// Gordon et al. (1983): [1 + 0.0167 cos(2 pi (jday - 3)/365)]^2.
double earth_sun_factor(double jday);

// Relative optical air mass of Kasten (1966), theta in degrees: the law of
// G&C and Bird & Riordan (Kasten and Young 1989 differs by < 0.3 % up to 85
// degrees).
double airmass(double theta_deg);
// Pressure-corrected air mass M' = M P / P0 (P in mb).
double pressure_airmass(double m, double pressure_mb);
// Air mass of the ozone layer (22 km high, Earth radius 6370 km).
double ozone_airmass(double theta_deg);

// Transmittances; wavelength in micrometres.
double rayleigh_t(double wl_um, double mprime, double c = kRayleighC);
double ozone_t(double a_oz, double ozone_atmcm, double moz);
double mixed_gas_t(double a_o2, double mprime, double k = kMixedGasK);
double water_vapour_t(double a_wv, double wv_cm, double m);

// Inputs of the marine aerosol.
struct AerosolInput {
  double am = 1.0;    // air-mass type, 1 open ocean .. 10 continental
  double rh = 80.0;   // relative humidity (%)
  double wm = 5.0;    // 24-hour mean wind speed (m/s)
  double w = 5.0;     // current wind speed (m/s)
  double vis = 15.0;  // visibility (km)
};

// The aerosol optics that follow from the Navy Aerosol Model: wavelength-
// independent except tau(550) (lambda/0.55)^-alpha.
struct Aerosol {
  double f = 1.0;       // humidity growth factor of the particle radii
  double alpha = 0.0;   // Angstrom exponent
  double beta = 0.0;    // turbidity: tau(lambda) = beta lambda_um^-alpha
  double tau550 = 0.0;  // optical thickness at 550 nm
  double omega = 0.0;   // single-scattering albedo
  double g = 0.0;       // asymmetry parameter
};

// Relative humidity is limited to 99.9 % before use: the growth factor
// diverges at saturation.
inline constexpr double kMaxRh = 99.9;
double growth_factor(double rh_percent);
// Size distribution dN/dr of the three log-normal modes at radius r (um).
double navy_dndr(const AerosolInput& in, double f, double r_um);
double angstrom_exponent(const AerosolInput& in, double f);
double asymmetry(double alpha);
double single_scattering_albedo(double am, double rh_percent);
Aerosol navy_aerosol(const AerosolInput& in);
double aerosol_tau(const Aerosol& a, double wl_um);
// Probability of forward scattering of the aerosol for sun cosine mu0
// (Bird and Riordan 1986).
double forward_scatter(double g, double mu0);

// What one wavelength needs from the sun and the atmosphere, independent of
// the wavelength: cosine of the zenith, the air masses and the aerosol.
struct Geometry {
  double mu0 = 1.0, m = 1.0, mprime = 1.0, moz = 1.0;
  double fa = 0.0;  // forward-scattering probability of the aerosol
};
Geometry geometry(double theta_deg, double pressure_mb, const Aerosol& aer);

// Spectral values at one wavelength (W m^-2 nm^-1 for h0, coefficients as
// tabulated).
struct Spectral {
  double wl_nm = 0.0, h0 = 0.0, a_oz = 0.0, a_o2 = 0.0, a_wv = 0.0;
};

struct Gases {
  double ozone_atmcm = 0.0;  // total ozone (atm-cm = DU/1000)
  double wv_cm = 0.0;        // precipitable water (cm)
};

struct Irradiance {
  double direct = 0.0, diffuse = 0.0;
};

// Direct Ed and diffuse Ir + Ia on a horizontal plane just above the water
// at one wavelength; h0 already carries the Earth-Sun factor.
Irradiance clear_sky(const Spectral& s, const Geometry& geo, const Aerosol& aer, const Gases& gas);

// Kasten and Czeplak (1980) cloud correction of a clear-sky pair for cloud
// fraction c (clamped to [0, 1]); applied only above kCloudThreshold.
inline constexpr double kCloudThreshold = 0.25;
Irradiance cloud_correction(const Irradiance& clear, double c);

}  // namespace abyss::rtx
