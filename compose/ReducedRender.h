#pragma once

#include <cstdint>
#include <vector>

#include "compose/RenderDocument.h"
#include "compose/RenderedRows.h"
#include "psd/DocumentState.h"

namespace plymark {

// A picture in sRGB: words 0xAARRGGBB, not premultiplied, row-major.
struct SrgbPicture {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  bool HasAlpha = false;  ///< by the merged image's rule; alpha is 255 throughout otherwise
  std::vector<std::uint32_t> Pixels;
};

// Takes the drawn document band by band and keeps it reduced by a whole
// factor, the largest that leaves it at least `size` pixels on its longer
// side (1 for a document no larger): each pixel the mean of its block,
// weighted by coverage. Only the reduced picture and one row of sums are held.
class ReducedRender final : public RenderSink {
 public:
  ReducedRender(const DocumentState& state, int size);
  void TakeBand(const RenderedBand& band) override;
  // The picture, once every band has been taken.
  SrgbPicture TakePicture();

 private:
  void FinishRow();

  RenderedRows rows_;
  std::int32_t width_;
  std::int32_t height_;
  std::int32_t factor_;
  SrgbPicture picture_;
  std::vector<std::uint32_t> words_;
  std::vector<std::uint64_t> sums_;  ///< per reduced pixel: alpha x red, green, blue, and alpha
  std::int32_t sumRow_ = -1;         ///< the reduced row the sums belong to
};

}  // namespace plymark
