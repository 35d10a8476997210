// The effects' filters work only around the columns that change: what they
// give must be what the plain filters give over the whole plane.

#include "compose/effects/ShapeFilters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace plymark {
namespace {

constexpr std::int32_t kSize = 96;

struct ShapeCase {
  const char* Name;
  float (*Alpha)(std::int32_t y, std::int32_t x);
};

class ShapeFilters : public testing::TestWithParam<ShapeCase> {
 protected:
  std::vector<float> Plane() const {
    std::vector<float> plane(kSize * kSize);
    for (std::int32_t y = 0; y < kSize; ++y) {
      for (std::int32_t x = 0; x < kSize; ++x) plane[y * kSize + x] = GetParam().Alpha(y, x);
    }
    return plane;
  }
  static PlaneView View(std::vector<float>& values) { return {values.data(), kSize, kSize, kSize}; }
};

TEST_P(ShapeFilters, BlurAsOverTheWholePlane) {
  std::vector<float> plane = Plane();
  std::vector<float> plain = plane;
  const BoxBlur blur = BlurOf(10.0f);
  // Three boxes across, then three down, 0 beyond the plane.
  std::vector<float> next(plain.size());
  for (int pass = 0; pass < 6; ++pass) {
    const std::int32_t half = blur.Widths[static_cast<std::size_t>(pass % 3)] / 2;
    for (std::int32_t y = 0; y < kSize; ++y) {
      for (std::int32_t x = 0; x < kSize; ++x) {
        float sum = 0.0f;
        for (std::int32_t k = -half; k <= half; ++k) {
          const std::int32_t yy = pass < 3 ? y : y + k;
          const std::int32_t xx = pass < 3 ? x + k : x;
          if (yy >= 0 && yy < kSize && xx >= 0 && xx < kSize) sum += plain[yy * kSize + xx];
        }
        next[y * kSize + x] = sum / static_cast<float>(2 * half + 1);
      }
    }
    plain.swap(next);
  }
  FilterScratch scratch;
  BlurPlane(View(plane), blur, scratch);
  for (std::int32_t y = blur.Radius; y < kSize - blur.Radius; ++y) {
    for (std::int32_t x = blur.Radius; x < kSize - blur.Radius; ++x) {
      ASSERT_NEAR(plane[y * kSize + x], plain[y * kSize + x], 1e-4f) << y << ", " << x;
    }
  }
}

TEST_P(ShapeFilters, DistanceAsOverTheWholePlane) {
  std::vector<float> plane = Plane();
  std::vector<float> distance(plane.size());
  constexpr float kLimit = 12.0f;
  FilterScratch scratch;
  SignedDistance(View(plane), View(distance), kLimit, true, true, scratch);
  for (std::int32_t y = 0; y < kSize; ++y) {
    for (std::int32_t x = 0; x < kSize; ++x) {
      // The nearest pixel on the other side of the edge, whose centre lies
      // half a pixel beyond it.
      const bool inside = plane[y * kSize + x] > 0.5f;
      float nearest = 1e9f;
      for (std::int32_t v = 0; v < kSize; ++v) {
        for (std::int32_t u = 0; u < kSize; ++u) {
          if ((plane[v * kSize + u] > 0.5f) == inside) continue;
          nearest =
              std::min(nearest, std::hypot(static_cast<float>(v - y), static_cast<float>(u - x)));
        }
      }
      const float expected = (inside ? -1.0f : 1.0f) * (nearest - 0.5f);
      const float got = distance[y * kSize + x];
      if (std::abs(expected) < kLimit) {
        ASSERT_NEAR(got, expected, 1e-4f) << y << ", " << x;
      } else {
        ASSERT_GE(std::abs(got), kLimit) << y << ", " << x;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ShapeFilters,
    testing::Values(
        ShapeCase{"Disc",
                  [](std::int32_t y, std::int32_t x) {
                    return (y - 48) * (y - 48) + (x - 50) * (x - 50) < 400 ? 1.0f : 0.0f;
                  }},
        ShapeCase{"RightHalf", [](std::int32_t, std::int32_t x) { return x >= 60 ? 1.0f : 0.0f; }},
        ShapeCase{"LeftHalf", [](std::int32_t, std::int32_t x) { return x < 60 ? 1.0f : 0.0f; }},
        ShapeCase{"TwoBars",
                  [](std::int32_t y, std::int32_t x) {
                    return (x >= 10 && x < 14) || (x >= 80 && y > 40) ? 1.0f : 0.0f;
                  }},
        ShapeCase{"Opaque", [](std::int32_t, std::int32_t) { return 1.0f; }}),
    [](const testing::TestParamInfo<ShapeCase>& shape) { return std::string(shape.param.Name); });

}  // namespace
}  // namespace plymark
