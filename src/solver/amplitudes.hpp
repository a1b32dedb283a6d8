// Radiance amplitudes from the water-column, surface and sky operators.
#pragma once

namespace abyss {
struct RunState;

void amp0a(RunState& rs);    // direct (unscattered) sky amplitudes in air and at every depth
void ampw(RunState& rs);     // total amplitudes just below the surface
void ampzeta(RunState& rs);  // total amplitudes at every grid depth
void ampma(RunState& rs);    // upward amplitudes in air

// C (l x n, ldc) = A (l x m, lda) * B (m x n, ldb).
void matxmat(const double* a, const double* b, int l, int m, int n, int lda, int ldb, double* c, int ldc);
// w(i) = sum_{j=1..m} v(j) * M(j, i), i = 1..n (row vector times matrix).
void vecxmat(const double* v, const double* mat, int m, int n, int ldm, double* w);

}  // namespace abyss
