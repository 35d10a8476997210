#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "compose/ReducedRender.h"
#include "plymark/Image.h"
#include "render/MergedImage.h"

namespace plymark {
inline namespace v0 {

// The decoded merged image as an Argb32 picture, without a copy.
Image WordPicture(MergedImage merged);
Image WordPicture(SrgbPicture drawn);

// Turns an Argb32 picture into Rgba8 in place, its alpha from `alpha` (one
// byte per pixel, row-major) or 255 without it.
void WordsToRgba(Image& picture, const std::optional<std::vector<std::uint8_t>>& alpha);

// Turns an Argb32 picture into Rgba8 (`keepAlpha`) or Rgb8 in place.
void WordsToBytes(Image& picture, bool keepAlpha);

// A grey plane as a Gray8 or Gray16 picture, without a copy.
template <typename Sample>
Image GreyPicture(std::vector<Sample> plane, int width, int height);

}  // namespace v0
}  // namespace plymark
