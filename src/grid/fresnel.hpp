// Reflection and refraction of unpolarised light at a plane interface
// between two clear media: Snell's law and Fresnel's equations.
#pragma once

namespace abyss {

// Cosine of the refraction angle for a ray meeting the interface with cosine
// cos_i, eta = n_incident / n_transmitted. Negative when the ray is totally
// internally reflected (eta * sin_i > 1).
double snell_cos(double cos_i, double eta);

// Unpolarised Fresnel reflectance (the mean of the s and p power
// reflectances) for incidence cosine cos_i and eta = n_incident /
// n_transmitted; 1 under total internal reflection. The transmitted power
// fraction is 1 - R (the beam-width change is part of Fresnel's T).
double fresnel_reflectance(double cos_i, double eta);

// Cosine of the critical angle for light leaving a medium of relative index
// n > 1 (0 when n <= 1: no total internal reflection).
double critical_cos(double n);

}  // namespace abyss
