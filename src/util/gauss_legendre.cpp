#include "util/gauss_legendre.hpp"

#include <gsl/gsl_integration.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace abyss::util {

std::vector<QuadNode> gauss_legendre(int n) {
  std::unique_ptr<gsl_integration_glfixed_table, decltype(&gsl_integration_glfixed_table_free)> t(
      gsl_integration_glfixed_table_alloc(static_cast<std::size_t>(n)), gsl_integration_glfixed_table_free);
  if (!t) throw std::runtime_error("Gauss-Legendre rule of order " + std::to_string(n) + " not available");
  std::vector<QuadNode> out(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i)
    gsl_integration_glfixed_point(-1.0, 1.0, static_cast<std::size_t>(i), &out[static_cast<std::size_t>(i)].x,
                                  &out[static_cast<std::size_t>(i)].w, t.get());
  std::sort(out.begin(), out.end(), [](const QuadNode& a, const QuadNode& b) { return a.x < b.x; });
  return out;
}

}  // namespace abyss::util
