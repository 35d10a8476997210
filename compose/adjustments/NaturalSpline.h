#pragma once

#include <array>
#include <vector>

namespace plymark::adjustments {

// A curve through its points (input, output in 0..255, inputs increasing,
// at least two), as the maker draws curves: a natural cubic spline, flat
// beyond its end points, clipped to 0..255.
class NaturalSpline {
 public:
  explicit NaturalSpline(std::vector<std::array<float, 2>> points);
  float operator()(float x) const;

 private:
  float X(std::size_t i) const { return points_[i][0]; }
  float Y(std::size_t i) const { return points_[i][1]; }

  std::vector<std::array<float, 2>> points_;
  std::vector<float> second_;  ///< second derivatives at the points
};

}  // namespace plymark::adjustments
