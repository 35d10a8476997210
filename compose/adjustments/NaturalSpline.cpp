#include "compose/adjustments/NaturalSpline.h"

#include <algorithm>

namespace plymark::adjustments {

NaturalSpline::NaturalSpline(std::vector<std::array<float, 2>> points)
    : points_(std::move(points)) {
  const std::size_t n = points_.size();
  second_.assign(n, 0.0f);
  if (n < 3) return;
  // Tridiagonal system for the second derivatives, zero at both ends.
  std::vector<float> upper(n, 0.0f);
  std::vector<float> rhs(n, 0.0f);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const float h0 = X(i) - X(i - 1);
    const float h1 = X(i + 1) - X(i);
    const float slopes = (Y(i + 1) - Y(i)) / h1 - (Y(i) - Y(i - 1)) / h0;
    const float diagonal = 2.0f * (h0 + h1) - h0 * upper[i - 1];
    upper[i] = h1 / diagonal;
    rhs[i] = (6.0f * slopes - h0 * rhs[i - 1]) / diagonal;
  }
  for (std::size_t i = n - 2; i >= 1; --i) second_[i] = rhs[i] - upper[i] * second_[i + 1];
}

float NaturalSpline::operator()(float x) const {
  if (x <= X(0)) return Y(0);
  if (x >= X(points_.size() - 1)) return Y(points_.size() - 1);
  std::size_t i = 1;
  while (X(i) < x) ++i;
  const float h = X(i) - X(i - 1);
  const float a = (X(i) - x) / h;
  const float b = 1.0f - a;
  const float y = a * Y(i - 1) + b * Y(i) +
                  ((a * a * a - a) * second_[i - 1] + (b * b * b - b) * second_[i]) * h * h / 6.0f;
  return std::clamp(y, 0.0f, 255.0f);
}

}  // namespace plymark::adjustments
