#include "compose/fills/PathCoverage.h"

#include <algorithm>
#include <cmath>

namespace plymark {
namespace {

// Flattened curves stay within this many pixels of the true curve.
constexpr double kTolerance = 0.05;
// Pieces one curve is cut into at most, and all shapes together.
constexpr int kMostPiecesPerCurve = 256;
constexpr std::size_t kMostSegments = std::size_t{1} << 19;

using Segment = PathCoverage::Segment;

struct Point {
  double X = 0, Y = 0;
};

Point Lerp(const Point& a, const Point& b, double t) {
  return {a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t};
}

// Appends the cubic from `p0` through controls `p1`, `p2` to `p3` as straight
// pieces, as many as its bending needs.
void AddCubic(const Point& p0, const Point& p1, const Point& p2, const Point& p3,
              std::vector<Segment>& out) {
  const double bend = std::max(std::hypot(p0.X - 2 * p1.X + p2.X, p0.Y - 2 * p1.Y + p2.Y),
                               std::hypot(p1.X - 2 * p2.X + p3.X, p1.Y - 2 * p2.Y + p3.Y));
  const double wanted = std::ceil(std::sqrt(0.75 * bend / kTolerance));
  const int pieces =
      std::isfinite(wanted) ? std::clamp(static_cast<int>(wanted), 1, kMostPiecesPerCurve) : 1;
  Point from = p0;
  for (int k = 1; k <= pieces; ++k) {
    const double t = static_cast<double>(k) / pieces;
    const Point a = Lerp(p0, p1, t), b = Lerp(p1, p2, t), c = Lerp(p2, p3, t);
    const Point to = k == pieces ? p3 : Lerp(Lerp(a, b, t), Lerp(b, c, t), t);
    out.push_back({from.X, from.Y, to.X, to.Y});
    from = to;
  }
}

// Deposits the signed area of one piece of an edge inside row `y` (already
// cut to that row, both ends within [0, width]) into `cells`, so that the
// running sum of cells gives each pixel's winding coverage.
void DepositInRow(double xa, double xb, double dy, float* cells) {
  const double left = std::min(xa, xb), right = std::max(xa, xb);
  const double leftFloor = std::floor(left);
  const auto first = static_cast<std::size_t>(leftFloor);
  const auto last = static_cast<std::size_t>(std::ceil(right));
  if (last <= first + 1) {
    // Within one pixel: the part right of the edge's mean x is covered.
    const double mean = 0.5 * (xa + xb) - leftFloor;
    cells[first] += static_cast<float>(dy - dy * mean);
    cells[first + 1] += static_cast<float>(dy * mean);
    return;
  }
  const double slope = 1 / (right - left);
  const double leftPart = left - leftFloor;
  const double firstArea = 0.5 * slope * (1 - leftPart) * (1 - leftPart);
  const double rightPart = right - static_cast<double>(last) + 1;
  const double lastArea = 0.5 * slope * rightPart * rightPart;
  cells[first] += static_cast<float>(dy * firstArea);
  if (last == first + 2) {
    cells[first + 1] += static_cast<float>(dy * (1 - firstArea - lastArea));
  } else {
    const double second = slope * (1.5 - leftPart);
    cells[first + 1] += static_cast<float>(dy * (second - firstArea));
    for (std::size_t x = first + 2; x < last - 1; ++x) cells[x] += static_cast<float>(dy * slope);
    const double before = second + static_cast<double>(last - first - 3) * slope;
    cells[last - 1] += static_cast<float>(dy * (1 - before - lastArea));
  }
  cells[last] += static_cast<float>(dy * lastArea);
}

// One edge's part in row `y`: cut to the row, then at the document's left and
// right sides (whatever lies left of the document covers all of its row).
void DepositEdge(const Segment& edge, std::int32_t y, double width, float* cells) {
  const double dir = edge.Y1 > edge.Y0 ? 1 : -1;
  const double y0 = std::min(edge.Y0, edge.Y1), y1 = std::max(edge.Y0, edge.Y1);
  const double top = std::max(y0, static_cast<double>(y));
  const double bottom = std::min(y1, static_cast<double>(y) + 1);
  if (bottom <= top) return;
  const double slope = (edge.X1 - edge.X0) / (edge.Y1 - edge.Y0);
  const auto xAt = [&](double at) { return edge.X0 + (at - edge.Y0) * slope; };
  // The piece as a list of up to three parts split at x = 0 and x = width.
  double ys[4] = {top, 0, 0, 0};
  int count = 1;
  const double xa = xAt(top), xb = xAt(bottom);
  for (const double side : {0.0, width}) {
    if ((xa - side) * (xb - side) < 0) ys[count++] = edge.Y0 + (side - edge.X0) / slope;
  }
  ys[count++] = bottom;
  if (count == 4 && ys[1] > ys[2]) std::swap(ys[1], ys[2]);
  for (int k = 0; k + 1 < count; ++k) {
    const double from = ys[k], to = ys[k + 1];
    if (to <= from) continue;
    const double dy = (to - from) * dir;
    const double p = xAt(from), q = xAt(to);
    if (std::max(p, q) <= 0) {
      cells[0] += static_cast<float>(dy);
    } else if (std::min(p, q) >= width) {
      continue;  // right of the document: no pixel of it is covered
    } else {
      DepositInRow(std::clamp(p, 0.0, width), std::clamp(q, 0.0, width), dy, cells);
    }
  }
}

}  // namespace

PathCoverage::PathCoverage(std::vector<Shape> shapes, bool startsFull, bool inverted, FillRule rule,
                           std::int32_t width)
    : shapes_(std::move(shapes)),
      startsFull_(startsFull),
      inverted_(inverted),
      rule_(rule),
      width_(width),
      scans_(shapes_.size()),
      cells_(static_cast<std::size_t>(width) + 2, 0.0f),
      shapeRow_(static_cast<std::size_t>(width), 0.0f) {
  // Outside every shape each one covers nothing.
  float outside = startsFull ? 1.0f : 0.0f;
  for (std::size_t k = 0; k < shapes_.size(); ++k) {
    outside = Combine(outside, 0.0f, shapes_[k].Operation, k == 0);
    bounds_ = Union(bounds_, shapes_[k].Bounds);
  }
  outside_ = inverted ? 1.0f - outside : outside;
}

std::uint64_t PathCoverage::HeldBytes() const {
  std::uint64_t bytes = sizeof(float) * (cells_.size() + shapeRow_.size());
  for (const Shape& shape : shapes_) bytes += sizeof(Segment) * shape.Segments.size();
  return bytes;
}

float PathCoverage::Combine(float so_far, float shape, PathOperation operation, bool first) const {
  // The first shape of a path that starts empty is the path itself.
  if (first && !startsFull_) return shape;
  switch (operation) {
    case PathOperation::Subtract:
      return so_far * (1.0f - shape);
    case PathOperation::Intersect:
      return so_far * shape;
    case PathOperation::Exclude:
      return so_far + shape - 2.0f * so_far * shape;
    default:
      return so_far + shape - so_far * shape;
  }
}

void PathCoverage::CoverRow(std::size_t index, std::int32_t y, float* row) const {
  const Shape& shape = shapes_[index];
  Scan& scan = scans_[index];
  while (scan.Next < shape.Segments.size() &&
         std::min(shape.Segments[scan.Next].Y0, shape.Segments[scan.Next].Y1) < y + 1.0) {
    scan.Active.push_back(scan.Next++);
  }
  std::erase_if(scan.Active, [&](std::size_t k) {
    return std::max(shape.Segments[k].Y0, shape.Segments[k].Y1) <= y;
  });
  const auto left = static_cast<std::size_t>(shape.Bounds.Left);
  const auto right = static_cast<std::size_t>(shape.Bounds.Right);
  std::fill(cells_.begin() + static_cast<std::ptrdiff_t>(left),
            cells_.begin() + static_cast<std::ptrdiff_t>(std::min(right + 2, cells_.size())), 0.0f);
  for (const std::size_t k : scan.Active) {
    DepositEdge(shape.Segments[k], y, width_, cells_.data());
  }
  double sum = 0;
  if (rule_ == FillRule::NonZero) {
    for (std::size_t x = left; x < right; ++x) {
      sum += cells_[x];
      row[x] = static_cast<float>(std::min(1.0, std::abs(sum)));
    }
  } else {
    for (std::size_t x = left; x < right; ++x) {
      sum += cells_[x];
      // The distance to the nearest even winding number.
      row[x] = static_cast<float>(std::abs(sum - 2 * std::nearbyint(sum / 2)));
    }
  }
}

void PathCoverage::Fill(std::int32_t bandTop, std::int32_t firstRow, std::int32_t endRow,
                        std::int32_t left, std::int32_t right, float* plane,
                        std::size_t stride) const {
  if (firstRow < nextRow_) {
    for (Scan& scan : scans_) scan = {};
  }
  const float start = startsFull_ ? 1.0f : 0.0f;
  for (std::int32_t y = firstRow; y < endRow; ++y) {
    float* out = plane + static_cast<std::size_t>(y - bandTop) * stride;
    std::fill(out + left, out + right, start);
    for (std::size_t k = 0; k < shapes_.size(); ++k) {
      const Shape& shape = shapes_[k];
      const bool inRows = y >= shape.Bounds.Top && y < shape.Bounds.Bottom;
      const std::int32_t from = inRows ? std::clamp(shape.Bounds.Left, left, right) : right;
      const std::int32_t to = inRows ? std::clamp(shape.Bounds.Right, left, right) : right;
      if (inRows) CoverRow(k, y, shapeRow_.data());
      for (std::int32_t x = left; x < right; ++x) {
        const float covered = x >= from && x < to ? shapeRow_[static_cast<std::size_t>(x)] : 0.0f;
        out[x] = Combine(out[x], covered, shape.Operation, k == 0);
      }
    }
    if (inverted_) {
      for (std::int32_t x = left; x < right; ++x) out[x] = 1.0f - out[x];
    }
  }
  nextRow_ = endRow;
}

PathCoverageRead MakePathCoverage(const VectorMask& mask, std::int32_t width, std::int32_t height,
                                  FillRule rule) {
  std::vector<PathCoverage::Shape> shapes;
  std::size_t segments = 0;
  const auto scaled = [&](const PathPoint& point) {
    return Point{point.X * width, point.Y * height};
  };
  for (const Subpath& subpath : mask.Subpaths) {
    if (shapes.empty() || subpath.Operation != PathOperation::Continue) {
      shapes.emplace_back().Operation = subpath.Operation;
    }
    std::vector<Segment>& out = shapes.back().Segments;
    const std::size_t n = subpath.Knots.size();
    for (std::size_t k = 0; k < n; ++k) {
      const BezierKnot& from = subpath.Knots[k];
      const BezierKnot& to = subpath.Knots[(k + 1) % n];
      if (k + 1 == n && !subpath.Closed) {
        // An open subpath is filled as if a straight line closed it.
        const Point a = scaled(from.Anchor), b = scaled(to.Anchor);
        out.push_back({a.X, a.Y, b.X, b.Y});
      } else {
        AddCubic(scaled(from.Anchor), scaled(from.After), scaled(to.Before), scaled(to.Anchor),
                 out);
      }
    }
    segments += out.size();
    if (segments > kMostSegments) {
      return {nullptr,
              "its vector mask has more than " + std::to_string(kMostSegments) + " pieces to draw"};
    }
  }
  // Work: each shape's rows times its width, and each piece's rows.
  const Extent document{0, 0, height, width};
  double work = 0;
  for (PathCoverage::Shape& shape : shapes) {
    if (shape.Operation == PathOperation::Continue) shape.Operation = PathOperation::Combine;
    double top = INFINITY, left = INFINITY, bottom = -INFINITY, right = -INFINITY;
    for (const Segment& s : shape.Segments) {
      top = std::min({top, s.Y0, s.Y1});
      bottom = std::max({bottom, s.Y0, s.Y1});
      left = std::min({left, s.X0, s.X1});
      right = std::max({right, s.X0, s.X1});
      work += std::clamp(std::abs(s.Y1 - s.Y0), 1.0, static_cast<double>(height));
    }
    // Whatever lies left of the document still covers its rows from x = 0.
    shape.Bounds = shape.Segments.empty()
                       ? Extent{}
                       : Intersection({static_cast<std::int32_t>(std::clamp(
                                           std::floor(top), -1.0, static_cast<double>(height))),
                                       0,
                                       static_cast<std::int32_t>(std::clamp(
                                           std::ceil(bottom), 0.0, static_cast<double>(height))),
                                       static_cast<std::int32_t>(std::clamp(
                                           std::ceil(right) + 1, 0.0, static_cast<double>(width)))},
                                      document);
    if (!shape.Bounds.Empty()) {
      shape.Bounds.Left = static_cast<std::int32_t>(
          std::clamp(std::floor(left), 0.0, static_cast<double>(shape.Bounds.Right)));
    }
    work += static_cast<double>(shape.Bounds.Bottom - shape.Bounds.Top) *
            static_cast<double>(shape.Bounds.Right - shape.Bounds.Left);
    std::sort(shape.Segments.begin(), shape.Segments.end(), [](const Segment& a, const Segment& b) {
      return std::min(a.Y0, a.Y1) < std::min(b.Y0, b.Y1);
    });
  }
  const double pixels = static_cast<double>(width) * height;
  if (work > 64 * pixels + double{1 << 26}) {
    return {nullptr, "its vector mask would take too long to draw"};
  }
  return {std::make_shared<PathCoverage>(std::move(shapes), mask.StartsFull, mask.Inverted, rule,
                                         width),
          {}};
}

namespace {

// The least and greatest value of one coordinate along a cubic.
void CubicRange(double p0, double p1, double p2, double p3, double& low, double& high) {
  low = std::min({low, p0, p3});
  high = std::max({high, p0, p3});
  // Where the derivative, a quadratic in t, is zero.
  const double a = -p0 + 3 * p1 - 3 * p2 + p3, b = 2 * (p0 - 2 * p1 + p2), c = p1 - p0;
  double roots[2];
  int count = 0;
  if (std::abs(a) < 1e-12) {
    if (std::abs(b) > 1e-12) roots[count++] = -c / b;
  } else {
    const double d = b * b - 4 * a * c;
    if (d >= 0) {
      roots[count++] = (-b + std::sqrt(d)) / (2 * a);
      roots[count++] = (-b - std::sqrt(d)) / (2 * a);
    }
  }
  for (int k = 0; k < count; ++k) {
    const double t = roots[k];
    if (!(t > 0 && t < 1)) continue;
    const double u = 1 - t;
    const double v = u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
    low = std::min(low, v);
    high = std::max(high, v);
  }
}

}  // namespace

Extent PathBounds(const VectorMask& mask, std::int32_t width, std::int32_t height) {
  double top = INFINITY, left = INFINITY, bottom = -INFINITY, right = -INFINITY;
  for (const Subpath& subpath : mask.Subpaths) {
    const std::size_t n = subpath.Knots.size();
    for (std::size_t k = 0; k < n; ++k) {
      const BezierKnot& from = subpath.Knots[k];
      const BezierKnot& to = subpath.Knots[(k + 1) % n];
      const bool straight = k + 1 == n && !subpath.Closed;
      CubicRange(from.Anchor.X, straight ? from.Anchor.X : from.After.X,
                 straight ? to.Anchor.X : to.Before.X, to.Anchor.X, left, right);
      CubicRange(from.Anchor.Y, straight ? from.Anchor.Y : from.After.Y,
                 straight ? to.Anchor.Y : to.Before.Y, to.Anchor.Y, top, bottom);
    }
  }
  if (!(top <= bottom && left <= right)) return {};
  const auto side = [](double relative, std::int32_t size) {
    return static_cast<std::int32_t>(std::lround(std::clamp(relative, -16.0, 17.0) * size));
  };
  return {side(top, height), side(left, width), side(bottom, height), side(right, width)};
}

}  // namespace plymark
