#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "compose/BlendFormulas.h"
#include "psd/ColorModeCodes.h"

namespace plymark {
namespace {

// B(Cb, Cs) of one component, through the mode's function object.
float Separable(BlendMode mode, float cb, float cs) {
  return blend::VisitBlendMode(mode, [&](auto formula) {
    if constexpr (decltype(formula)::kSeparable) {
      return formula(cb, cs);
    } else {
      ADD_FAILURE() << KeyOfBlendMode(mode) << " is not separable";
      return 0.0f;
    }
  });
}

std::array<float, 3> NonSeparable(BlendMode mode, std::array<float, 3> cb,
                                  std::array<float, 3> cs) {
  std::array<float, 3> out{};
  blend::VisitBlendMode(mode, [&](auto formula) {
    if constexpr (!decltype(formula)::kSeparable) formula(cb.data(), cs.data(), out.data());
  });
  return out;
}

struct SeparableCase {
  BlendMode Mode;
  float Cb, Cs, Expected;
};

// The edges the issue and the maker's merged images fix.
TEST(BlendFormulas, SeparableModesOnTheirEdges) {
  constexpr float k100 = 100.0f / 255.0f;
  constexpr float k155 = 155.0f / 255.0f;
  const SeparableCase cases[] = {
      {BlendMode::Normal, 0.3f, 0.7f, 0.7f},
      {BlendMode::Dissolve, 0.3f, 0.7f, 0.7f},
      {BlendMode::Multiply, 0.5f, 0.5f, 0.25f},
      {BlendMode::Screen, 0.5f, 0.5f, 0.75f},
      {BlendMode::Darken, 0.3f, 0.7f, 0.3f},
      {BlendMode::Lighten, 0.3f, 0.7f, 0.7f},
      {BlendMode::ColorDodge, 0.0f, 1.0f, 0.0f},
      {BlendMode::ColorDodge, 0.5f, 1.0f, 1.0f},
      {BlendMode::ColorDodge, 0.25f, 0.5f, 0.5f},
      {BlendMode::ColorBurn, 1.0f, 0.0f, 1.0f},
      {BlendMode::ColorBurn, 0.5f, 0.0f, 0.0f},
      {BlendMode::ColorBurn, 0.75f, 0.5f, 0.5f},
      {BlendMode::HardLight, 0.5f, 0.25f, 0.25f},
      {BlendMode::HardLight, 0.5f, 1.0f, 1.0f},
      {BlendMode::Overlay, 0.25f, 0.5f, 0.25f},
      {BlendMode::Overlay, 0.75f, 0.5f, 0.75f},
      // D(0.1) by the polynomial is 0.296; the square root alone would give 0.316.
      {BlendMode::SoftLight, 0.1f, 1.0f, 0.296f},
      {BlendMode::SoftLight, 0.5f, 0.0f, 0.25f},
      {BlendMode::SoftLight, 0.64f, 1.0f, 0.8f},
      {BlendMode::Difference, 0.2f, 0.7f, 0.5f},
      {BlendMode::Exclusion, 0.5f, 0.5f, 0.5f},
      {BlendMode::LinearBurn, 0.25f, 0.5f, 0.0f},
      {BlendMode::LinearBurn, 0.75f, 0.5f, 0.25f},
      {BlendMode::LinearDodge, 0.75f, 0.5f, 1.0f},
      {BlendMode::LinearLight, 0.5f, 0.75f, 1.0f},
      {BlendMode::LinearLight, 0.5f, 0.25f, 0.0f},
      {BlendMode::LinearLight, 0.25f, 0.5f, 0.25f},
      {BlendMode::PinLight, 0.75f, 0.25f, 0.5f},
      {BlendMode::PinLight, 0.25f, 0.75f, 0.5f},
      {BlendMode::Subtract, 0.25f, 0.5f, 0.0f},
      {BlendMode::Divide, 0.0f, 0.0f, 0.0f},
      {BlendMode::Divide, 0.5f, 0.0f, 1.0f},
      {BlendMode::Divide, 0.25f, 0.5f, 0.5f},
      {BlendMode::VividLight, 1.0f, 0.0f, 0.0f},
      {BlendMode::VividLight, 0.0f, 1.0f, 1.0f},
      {BlendMode::VividLight, 0.5f, 0.25f, 0.0f},
      {BlendMode::VividLight, 0.25f, 0.5f, 0.25f},
      {BlendMode::VividLight, 0.25f, 0.75f, 0.5f},
      {BlendMode::HardMix, k100, k155, 0.0f},
      {BlendMode::HardMix, k155, k100, 1.0f},
      {BlendMode::HardMix, 0.5f, 0.6f, 1.0f},
      {BlendMode::HardMix, 0.3f, 0.6f, 0.0f},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(Separable(c.Mode, c.Cb, c.Cs), c.Expected, 1e-5f)
        << "'" << KeyOfBlendMode(c.Mode) << "' B(" << c.Cb << ", " << c.Cs << ")";
  }
}

struct NonSeparableCase {
  BlendMode Mode;
  std::array<float, 3> Cb, Cs, Expected;
};

TEST(BlendFormulas, NonSeparableModesKeepLuminanceAndClip) {
  const NonSeparableCase cases[] = {
      // Blue's luminance raised to red's: blue passes 1 and is clipped back.
      {BlendMode::Luminosity, {0, 0, 1}, {1, 0, 0}, {0.21348f, 0.21348f, 1}},
      {BlendMode::Color, {0.5f, 0.5f, 0.5f}, {1, 0, 0}, {1, 0.285714f, 0.285714f}},
      {BlendMode::Color, {0.05f, 0.05f, 0.05f}, {0, 0, 1}, {0, 0, 0.454545f}},
      {BlendMode::Hue, {0.2f, 0.4f, 0.6f}, {1, 0, 0}, {0.642f, 0.242f, 0.242f}},
      {BlendMode::Saturation, {0.2f, 0.4f, 0.6f}, {0.5f, 0.5f, 0.5f}, {0.362f, 0.362f, 0.362f}},
      {BlendMode::DarkerColor, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}},
      {BlendMode::LighterColor, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}},
  };
  for (const auto& c : cases) {
    const auto out = NonSeparable(c.Mode, c.Cb, c.Cs);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(out[i], c.Expected[i], 1e-5f) << "'" << KeyOfBlendMode(c.Mode) << "' " << i;
    }
  }
}

