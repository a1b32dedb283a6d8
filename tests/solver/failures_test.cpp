// Failures that say so: LAPACK's own error exit raises the run's fatal error
// instead of stopping the process; a non-zero info is fatal with its meaning;
// the work of an integration pass is bounded.
#include <gtest/gtest.h>

#include <vector>

#include "control/errors.hpp"
#include "solver/lapack_errors.hpp"
#include "solver/linsolve.hpp"
#include "solver/step_budget.hpp"

extern "C" void dgebal_(const char* job, const int* n, double* a, const int* lda, int* ilo, int* ihi, double* scale,
                        int* info);

using namespace abyss;

TEST(LapackFailures, IllegalArgumentRaisesAFatalErrorInsteadOfStopping) {
  // LDA < N is illegal: the library calls xerbla, which must not end the process.
  std::vector<double> a(4, 1.0), scale(2);
  int n = 2, lda = 1, ilo = 0, ihi = 0, info = 0;
  try {
    dgebal_("B", &n, a.data(), &lda, &ilo, &ihi, scale.data(), &info);
    FAIL() << "xerbla returned";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "xerbla");
    EXPECT_EQ(e.message(), "DGEBAL parameter number 4 had an illegal value");
  }
}

TEST(LapackFailures, NonZeroInfoIsFatalWithItsMeaning) {
  EXPECT_NO_THROW(check_lapack("infbotm", "dgeev", 0));
  try {
    check_lapack("infbotm", "dgeev", 3);
    FAIL();
  } catch (const FatalError& e) {
    EXPECT_EQ(e.routine(), "infbotm");
    EXPECT_NE(e.message().find("DGEEV: the QR algorithm failed"), std::string::npos);
  }
  EXPECT_EQ(lapack_info_meaning("dgetrf", 2), "DGETRF: the matrix is exactly singular (zero pivot U(2,2))");
  EXPECT_EQ(lapack_info_meaning("dgetrs", -3), "DGETRS parameter number 3 had an illegal value");
}

TEST(LapackFailures, LuInverseOfAnIllegalOrderStops) {
  std::vector<double> a(4, 1.0), inv(4);
  EXPECT_THROW(lu_inverse(a.data(), 1, 2, inv.data(), 2), FatalError);  // leading dimension below the order
}

TEST(WorkBudget, BudgetIsChargedAndNeverReadsAsUnlimited) {
  StepBudget b(10);
  EXPECT_EQ(b.next_limit(), 10u);
  b.charge(4);
  EXPECT_EQ(b.next_limit(), 6u);
  b.charge(100);
  EXPECT_TRUE(b.exhausted());
  EXPECT_EQ(b.next_limit(), 1u);  // 0 would mean "no limit" to the integrator
  const std::string m = step_budget_message(3, 450.0, 2, 1, 812.25, 900.0);
  EXPECT_EQ(m.rfind("the depth integration of band 3 (450.0 nm), mode l = 2, pass 1 used its budget of 200000 steps at "
                    "optical depth 812.25 on the way to 900",
                    0),
            0u)
      << m;
}
