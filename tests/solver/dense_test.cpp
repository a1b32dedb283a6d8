// The small dense kernels of the exact solve: left and right solves by LU
// with partial pivoting agree with each other and leave residuals at
// rounding, at the orders with kernels of their own and at the others; a
// singular matrix is a fatal error naming the caller.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "control/errors.hpp"
#include "solver/dense.hpp"

using namespace abyss;
using dense::Sq;

namespace {

// Random entries with a zero diagonal: every column needs an interchange.
Sq random_matrix(int n, std::mt19937& g, bool zero_diagonal) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Sq m(n);
  for (double& x : m.a) x = u(g);
  if (zero_diagonal)
    for (int i = 0; i < n; ++i) m(i, i) = 0.0;
  return m;
}

double largest_difference(const Sq& a, const Sq& b) {
  double d = 0.0;
  for (std::size_t e = 0; e < a.a.size(); ++e) d = std::max(d, std::abs(a.a[e] - b.a[e]));
  return d;
}

}  // namespace

TEST(DenseKernels, RightAndLeftSolvesLeaveRoundingResiduals) {
  std::mt19937 g(7);
  for (int n : {1, 3, 9, 10, 17, 19, 20, 25}) {
    const Sq A = random_matrix(n, g, n > 1), B = random_matrix(n, g, false);
    // X A = B.
    const Sq X = dense::solve_right(B, A, "test");
    EXPECT_LT(largest_difference(dense::mul(X, A), B), 1e-12) << "order " << n;
    // A Y = B (two column blocks at once), and Y = A^-1 B against X = B A^-1
    // through the transposes: (A^T)^-1 B^T = X^T.
    Sq at(n), bt(n);
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) at(i, j) = A(j, i), bt(i, j) = B(j, i);
    std::vector<double> rhs(2 * bt.a.size());
    std::copy(bt.a.begin(), bt.a.end(), rhs.begin());
    std::copy(B.a.begin(), B.a.end(), rhs.begin() + static_cast<std::ptrdiff_t>(bt.a.size()));
    dense::solve_left(at, rhs.data(), 2 * n, "test");
    double scale = 0.0, diff = 0.0;
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        scale = std::max(scale, std::abs(X(j, i)));
        diff = std::max(diff, std::abs(rhs[static_cast<std::size_t>(i + j * n)] - X(j, i)));
      }
    EXPECT_LT(diff, 1e-12 * std::max(1.0, scale)) << "order " << n;
  }
}

TEST(DenseKernels, SingularMatrixIsFatalNamingTheCaller) {
  Sq A(4), B = Sq::identity(4);
  for (int j = 0; j < 4; ++j) A(0, j) = A(1, j) = A(2, j) = A(3, j) = 1.0 + j;  // rank one
  try {
    dense::solve_right(B, A, "slab_medium");
    FAIL() << "no error for a singular matrix";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "slab_medium");
  }
  EXPECT_THROW(dense::solve_left(A, B.data(), 4, "adding"), FatalError);
}
