#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "compose/RenderTree.h"
#include "psd/VectorPaths.h"

namespace plymark {

// How the inside of one shape is found where its subpaths cross or nest.
enum class FillRule { NonZero, EvenOdd };

// A vector mask drawn from its path with exact area coverage, row by row, so
// that a band needs no more than a row of scratch. Each shape (a subpath and
// the subpaths that continue it) is filled on its own, by its fill rule, and
// combined with the shapes before it by its operation.
class PathCoverage {
 public:
  // One straight piece of a flattened shape, in document pixels.
  struct Segment {
    double X0, Y0, X1, Y1;
  };
  struct Shape {
    PathOperation Operation = PathOperation::Combine;
    std::vector<Segment> Segments;  ///< sorted by their upper end
    Extent Bounds;                  ///< the pixels the segments touch, within the document
  };

  PathCoverage(std::vector<Shape> shapes, bool startsFull, bool inverted, FillRule rule,
               std::int32_t width);

  // Coverage 0..1 of rows [firstRow, endRow) and columns [left, right) into
  // `plane` (row firstRow at plane[(firstRow - bandTop) * stride]). Rows are
  // best asked for from the top down: each call carries on from the last.
  void Fill(std::int32_t bandTop, std::int32_t firstRow, std::int32_t endRow, std::int32_t left,
            std::int32_t right, float* plane, std::size_t stride) const;

  // Where the coverage may differ from Outside(), within the document.
  const Extent& Bounds() const { return bounds_; }
  // The memory its pieces and row scratch hold, for the render's budget.
  std::uint64_t HeldBytes() const;
  float Outside() const { return outside_; }

 private:
  struct Scan {
    std::size_t Next = 0;             ///< the first segment not yet active
    std::vector<std::size_t> Active;  ///< segments that reach the row
  };
  void CoverRow(std::size_t shape, std::int32_t y, float* row) const;
  float Combine(float so_far, float shape, PathOperation operation, bool first) const;

  std::vector<Shape> shapes_;
  bool startsFull_;
  bool inverted_;
  FillRule rule_;
  std::int32_t width_;
  Extent bounds_;
  float outside_ = 0.0f;
  mutable std::vector<Scan> scans_;
  mutable std::int32_t nextRow_ = 0;
  mutable std::vector<float> cells_;  ///< a row's signed area deposits, width + 2
  mutable std::vector<float> shapeRow_;
};

struct PathCoverageRead {
  std::shared_ptr<const PathCoverage> Coverage;  ///< null when it cannot be drawn
  std::string Problem;
};

// The rule one shape is filled by. No shape of the development corpus
// crosses itself, so its stored rasters fit either rule; non-zero it is.
constexpr FillRule kMakerFillRule = FillRule::NonZero;

// Flattens `mask`'s subpaths for a document of `width` x `height` pixels.
// Refuses a path whose drawing would take more work than its document could
// ever need (a hostile file's millions of knots across every row).
PathCoverageRead MakePathCoverage(const VectorMask& mask, std::int32_t width, std::int32_t height,
                                  FillRule rule = kMakerFillRule);

// The bounds of `mask`'s curves in document pixels, rounded to whole pixels
// and kept within sixteen documents of the document; empty without a path.
Extent PathBounds(const VectorMask& mask, std::int32_t width, std::int32_t height);

}  // namespace plymark
