#include "compose/MergedBands.h"

#include <algorithm>
#include <string>
#include <vector>

#include "psd/ColorModeCodes.h"
#include "psd/PsdError.h"
#include "render/DeepSamples.h"
#include "render/LayerLoop.h"
#include "render/MergedChannelRows.h"
#include "render/MergedImage.h"

namespace plymark {
namespace {

int ColourChannelsOf(std::int16_t colorMode) {
  switch (colorMode) {
    case color_mode::kCmyk:
      return 4;
    case color_mode::kRgb:
    case color_mode::kLab:
    case color_mode::kMultichannel:
      return 3;
    default:
      return 1;
  }
}

// One stored row as floats 0..1; a bitmap's set bits are black.
void RowToFloats(const std::uint8_t* stored, std::size_t width, std::int16_t depth, float* out) {
  switch (depth) {
    case 1:
      for (std::size_t x = 0; x < width; ++x)
        out[x] = (stored[x / 8] >> (7 - x % 8)) & 1 ? 0.0f : 1.0f;
      return;
    case 8:
      for (std::size_t x = 0; x < width; ++x) out[x] = stored[x] / 255.0f;
      return;
    case 16:
      for (std::size_t x = 0; x < width; ++x) {
        out[x] = static_cast<float>((stored[2 * x] << 8) | stored[2 * x + 1]) / 65535.0f;
      }
      return;
    default:
      for (std::size_t x = 0; x < width; ++x) out[x] = FloatFromBigEndian(stored + 4 * x);
      return;
  }
}

// Where a channel's white lies: the top, but Lab's a and b at their middle.
float WhiteOf(std::int16_t colorMode, int channel, std::int16_t depth) {
  if (colorMode != color_mode::kLab || channel == 0) return 1.0f;
  return depth == 16 ? 32768.0f / 65535.0f : 128.0f / 255.0f;
}

}  // namespace

void RenderMergedImage(const DocumentState& state, RenderSink& sink, std::int32_t bandRows) {
  const FileHeader& header = state.Header;
  // The image data section is read whole, as for the merged image's export.
  if (header.Rows > kLargestLayerSide || header.Columns > kLargestLayerSide) {
    throw PsdError::Damaged(0, "merged image",
                            "measures " + std::to_string(header.Columns) + " x " +
                                std::to_string(header.Rows) + " pixels, more than the " +
                                std::to_string(kLargestLayerSide) + " a side Plymark shows");
  }
  const std::int64_t offset = state.ImageDataOffset;
  const std::int64_t stored = state.File.size() - offset;
  if (offset < 0 || stored <= 0) {
    throw PsdError::Truncated(offset, static_cast<std::size_t>(state.File.size()), "merged image");
  }
  std::vector<std::uint8_t> section(static_cast<std::size_t>(stored));
  state.File.ReadInto(offset, section, "merged image");
  const int transparency = MergedTransparencyChannel(
      header.Channels, header.ColorMode, state.Resources, state.MergedTransparencyBlock);
  const int channels = ColourChannelsOf(header.ColorMode);
  const MergedChannelRows rows(
      section, offset, {header.Version, header.Channels, header.Columns, header.Rows, header.Depth},
      std::max(channels, transparency + 1));
  const auto width = static_cast<std::size_t>(header.Columns);
  const std::size_t plane = width * static_cast<std::size_t>(bandRows);
  std::vector<float> planes(plane * static_cast<std::size_t>(channels + 1), 1.0f);
  std::vector<std::uint8_t> buffer(rows.BufferBytes());
  RenderedBand band;
  band.Width = header.Columns;
  band.ColourChannels = channels;
  for (int c = 0; c < channels; ++c)
    band.Colour[static_cast<std::size_t>(c)] = planes.data() + plane * static_cast<std::size_t>(c);
  float* alpha = planes.data() + plane * static_cast<std::size_t>(channels);
  band.Alpha = alpha;
  for (std::int32_t top = 0; top < header.Rows; top += bandRows) {
    band.Top = top;
    band.Rows = std::min(bandRows, header.Rows - top);
    for (std::int32_t row = 0; row < band.Rows; ++row) {
      const std::size_t at = static_cast<std::size_t>(row) * width;
      if (transparency >= 0) {
        RowToFloats(rows.Row(transparency, top + row, buffer.data()), width, header.Depth,
                    alpha + at);
        for (std::size_t x = 0; x < width; ++x)
          alpha[at + x] = std::clamp(alpha[at + x], 0.0f, 1.0f);
      }
      for (int c = 0; c < channels; ++c) {
        float* out = planes.data() + plane * static_cast<std::size_t>(c) + at;
        if (c >= header.Channels) {
          std::fill(out, out + width, 0.0f);  // a colour channel the header does not count
          continue;
        }
        RowToFloats(rows.Row(c, top + row, buffer.data()), width, header.Depth, out);
        if (transparency < 0) continue;
        const float white = WhiteOf(header.ColorMode, c, header.Depth);
        for (std::size_t x = 0; x < width; ++x) {
          const float a = alpha[at + x];
          if (a > 0.0f && a < 1.0f)
            out[x] = std::clamp((out[x] - white * (1.0f - a)) / a, 0.0f, 1.0f);
        }
      }
    }
    sink.TakeBand(band);
  }
}

}  // namespace plymark
