#include "compose/RenderedRows.h"

#include <algorithm>

#include "render/DeepSamples.h"
#include "render/MergedImage.h"

namespace plymark {
namespace {

// NaN counts as 0, as it does for stored 32-bit samples.
float Clamped(float value) {
  return value > 0.0f ? std::min(value, 1.0f) : 0.0f;
}

std::uint8_t Byte(float value) {
  return static_cast<std::uint8_t>(Clamped(value) * 255.0f + 0.5f);
}

// The 16-bit sample a value stands for: the merged image's 16-bit samples
// are scaled from it exactly as from the stored ones.
std::uint16_t Sample16(float value) {
  return static_cast<std::uint16_t>(Clamped(value) * 65535.0f + 0.5f);
}

}  // namespace

RenderedRows::RenderedRows(const DocumentState& state)
    : colours_(StoredColoursOf(state.Header.ColorMode, state.Header.Depth, state.Colour.get(),
                               state.ColorTable)),
      depth_(state.Header.Depth) {
  const int transparency =
      MergedTransparencyChannel(state.Header.Channels, state.Header.ColorMode, state.Resources,
                                state.MergedTransparencyBlock);
  hasAlpha_ = MergedImageHasAlpha(MergedLayoutOf(state.Header, transparency));
  flattened_ = !hasAlpha_ && colours_.Model != ColourModel::Indexed;
  for (std::size_t p = 0; p < white_.size(); ++p) {
    white_[p] = colours_.Model == ColourModel::Lab && p > 0 ? 0.5f : 1.0f;
  }
}

void RenderedRows::Resize(std::size_t width) {
  if (words_.size() == width) return;
  for (auto& plane : planes_) plane.resize(width);
  for (auto& plane : wide_) plane.resize(depth_ == 16 ? width : 0);
  alpha_.resize(width);
  words_.resize(width);
}

void RenderedRows::Words(const RenderedBand& band, std::int32_t row, std::uint32_t* out) {
  const auto width = static_cast<std::size_t>(band.Width);
  Resize(width);
  const std::size_t start = static_cast<std::size_t>(row) * width;
  const float* alpha = band.Alpha != nullptr ? band.Alpha + start : nullptr;
  StoredRow stored;
  if (hasAlpha_) {
    for (std::size_t x = 0; x < width; ++x) {
      const float coverage = alpha != nullptr ? alpha[x] : 1.0f;
      alpha_[x] = depth_ == 16
                      ? static_cast<std::uint8_t>(ComponentOf16BitSample(Sample16(coverage)))
                      : Byte(coverage);
    }
    stored.Alpha = alpha_.data();
  }
  for (int plane = 0; plane < colours_.Planes; ++plane) {
    const auto p = static_cast<std::size_t>(plane);
    const float* colour =
        plane < band.ColourChannels && band.Colour[p] != nullptr ? band.Colour[p] + start : nullptr;
    std::uint8_t* narrow = planes_[p].data();
    std::uint16_t* wide = wide_[p].data();
    const float white = white_[p];
    for (std::size_t x = 0; x < width; ++x) {
      float value = colour != nullptr ? colour[x] : 0.0f;
      if (flattened_ && alpha != nullptr) {
        const float coverage = Clamped(alpha[x]);
        value = value * coverage + white * (1.0f - coverage);
      }
      switch (depth_) {
        case 16:
          if (colours_.Conversion != nullptr) {
            wide[x] = Sample16(value);
          } else {
            narrow[x] = static_cast<std::uint8_t>(ComponentOf16BitSample(Sample16(value)));
          }
          break;
        case 32:
          narrow[x] = static_cast<std::uint8_t>(ComponentOfFloatSample(value));
          break;
        default:
          narrow[x] = Byte(value);
          break;
      }
    }
    if (depth_ == 16 && colours_.Conversion != nullptr) {
      stored.Wide[p] = wide;
    } else {
      stored.Planes[p] = narrow;
    }
  }
  SrgbRow(colours_, stored, width, scratch_, out);
}

void RenderedRows::Bytes(const RenderedBand& band, std::int32_t row, std::uint8_t* out) {
  Resize(static_cast<std::size_t>(band.Width));
  Words(band, row, words_.data());
  if (hasAlpha_) {
    for (const std::uint32_t word : words_) {
      out[0] = static_cast<std::uint8_t>(word >> 16);
      out[1] = static_cast<std::uint8_t>(word >> 8);
      out[2] = static_cast<std::uint8_t>(word);
      out[3] = static_cast<std::uint8_t>(word >> 24);
      out += 4;
    }
    return;
  }
  for (const std::uint32_t word : words_) {
    out[0] = static_cast<std::uint8_t>(word >> 16);
    out[1] = static_cast<std::uint8_t>(word >> 8);
    out[2] = static_cast<std::uint8_t>(word);
    out += 3;
  }
}

}  // namespace plymark
