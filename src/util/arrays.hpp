// Arrays indexed as the equations are written: from 1 (or from a chosen lower
// bound), matrices column-major with a fixed leading dimension so that one
// storage layout serves every run size and LAPACK can take the data directly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace abyss {

// Vector with indices lo..hi.
template <class T>
class Vec {
 public:
  Vec() = default;
  Vec(int lo, int hi, T init = T{}) : lo_(lo), v_(static_cast<std::size_t>(hi - lo + 1), init) {}
  T& operator()(int i) { return v_[static_cast<std::size_t>(i - lo_)]; }
  const T& operator()(int i) const { return v_[static_cast<std::size_t>(i - lo_)]; }
  T* data() { return v_.data(); }
  const T* data() const { return v_.data(); }
  int lo() const { return lo_; }
  int hi() const { return lo_ + static_cast<int>(v_.size()) - 1; }
  void fill(T x) { std::fill(v_.begin(), v_.end(), x); }

 private:
  int lo_ = 1;
  std::vector<T> v_;
};

using VecD = Vec<double>;
using VecI = Vec<int>;

// Column-major matrix, element (i, j) with i = 1..ld, j = 1..ncol.
class Mat {
 public:
  Mat() = default;
  Mat(int ld, int ncol) : ld_(ld), ncol_(ncol), d_(static_cast<std::size_t>(ld) * static_cast<std::size_t>(ncol)) {}
  double& operator()(int i, int j) { return d_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * ld_]; }
  double operator()(int i, int j) const {
    return d_[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * ld_];
  }
  double* data() { return d_.data(); }
  const double* data() const { return d_.data(); }
  double* col(int j) { return d_.data() + static_cast<std::size_t>(j - 1) * ld_; }
  const double* col(int j) const { return d_.data() + static_cast<std::size_t>(j - 1) * ld_; }
  int ld() const { return ld_; }
  int ncol() const { return ncol_; }
  void zero() { std::fill(d_.begin(), d_.end(), 0.0); }
  // Zeroes rows 1..nrow of columns 1..ncol only (the part a band uses of storage sized for the limits).
  void zero_block(int nrow, int ncol) {
    for (int j = 1; j <= std::min(ncol, ncol_); ++j) std::fill(col(j), col(j) + std::min(nrow, ld_), 0.0);
  }

 private:
  int ld_ = 0;
  int ncol_ = 0;
  std::vector<double> d_;
};

}  // namespace abyss
