#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "psd/DocumentState.h"

namespace plymark {

// A band of rows of the drawn document, in the document's own colour space:
// one plane per colour channel, values as stored scaled to 0..1 (CMYK's inks
// inverted, 1 is no ink; Lab's a and b at 0.5 for neutral; 32-bit values in
// linear light, unclamped), not premultiplied, and the coverage.
struct RenderedBand {
  std::int32_t Top = 0;    ///< the band's first row in the document
  std::int32_t Rows = 0;   ///< rows in the band
  std::int32_t Width = 0;  ///< the document's width; every plane row has this many values
  int ColourChannels = 0;  ///< planes used in Colour: 1 grey, 3 RGB and Lab, 4 CMYK, ...
  /// Colour[c][row * Width + x]; null beyond ColourChannels.
  std::array<const float*, 4> Colour{};
  const float* Alpha = nullptr;  ///< Alpha[row * Width + x], 0 transparent to 1 opaque
};

// Takes the drawn document band by band, from the top row down.
class RenderSink {
 public:
  virtual ~RenderSink() = default;
  virtual void TakeBand(const RenderedBand& band) = 0;
};

struct RenderOptions {
  /// Bytes the band buffers of every nesting level may take together.
  std::size_t BandBudgetBytes = std::size_t{64} << 20;
  /// Largest document (width x height) drawn; 0 for no limit beyond the
  /// layer loop's. The fuzzer draws only small documents.
  std::int64_t LargestPixels = 0;
};

// What a render left out: one entry per layer and feature, such as
// `layer 3 "Shadow": layer effects`.
struct RenderResult {
  std::vector<std::string> Omissions;
};

// Draws the opened document `state` from its layers, as the maker merges
// them, band by band through the whole layer stack, and hands each band to
// `sink`. Channel data is read from the document's file as the bands need it.
// A document without layer records draws its merged image. Throws PsdError
// when the document cannot be drawn (damaged channel data, a size beyond the
// budgets); what is drawn in part is named in the result, never dropped.
RenderResult RenderDocument(DocumentState& state, RenderSink& sink,
                            const RenderOptions& options = {});

}  // namespace plymark
