#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace plymark {

// A point of a path, relative to the document: x of its width, y of its
// height, (0, 0) its top-left corner and (1, 1) its bottom-right.
struct PathPoint {
  double X = 0;
  double Y = 0;
};

// One knot of a Bézier path: the control point that leads into the anchor,
// the anchor, and the control point that leaves it.
struct BezierKnot {
  PathPoint Before;
  PathPoint Anchor;
  PathPoint After;
};

// How a subpath is combined with what the subpaths before it make.
enum class PathOperation : std::int16_t {
  Continue = -1,  ///< part of the previous subpath's shape
  Exclude = 0,
  Combine = 1,
  Subtract = 2,
  Intersect = 3,
};

struct Subpath {
  bool Closed = true;  ///< an open subpath is filled as if closed
  PathOperation Operation = PathOperation::Combine;
  std::vector<BezierKnot> Knots;
};

// A layer's vector mask ('vmsk', 'vsms'): its flags and its path records.
struct VectorMask {
  bool Inverted = false;
  bool Unlinked = false;
  bool Disabled = false;
  /// The initial fill record: the mask starts as all (true) or nothing.
  bool StartsFull = false;
  std::vector<Subpath> Subpaths;
};

// Reads a vector mask block's data, which starts at `fileOffset` in the file:
// a version (3), the flags, then 26-byte path records. Throws PsdError when a
// subpath's knot count runs past the records or a record is of an unknown
// kind; clipboard and fill-rule records are passed over.
VectorMask ReadVectorMask(std::span<const std::uint8_t> data, std::int64_t fileOffset,
                          const std::string& context);

}  // namespace plymark
