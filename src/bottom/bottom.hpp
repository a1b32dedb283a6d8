// Bottom boundary: description printout and the per-mode operator.
#pragma once

#include <vector>

namespace abyss {
struct RunState;
void pntbc(RunState& rs);          // writes the bottom description (BOTTOM BOUNDARY section)
void botmbc(RunState& rs, int l);  // bottom reflectance operator of mode l into cbotbc

// Quad-averaged bidirectional reflectance BR(i, j, s) of the current band into rs.bot.br.
void qabrrf(RunState& rs);
// Bottom BRDF (1/sr) for incident (mu_in, phi_in) and reflected cosine mu_out.
double brdfbotm(RunState& rs, double mu_in, double phi_in, double mu_out);
// Bottom reflectance of the given bottom type at a band wavelength (nm).
double rbottom(RunState& rs, int ibotm, double wavenm);
// Describes the bottom BRDF in the printout.
void pntbrdfbotm(RunState& rs);
}  // namespace abyss
