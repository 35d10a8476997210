#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "compose/RenderTree.h"
#include "compose/StoredRows.h"
#include "psd/DocumentState.h"

namespace plymark {

// The shape a layer's effects follow (its transparency, times the masks that
// do not hide the effects) for a window of rows around the band being
// drawn: effects read rows above and below the band, and shadows rows a
// distance away. Each window decodes the channels on its own, from the top
// down, and keeps only the rows asked for last: never the whole layer.
class ShapeWindow {
 public:
  // The shape of `node` over columns [left, right) of the document (outside
  // them it counts as 0), holding at most `capacity` rows; `masks` are the
  // node's masks that shape the effects.
  ShapeWindow(const DocumentState& state, const RenderNode& node, std::int32_t left,
              std::int32_t right, std::int32_t capacity, std::vector<MaskPlan> masks);

  // Lets go of the rows above `top`: they are never asked for again.
  void Advance(std::int32_t top);

  // Copies rows [area.Top, area.Bottom) x columns [area.Left, area.Right) of
  // the shape into `out` (row stride `stride`); what lies outside the layer
  // is 0. The rows asked for lie below the last Advance and within
  // `capacity` rows of it. A damaged transparency channel or mask is left out
  // (the layer counts as opaque, or unmasked) and named in `omissions`.
  void Copy(const Extent& area, float* out, std::size_t stride, RowScratch& scratch,
            std::vector<std::string>& omissions);

  std::size_t Bytes() const { return rows_.size() * sizeof(float); }

 private:
  // Decodes the rows up to `bottom`, as far as the window holds.
  void Extend(std::int32_t bottom, RowScratch& scratch, std::vector<std::string>& omissions);
  void DecodeRow(std::int32_t y, float* row, RowScratch& scratch,
                 std::vector<std::string>& omissions);

  struct MaskRows {
    MaskPlan Plan;
    std::unique_ptr<StoredRows> Rows;
  };

  const DocumentState& state_;
  int record_;
  Extent rect_;  ///< the layer's rectangle
  std::int32_t left_;
  std::int32_t right_;
  std::int32_t capacity_;
  int bytesPerSample_;
  std::unique_ptr<StoredRows> transparency_;
  bool opaque_ = false;  ///< no transparency channel, or a damaged one
  std::vector<MaskRows> masks_;
  std::vector<float> rows_;   ///< capacity_ rows of right_ - left_ values
  std::int32_t heldTop_ = 0;  ///< document row of rows_'s first row
  std::int32_t decodedTo_;    ///< the next layer row to decode; rows held end there
  std::vector<float> maskRow_;
};

}  // namespace plymark
