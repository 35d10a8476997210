#include "compose/effects/Contour.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace plymark {
namespace {

struct Point {
  float X = 0.0f;
  float Y = 0.0f;
  bool Corner = false;
};

// A natural cubic spline through `points` (x strictly increasing), sampled
// into `table` from x = points.front() to points.back().
void SampleSpline(const std::vector<Point>& points, std::array<float, 257>& table) {
  const std::size_t n = points.size();
  std::vector<float> second(n, 0.0f);
  if (n >= 3) {
    std::vector<float> upper(n, 0.0f);
    std::vector<float> rhs(n, 0.0f);
    for (std::size_t i = 1; i + 1 < n; ++i) {
      const float h0 = points[i].X - points[i - 1].X;
      const float h1 = points[i + 1].X - points[i].X;
      const float slopes =
          (points[i + 1].Y - points[i].Y) / h1 - (points[i].Y - points[i - 1].Y) / h0;
      const float diagonal = 2.0f * (h0 + h1) - h0 * upper[i - 1];
      upper[i] = h1 / diagonal;
      rhs[i] = (6.0f * slopes - h0 * rhs[i - 1]) / diagonal;
    }
    for (std::size_t i = n - 2; i >= 1; --i) second[i] = rhs[i] - upper[i] * second[i + 1];
  }
  std::size_t i = 1;
  const auto first = static_cast<int>(std::ceil(points.front().X));
  const auto last = static_cast<int>(std::floor(points.back().X));
  for (int x = std::max(first, 0); x <= std::min(last, 256); ++x) {
    const auto at = static_cast<float>(x);
    while (i + 1 < n && points[i].X < at) ++i;
    const float h = points[i].X - points[i - 1].X;
    const float a = (points[i].X - at) / h;
    const float b = 1.0f - a;
    const float y = a * points[i - 1].Y + b * points[i].Y +
                    ((a * a * a - a) * second[i - 1] + (b * b * b - b) * second[i]) * h * h / 6.0f;
    table[static_cast<std::size_t>(x)] = std::clamp(y, 0.0f, 255.0f) / 255.0f;
  }
}

}  // namespace

std::optional<Contour> Contour::Read(const Descriptor& shape) {
  const auto* list = shape.Get<std::vector<DescriptorValue>>("Crv ");
  if (list == nullptr || list->size() < 2 || list->size() > 256) return std::nullopt;
  std::vector<Point> points;
  for (const DescriptorValue& value : *list) {
    const Descriptor* point = value.As<Descriptor>();
    if (point == nullptr) return std::nullopt;
    const auto x = point->Number("Hrzn");
    const auto y = point->Number("Vrtc");
    if (!x || !y || !std::isfinite(*x) || !std::isfinite(*y)) return std::nullopt;
    points.push_back({static_cast<float>(std::clamp(*x, 0.0, 255.0)),
                      static_cast<float>(std::clamp(*y, 0.0, 255.0)),
                      !point->Boolean("Cnty").value_or(true)});
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const Point& a, const Point& b) { return a.X < b.X; });
  // Points of one input: the last one counts.
  std::vector<Point> kept;
  for (const Point& point : points) {
    if (!kept.empty() && point.X - kept.back().X < 0.5f) {
      kept.back() = point;
    } else {
      kept.push_back(point);
    }
  }
  if (kept.size() < 2) return std::nullopt;
  Contour contour;
  contour.linear_ = kept.size() == 2 && kept[0].X == 0.0f && kept[0].Y == 0.0f &&
                    kept[1].X == 255.0f && kept[1].Y == 255.0f;
  // Flat beyond the end points; corners split the curve into smooth pieces.
  for (int x = 0; x <= kEntries; ++x) {
    const bool before = static_cast<float>(x) < kept.front().X;
    contour.table_[static_cast<std::size_t>(x)] =
        (before ? kept.front().Y : kept.back().Y) / 255.0f;
  }
  std::size_t start = 0;
  for (std::size_t k = 1; k < kept.size(); ++k) {
    if (k + 1 == kept.size() || kept[k].Corner) {
      SampleSpline({kept.begin() + static_cast<std::ptrdiff_t>(start),
                    kept.begin() + static_cast<std::ptrdiff_t>(k) + 1},
                   contour.table_);
      start = k;
    }
  }
  return contour;
}

}  // namespace plymark
