#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "compose/RenderDocument.h"
#include "psd/DocumentState.h"
#include "render/SrgbRow.h"

namespace plymark {

// The drawn document's rows in 8-bit sRGB, converted exactly as the merged
// image is (profile, untagged, 32-bit curve), so that the two can be
// compared pixel for pixel. Whether they have alpha follows the merged
// image's rule; without it the drawn colours are flattened over white in the
// document's own space first (1 in every stored channel, CMYK's inks
// included, 0.5 for Lab's a and b). One object per thread.
class RenderedRows {
 public:
  explicit RenderedRows(const DocumentState& state);

  bool HasAlpha() const { return hasAlpha_; }
  int Channels() const { return hasAlpha_ ? 4 : 3; }

  // Row `row` of `band` as band.Width words 0xAARRGGBB (alpha 255 without
  // alpha).
  void Words(const RenderedBand& band, std::int32_t row, std::uint32_t* out);
  // The same as band.Width * Channels() bytes: RGB or RGBA.
  void Bytes(const RenderedBand& band, std::int32_t row, std::uint8_t* out);

 private:
  void Resize(std::size_t width);

  StoredColours colours_;
  std::int16_t depth_ = 8;
  bool hasAlpha_ = false;
  bool flattened_ = false;  ///< over white: no alpha, and colours that are no indices
  std::array<float, 4> white_{};
  std::array<std::vector<std::uint8_t>, 4> planes_;
  std::array<std::vector<std::uint16_t>, 4> wide_;
  std::vector<std::uint8_t> alpha_;
  std::vector<std::uint32_t> words_;
  std::vector<float> flat_;   ///< a plane flattened over white
  std::vector<float> zeros_;  ///< a plane the band does not have
  SrgbScratch scratch_;
};

}  // namespace plymark
