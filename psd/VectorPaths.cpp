#include "psd/VectorPaths.h"

#include "psd/BlockCursor.h"

namespace plymark {
namespace {

constexpr std::size_t kRecordBytes = 26;

enum Selector : std::uint16_t {
  kClosedLength = 0,
  kClosedLinked = 1,
  kClosedUnlinked = 2,
  kOpenLength = 3,
  kOpenLinked = 4,
  kOpenUnlinked = 5,
  kFillRule = 6,
  kClipboard = 7,
  kInitialFill = 8,
};

// A component of 8.24 fixed point.
double Fixed(BlockCursor& cursor, std::string_view field) {
  return cursor.Int32(field) / 16777216.0;
}

// Points are stored vertical first.
PathPoint Point(BlockCursor& cursor, std::string_view field) {
  PathPoint point;
  point.Y = Fixed(cursor, field);
  point.X = Fixed(cursor, field);
  return point;
}

PathOperation OperationOf(std::uint16_t stored) {
  switch (static_cast<std::int16_t>(stored)) {
    case 0:
      return PathOperation::Exclude;
    case 2:
      return PathOperation::Subtract;
    case 3:
      return PathOperation::Intersect;
    case -1:
      return PathOperation::Continue;
    default:
      return PathOperation::Combine;
  }
}

}  // namespace

VectorMask ReadVectorMask(std::span<const std::uint8_t> data, std::int64_t fileOffset,
                          const std::string& context) {
  BlockCursor cursor(data, fileOffset, context);
  VectorMask mask;
  cursor.Skip(4, "version");
  const std::uint32_t flags = cursor.UInt32("flags");
  mask.Inverted = (flags & 1) != 0;
  mask.Unlinked = (flags & 2) != 0;
  mask.Disabled = (flags & 4) != 0;
  std::size_t knotsLeft = 0;  // of the subpath being read
  while (cursor.Left() >= kRecordBytes) {
    BlockCursor record = cursor.Sub(kRecordBytes, "path record");
    const std::uint16_t selector = record.UInt16("path record selector");
    if (knotsLeft > 0) {
      const bool closed = mask.Subpaths.back().Closed;
      const bool knot = closed ? (selector == kClosedLinked || selector == kClosedUnlinked)
                               : (selector == kOpenLinked || selector == kOpenUnlinked);
      if (!knot) record.Fail("path record selector", "is not a knot of the subpath before it");
      BezierKnot& added = mask.Subpaths.back().Knots.emplace_back();
      added.Before = Point(record, "control point");
      added.Anchor = Point(record, "anchor point");
      added.After = Point(record, "control point");
      --knotsLeft;
      continue;
    }
    switch (selector) {
      case kClosedLength:
      case kOpenLength: {
        Subpath& subpath = mask.Subpaths.emplace_back();
        subpath.Closed = selector == kClosedLength;
        knotsLeft = record.UInt16("knot count");
        subpath.Operation = OperationOf(record.UInt16("path operation"));
        if (knotsLeft > cursor.Left() / kRecordBytes) {
          record.Fail("knot count", "runs past the block's records");
        }
        subpath.Knots.reserve(knotsLeft);
        break;
      }
      case kInitialFill:
        mask.StartsFull = record.UInt16("initial fill") != 0;
        break;
      case kFillRule:
      case kClipboard:
        break;
      default:
        record.Fail("path record selector", "is a knot outside any subpath, or unknown");
    }
  }
  return mask;
}

}  // namespace plymark
