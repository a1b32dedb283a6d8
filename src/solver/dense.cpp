#include "solver/dense.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "control/errors.hpp"
#include "control/limits.hpp"

namespace abyss::dense {

Sq Sq::identity(int n) {
  Sq m(n);
  for (int i = 0; i < n; ++i) m(i, i) = 1.0;
  return m;
}

Sq transposed(const Sq& A) {
  Sq t = Sq::uninitialized(A.n);
  for (int j = 0; j < A.n; ++j)
    for (int i = 0; i < A.n; ++i) t(i, j) = A(j, i);
  return t;
}

namespace {

// The kernels below take the order as a template argument for the orders the
// partitions use (9 and 10 at 10 x 24, 19 and 20 at 20 x 24; modes l > 0 leave
// out the cap). With the order known, a column of the result is held in
// registers as pairs of doubles (GCC's generic vectors, lowered to whatever
// the target has) while the products accumulate into it, instead of being
// loaded and stored again for every term: about 1.5 times faster at order 20.
// N = 0 takes the order at run time with plain loops. Both add the same terms
// in the same order, element by element, so the results are the same.
typedef double Pair __attribute__((vector_size(16)));

inline Pair load_pair(const double* p) {
  Pair v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store_pair(double* p, Pair v) { std::memcpy(p, &v, sizeof v); }

// One column of N elements in registers: N / 2 pairs and, for odd N, the last.
template <int N>
struct RegColumn {
  static constexpr int kPairs = N / 2;
  Pair p[kPairs];
  double last = 0.0;
  void load(const double* x) {
    for (int v = 0; v < kPairs; ++v) p[v] = load_pair(x + 2 * v);
    if constexpr (N % 2 != 0) last = x[N - 1];
  }
  void zero() {
    for (int v = 0; v < kPairs; ++v) p[v] = Pair{0.0, 0.0};
    last = 0.0;
  }
  // this += s x
  void add(const double* x, double s) {
    const Pair s2 = {s, s};
    for (int v = 0; v < kPairs; ++v) p[v] += load_pair(x + 2 * v) * s2;
    if constexpr (N % 2 != 0) last += x[N - 1] * s;
  }
  // this -= s x
  void sub(const double* x, double s) {
    const Pair s2 = {s, s};
    for (int v = 0; v < kPairs; ++v) p[v] -= load_pair(x + 2 * v) * s2;
    if constexpr (N % 2 != 0) last -= x[N - 1] * s;
  }
  void scale(double s) {
    const Pair s2 = {s, s};
    for (int v = 0; v < kPairs; ++v) p[v] *= s2;
    if constexpr (N % 2 != 0) last *= s;
  }
  void store(double* x) const {
    for (int v = 0; v < kPairs; ++v) store_pair(x + 2 * v, p[v]);
    if constexpr (N % 2 != 0) x[N - 1] = last;
  }
  // x = alpha this + beta x
  void store(double* x, double alpha, double beta) const {
    const Pair a2 = {alpha, alpha}, b2 = {beta, beta};
    for (int v = 0; v < kPairs; ++v)
      store_pair(x + 2 * v, beta == 0.0 ? a2 * p[v] : a2 * p[v] + b2 * load_pair(x + 2 * v));
    if constexpr (N % 2 != 0) x[N - 1] = beta == 0.0 ? alpha * last : alpha * last + beta * x[N - 1];
  }
};

// C(:, j) = alpha sum_k A(:, k) B(k, j) + beta C(:, j), the sum from k = 0 up,
// for the `cols` columns of B and C (n x cols, leading dimension n).
template <int N>
struct Gemm {
  static void run(int nrun, const double* __restrict a, const double* __restrict b, double* __restrict c, int cols,
                  double alpha, double beta) {
    if constexpr (N > 0) {
      // At the small orders two columns at a time share the loads of A's columns.
      constexpr int kCols = N <= 12 ? 2 : 1;
      int j = 0;
      for (; j + kCols <= cols; j += kCols) {
        RegColumn<N> acc[kCols];
        for (auto& x : acc) x.zero();
        for (int k = 0; k < N; ++k)
          for (int q = 0; q < kCols; ++q) acc[q].add(a + k * N, b[k + (j + q) * N]);
        for (int q = 0; q < kCols; ++q) acc[q].store(c + (j + q) * N, alpha, beta);
      }
      for (; j < cols; ++j) {
        RegColumn<N> acc;
        acc.zero();
        for (int k = 0; k < N; ++k) acc.add(a + k * N, b[k + j * N]);
        acc.store(c + j * N, alpha, beta);
      }
    } else {
      const int n = nrun;
      if (n > mxmu) herr("gemm", "matrix order beyond the limits of the small kernels");
      double acc[mxmu];
      for (int j = 0; j < cols; ++j) {
        double* __restrict cj = c + static_cast<std::size_t>(j) * n;
        for (int i = 0; i < n; ++i) acc[i] = 0.0;
        for (int k = 0; k < n; ++k) {
          const double bkj = b[k + static_cast<std::size_t>(j) * n];
          const double* __restrict ak = a + static_cast<std::size_t>(k) * n;
          for (int i = 0; i < n; ++i) acc[i] += ak[i] * bkj;
        }
        for (int i = 0; i < n; ++i) cj[i] = beta == 0.0 ? alpha * acc[i] : alpha * acc[i] + beta * cj[i];
      }
    }
  }
};

// Calls kernel<N> for the orders with kernels of their own, else kernel<0>.
template <template <int> class K, class... Args>
void by_order(int n, Args&&... args) {
  switch (n) {
    case 9: return K<9>::run(n, args...);
    case 10: return K<10>::run(n, args...);
    case 19: return K<19>::run(n, args...);
    case 20: return K<20>::run(n, args...);
    default: return K<0>::run(n, args...);
  }
}

}  // namespace

// Written out for the small orders here (n <= 32): the reference BLAS spends
// more on its general loops than on the 2 n^3 operations of a 10 x 10
// product, and the slab operators make hundreds of thousands of these per
// band. Column by column, C(:, j) accumulates A(:, k) B(k, j), the innermost
// loop running down contiguous columns. C must not share storage with A or B.
void gemm(const Sq& A, const Sq& B, Sq& C, double alpha, double beta) {
  by_order<Gemm>(A.n, A.data(), B.data(), C.data(), A.n, alpha, beta);
}

void mul_columns(const Sq& A, const double* B, int cols, double* C) {
  by_order<Gemm>(A.n, A.data(), B, C, cols, 1.0, 0.0);
}

Sq mul(const Sq& A, const Sq& B) {
  Sq C = Sq::uninitialized(A.n);
  gemm(A, B, C);
  return C;
}

namespace {

// y_j = sum_i x_i M(i, j), the sum from i = 0 up: four columns at a time, so
// that four independent sums advance together instead of one waiting on the
// latency of each addition.
template <int N>
struct Vxm {
  static void run(int nrun, const double* __restrict x, const double* __restrict m, double* __restrict y, bool accumulate) {
    const int n = N ? N : nrun;
    auto col = [m, n](int j) { return m + static_cast<std::size_t>(j) * n; };
    int j = 0;
    for (; j + 4 <= n; j += 4) {
      const double *c0 = col(j), *c1 = col(j + 1), *c2 = col(j + 2), *c3 = col(j + 3);
      double a0 = accumulate ? y[j] : 0.0, a1 = accumulate ? y[j + 1] : 0.0, a2 = accumulate ? y[j + 2] : 0.0,
             a3 = accumulate ? y[j + 3] : 0.0;
      for (int i = 0; i < n; ++i) {
        const double xi = x[i];
        a0 += xi * c0[i];
        a1 += xi * c1[i];
        a2 += xi * c2[i];
        a3 += xi * c3[i];
      }
      y[j] = a0, y[j + 1] = a1, y[j + 2] = a2, y[j + 3] = a3;
    }
    for (; j < n; ++j) {
      const double* __restrict c = col(j);
      double acc = accumulate ? y[j] : 0.0;
      for (int i = 0; i < n; ++i) acc += x[i] * c[i];
      y[j] = acc;
    }
  }
};

}  // namespace

void vxm(const double* x, const Sq& M, double* y, bool accumulate) { by_order<Vxm>(M.n, x, M.data(), y, accumulate); }

namespace {

// In place, the LU factors of a (unit lower L below the diagonal, U on and
// above it) by Gaussian elimination with partial pivoting: row k was
// interchanged with row piv[k] at step k. The updates run down contiguous
// columns.
template <int N>
void lu_factor(int n, double* __restrict a, int* piv, const char* who) {
  if (n > mxmu) herr(who, "matrix order beyond the limits of the small solve");
  auto col = [n](double* x, int j) { return x + static_cast<std::size_t>(j) * n; };
  for (int k = 0; k < n; ++k) {
    double* __restrict ak = col(a, k);
    int p = k;
    for (int i = k + 1; i < n; ++i)
      if (std::abs(ak[i]) > std::abs(ak[p])) p = i;
    if (ak[p] == 0.0) herr(who, "singular matrix in the slab operators");
    piv[k] = p;
    if (p != k)
      for (int j = 0; j < n; ++j) std::swap(col(a, j)[k], col(a, j)[p]);
    const double inv = 1.0 / ak[k];
    for (int i = k + 1; i < n; ++i) ak[i] *= inv;
    for (int j = k + 1; j < n; ++j) {
      double* __restrict aj = col(a, j);
      const double akj = aj[k];
      for (int i = k + 1; i < n; ++i) aj[i] -= ak[i] * akj;
    }
  }
}

// A^-1 B, B n x m: the interchanges, forward elimination step by step over
// all right-hand sides, then back substitution column by column with the
// reciprocals of the pivots (one division each instead of one per column).
template <int N>
struct SolveLeft {
  static void run(int nrun, double* __restrict a, double* __restrict B, int m, const char* who) {
    const int n = N ? N : nrun;
    int piv[mxmu];
    lu_factor<N>(n, a, piv, who);
    auto col = [n](double* x, int j) { return x + static_cast<std::size_t>(j) * n; };
    for (int k = 0; k < n; ++k)
      if (piv[k] != k)
        for (int j = 0; j < m; ++j) std::swap(col(B, j)[k], col(B, j)[piv[k]]);
    for (int k = 0; k < n; ++k) {
      const double* __restrict ak = col(a, k);
      for (int j = 0; j < m; ++j) {
        double* __restrict bj = col(B, j);
        const double bkj = bj[k];
        for (int i = k + 1; i < n; ++i) bj[i] -= ak[i] * bkj;
      }
    }
    double dinv[mxmu];
    for (int k = 0; k < n; ++k) dinv[k] = 1.0 / col(a, k)[k];
    for (int j = 0; j < m; ++j) {
      double* __restrict bj = col(B, j);
      for (int k = n - 1; k >= 0; --k) {
        const double* __restrict ak = col(a, k);
        const double x = bj[k] * dinv[k];
        bj[k] = x;
        for (int i = 0; i < k; ++i) bj[i] -= ak[i] * x;
      }
    }
  }
};

// B A^-1, B n x n, overwriting B. With A = P^T L U: Z U = B and Y L = Z
// column by column (each column a combination of whole earlier columns, so
// the inner loops run the full contiguous length), then X = Y with its
// columns put back in the order of A's rows.
template <int N>
struct SolveRight {
  static void run(int nrun, double* __restrict a, double* __restrict B, const char* who) {
    const int n = N ? N : nrun;
    int piv[mxmu];
    lu_factor<N>(n, a, piv, who);
    auto col = [n](double* x, int j) { return x + static_cast<std::size_t>(j) * n; };
    if constexpr (N > 0) {
      RegColumn<N> acc;
      for (int j = 0; j < N; ++j) {
        const double* __restrict uj = col(a, j);
        acc.load(col(B, j));
        for (int k = 0; k < j; ++k) acc.sub(col(B, k), uj[k]);
        acc.scale(1.0 / uj[j]);
        acc.store(col(B, j));
      }
      for (int j = N - 2; j >= 0; --j) {
        const double* __restrict lj = col(a, j);
        acc.load(col(B, j));
        for (int k = j + 1; k < N; ++k) acc.sub(col(B, k), lj[k]);
        acc.store(col(B, j));
      }
    } else {
      for (int j = 0; j < n; ++j) {
        double* __restrict zj = col(B, j);
        const double* __restrict uj = col(a, j);
        for (int k = 0; k < j; ++k) {
          const double u = uj[k];
          const double* __restrict zk = col(B, k);
          for (int i = 0; i < n; ++i) zj[i] -= zk[i] * u;
        }
        const double d = 1.0 / uj[j];
        for (int i = 0; i < n; ++i) zj[i] *= d;
      }
      for (int j = n - 2; j >= 0; --j) {
        double* __restrict yj = col(B, j);
        const double* __restrict lj = col(a, j);
        for (int k = j + 1; k < n; ++k) {
          const double l = lj[k];
          const double* __restrict yk = col(B, k);
          for (int i = 0; i < n; ++i) yj[i] -= yk[i] * l;
        }
      }
    }
    // X = Y P with P = P_{n-1} ... P_0 (P_k the interchange of step k): the
    // interchanges as column swaps, last step first.
    for (int k = n - 1; k >= 0; --k)
      if (piv[k] != k)
        for (int i = 0; i < n; ++i) std::swap(col(B, k)[i], col(B, piv[k])[i]);
  }
};

}  // namespace

void solve_left(Sq A, double* B, int m, const char* who) { by_order<SolveLeft>(A.n, A.data(), B, m, who); }

Sq solve_right(const Sq& B, const Sq& A, const char* who) {
  Sq a = A, x = B;
  by_order<SolveRight>(A.n, a.data(), x.data(), who);
  return x;
}

}  // namespace abyss::dense
