#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compose/RenderTree.h"
#include "compose/StoredRows.h"
#include "psd/DocumentState.h"

namespace plymark {

// The channel data block of record `record` with channel id `id`, or null.
const ChannelBlock* ChannelBlockWithId(const DocumentState& state, int record, std::int16_t id);

// `count` big-endian samples of `bytesPerSample` bytes as floats 0..1; 32-bit
// samples as stored, or clamped to 0..1 (NaN as 0) when they are `coverage`.
void SamplesToFloats(const std::uint8_t* samples, int bytesPerSample, std::size_t count,
                     bool coverage, float* out);

// One stored channel of a layer or mask, placed in the document: its rows
// decoded as the bands reach them, turned into floats 0..1 (32-bit colour
// samples as stored).
class PlacedChannel {
 public:
  PlacedChannel(const DocumentState& state, const ChannelBlock& block, const Extent& rect,
                PlaneName name, bool coverage);

  // Rows [firstRow, endRow) and columns [left, right) of the document, all
  // inside the channel's rectangle, into `plane` (row firstRow at
  // plane[(firstRow - bandTop) * stride]).
  void Fill(std::int32_t bandTop, std::int32_t firstRow, std::int32_t endRow, std::int32_t left,
            std::int32_t right, float* plane, std::size_t stride, RowScratch& scratch);

  StoredRows& Rows() { return rows_; }

 private:
  StoredRows rows_;
  Extent rect_;
  int bytesPerSample_;
  bool coverage_;
};

// The channels of one drawn layer (or of a group's or adjustment's mask),
// opened when the first band reaches it and kept until its last row.
class LayerSource {
 public:
  // Opens the channels the node draws: colour and transparency for Pixels,
  // the masks for every kind. Damaged colour channels throw PsdError; a
  // damaged transparency channel or mask is left out and named in `omissions`.
  LayerSource(const DocumentState& state, const RenderNode& node, int colourChannels,
              std::vector<std::string>& omissions);

  PlacedChannel* Colour(int channel) { return colour_[static_cast<std::size_t>(channel)].get(); }
  PlacedChannel* Transparency() { return transparency_.get(); }
  // The channel of node.Masks[k]; null where it has no pixels or was left out.
  PlacedChannel* Mask(std::size_t k) { return masks_[k].get(); }

  // Leaves out a transparency channel or mask found damaged while drawing.
  void DropTransparency(const std::string& why, std::vector<std::string>& omissions);
  void DropMask(std::size_t k, const std::string& why, std::vector<std::string>& omissions);

  // Closes ZIP streams beyond `budget` open ones; returns what is left of it.
  int KeepStreams(int budget);

 private:
  const DocumentState& state_;
  int record_;
  std::array<std::unique_ptr<PlacedChannel>, 4> colour_;
  std::unique_ptr<PlacedChannel> transparency_;
  std::vector<std::unique_ptr<PlacedChannel>> masks_;
};

// Multiplies rows [firstRow, endRow) x columns [left, right) of `coverage`
// by the mask: its decoded rows inside its rectangle (already in `decoded`,
// same layout), its default colour outside, and then its density.
void ApplyMask(const MaskPlan& plan, const float* decoded, std::int32_t bandTop,
               std::int32_t firstRow, std::int32_t endRow, std::int32_t left, std::int32_t right,
               float* coverage, std::size_t stride);

}  // namespace plymark