// Every mode stays in 0..1 for 0..1 and finite for 32-bit values above 1.
TEST(BlendFormulas, EveryModeStaysInRangeAndFinite) {
  const float values[] = {0.0f, 0.1f, 0.5f, 0.9f, 1.0f, 2.0f, 1e6f};
  for (int m = 0; m <= static_cast<int>(BlendMode::Luminosity); ++m) {
    const auto mode = static_cast<BlendMode>(m);
    for (float b : values) {
      for (float s : values) {
        const std::array<float, 3> cb{b, s, 0.5f};
        const std::array<float, 3> cs{s, 0.25f, b};
        std::array<float, 3> out{};
        blend::VisitBlendMode(mode, [&](auto formula) {
          if constexpr (decltype(formula)::kSeparable) {
            for (int i = 0; i < 3; ++i) out[i] = formula(cb[i], cs[i]);
          } else {
            formula(cb.data(), cs.data(), out.data());
          }
        });
        for (float v : out) {
          ASSERT_TRUE(std::isfinite(v)) << "'" << KeyOfBlendMode(mode) << "' " << b << " " << s;
          if (b <= 1.0f && s <= 1.0f) {
            EXPECT_GE(v, -1e-6f) << "'" << KeyOfBlendMode(mode) << "'";
            EXPECT_LE(v, 1.0f + 1e-6f) << "'" << KeyOfBlendMode(mode) << "'";
          }
        }
      }
    }
  }
}

TEST(BlendFormulas, ColourModeRules) {
  EXPECT_EQ(DrawnBlendMode(BlendMode::Hue, color_mode::kGrayscale), BlendMode::Normal);
  EXPECT_EQ(DrawnBlendMode(BlendMode::Luminosity, color_mode::kMultichannel), BlendMode::Normal);
  EXPECT_EQ(DrawnBlendMode(BlendMode::Multiply, color_mode::kGrayscale), BlendMode::Multiply);
  EXPECT_EQ(DrawnBlendMode(BlendMode::Hue, color_mode::kLab), BlendMode::Hue);
  EXPECT_EQ(DrawnBlendMode(BlendMode::Dissolve, color_mode::kRgb), BlendMode::Normal);
  EXPECT_EQ(CmykBlackOf(BlendMode::Color), CmykBlack::Backdrop);
  EXPECT_EQ(CmykBlackOf(BlendMode::Luminosity), CmykBlack::Source);
  EXPECT_EQ(CmykBlackOf(BlendMode::Screen), CmykBlack::Blended);
}

}  // namespace
}  // namespace plymark
