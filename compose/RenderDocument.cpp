#include "compose/RenderDocument.h"

#include <algorithm>
#include <vector>

namespace plymark {

// Until the layers are drawn: the document as transparent bands.
RenderResult RenderDocument(DocumentState& state, RenderSink& sink, const RenderOptions&) {
  const std::int32_t width = state.Header.Columns;
  const std::int32_t height = state.Header.Rows;
  constexpr std::int32_t kBandRows = 64;
  const std::size_t planeSize = static_cast<std::size_t>(width) * kBandRows;
  std::vector<float> zeros(planeSize, 0.0f);
  RenderedBand band;
  band.Width = width;
  band.ColourChannels = 3;
  for (int c = 0; c < 3; ++c) band.Colour[static_cast<std::size_t>(c)] = zeros.data();
  band.Alpha = zeros.data();
  for (std::int32_t top = 0; top < height; top += kBandRows) {
    band.Top = top;
    band.Rows = std::min(kBandRows, height - top);
    sink.TakeBand(band);
  }
  return {{"the layers are not drawn yet"}};
}

}  // namespace plymark
