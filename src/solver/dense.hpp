// Small dense matrices of the exact band solve: n x n blocks (n <= mxmu) stored
// column-major with leading dimension n, and row vectors of n elements, with
// small kernels (products and solves of orders up to 32, where the library
// routines cost more in their general loops than in arithmetic), so the slab
// and adding code reads as algebra.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace abyss::dense {

using Row = std::vector<double>;

// An allocator whose default construction leaves doubles uninitialized, for
// matrices that the next operation overwrites entirely (the products and
// solves here make hundreds of thousands a band, and zero-filling them showed
// as a twentieth of the band's time).
template <class T>
struct NoInitAlloc : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = NoInitAlloc<U>;
  };
  NoInitAlloc() = default;
  template <class U>
  NoInitAlloc(const NoInitAlloc<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
};

// Square n x n matrix, element (i, j) (0-based) at a[i + j*n].
struct Sq {
  int n = 0;
  std::vector<double, NoInitAlloc<double>> a;
  Sq() = default;
  explicit Sq(int n_) : n(n_), a(static_cast<std::size_t>(n_) * n_, 0.0) {}
  double& operator()(int i, int j) { return a[static_cast<std::size_t>(i + j * n)]; }
  double operator()(int i, int j) const { return a[static_cast<std::size_t>(i + j * n)]; }
  double* data() { return a.data(); }
  const double* data() const { return a.data(); }
  static Sq identity(int n);
  // Storage for a result the caller writes in full (elements undefined).
  static Sq uninitialized(int n) {
    Sq m;
    m.n = n;
    m.a.resize(static_cast<std::size_t>(n) * n);
    return m;
  }
};

// A^T.
Sq transposed(const Sq& A);
// C = alpha * A B + beta * C.
void gemm(const Sq& A, const Sq& B, Sq& C, double alpha = 1.0, double beta = 0.0);
Sq mul(const Sq& A, const Sq& B);
// C = A B for B and C of `cols` columns (n x cols, column-major, leading
// dimension n): many vectors through one matrix at the speed of a product.
void mul_columns(const Sq& A, const double* B, int cols, double* C);
// Row vector times matrix: y = x M (+ y when accumulate).
void vxm(const double* x, const Sq& M, double* y, bool accumulate = false);
// X = A^-1 B by LU with partial pivoting (B may hold several column blocks:
// B is n x m, column-major with leading dimension n). Throws when A is singular.
void solve_left(Sq A, double* B, int m, const char* who);
// X = B A^-1 (row-oriented solve), B n x n.
Sq solve_right(const Sq& B, const Sq& A, const char* who);
// Largest absolute element.
template <class V>
double maxabs(const V& v) {
  double m = 0.0;
  for (double x : v) m = std::max(m, std::abs(x));
  return m;
}

}  // namespace abyss::dense
