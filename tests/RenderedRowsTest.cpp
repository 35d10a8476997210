#include <gtest/gtest.h>

#include <vector>

#include "compose/ReducedRender.h"
#include "compose/RenderedRows.h"
#include "render/ColourManagement.h"
#include "render/MergedImage.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

// A band of one row: each plane's samples as stored at the document's depth,
// scaled to 0..1, with `alpha` (1 throughout when empty).
struct OneRow {
  std::vector<std::vector<float>> Planes;
  std::vector<float> Alpha;
  RenderedBand Band;

  OneRow(const std::vector<std::vector<std::uint16_t>>& samples, float top,
         std::vector<float> alpha = {}) {
    for (const auto& plane : samples) {
      Planes.emplace_back();
      for (const std::uint16_t s : plane) Planes.back().push_back(static_cast<float>(s) / top);
    }
    const auto width = static_cast<std::int32_t>(samples[0].size());
    Alpha = alpha.empty() ? std::vector<float>(samples[0].size(), 1.0f) : std::move(alpha);
    Band.Rows = 1;
    Band.Width = width;
    Band.ColourChannels = static_cast<int>(Planes.size());
    for (std::size_t c = 0; c < Planes.size(); ++c) Band.Colour[c] = Planes[c].data();
    Band.Alpha = Alpha.data();
  }
};

DocumentState Document(std::int16_t colorMode, std::int16_t depth, std::size_t channels,
                       std::size_t width) {
  DocumentState state;
  state.Header = {
      "8BPS", 1,        static_cast<std::int16_t>(channels), 1, static_cast<std::int32_t>(width),
      depth,  colorMode};
  // As an Open sets it up: a CMYK document without a profile goes through
  // the default press profile.
  state.Colour = SetUpDocumentColour(colorMode, depth, {}, false).Conversion;
  return state;
}

// The same samples stored as a raw merged image, decoded as composite.png is.
std::vector<std::uint32_t> MergedWords(const DocumentState& state,
                                       const std::vector<std::vector<std::uint16_t>>& samples) {
  test::ByteWriter section;
  section.I16(0);
  for (const auto& plane : samples) {
    if (state.Header.Depth == 16) {
      section.Append(test::Samples16(plane));
    } else {
      for (const std::uint16_t s : plane) section.U8(static_cast<std::uint8_t>(s));
    }
  }
  return DecodeMergedImage(section.Data(), 0, MergedLayoutOf(state.Header, -1), {},
                           state.Colour.get())
      .Pixels;
}

TEST(RenderedRows, DrawnColoursBecomeWhatTheMergedImageOfTheSameSamplesBecomes) {
  const struct {
    const char* What;
    std::int16_t ColorMode;
    std::int16_t Depth;
    std::vector<std::vector<std::uint16_t>> Samples;
  } cases[] = {
      {"grey, more than a vector's width",
       1,
       8,
       {{0, 77, 128, 255, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 254, 100, 200, 50}}},
      {"CMYK through the default press profile",
       4,
       8,
       {{255, 0, 40}, {0, 255, 90}, {128, 0, 200}, {255, 128, 10}}},
      {"Lab", 9, 8, {{255, 100, 30}, {128, 200, 60}, {128, 20, 180}}},
      {"RGB at 16 bits",
       3,
       16,
       {{0, 1000, 32768, 65535}, {65535, 257, 12345, 0}, {40000, 40001, 128, 65280}}},
  };
  for (const auto& c : cases) {
    const DocumentState state =
        Document(c.ColorMode, c.Depth, c.Samples.size(), c.Samples[0].size());
    const OneRow row(c.Samples, c.Depth == 16 ? 65535.0f : 255.0f);
    RenderedRows rows(state);
    EXPECT_FALSE(rows.HasAlpha()) << c.What;
    std::vector<std::uint32_t> words(c.Samples[0].size());
    rows.Words(row.Band, 0, words.data());
    EXPECT_EQ(words, MergedWords(state, c.Samples)) << c.What;
  }
}

TEST(RenderedRows, CoverageIsAlphaByTheMergedImagesRuleElseFlattenedOverWhite) {
  const struct {
    const char* What;
    std::int16_t ColorMode;
    std::size_t Channels;
    std::vector<std::vector<std::uint16_t>> Samples;
    std::vector<std::uint8_t> Expected;  ///< the first pixel's bytes
  } cases[] = {
      {"RGB without transparency: over white", 3, 3, {{0}, {0}, {255}}, {127, 127, 255}},
      {"RGB with a transparency channel: RGBA", 3, 4, {{0}, {0}, {255}}, {0, 0, 255, 128}},
      {"grey over white", 1, 1, {{0}}, {127, 127, 127}},
      // Full cyan ink, stored inverted as 0, half covered: half the ink.
      {"CMYK over no ink", 4, 4, {{0}, {255}, {255}, {255}}, {127, 255, 255}},
      // a and b are white at their middle: a half-covered neutral stays neutral.
      {"Lab", 9, 3, {{0}, {128}, {128}}, {118, 118, 118}},
  };
  for (const auto& c : cases) {
    DocumentState state = Document(c.ColorMode, 8, c.Channels, 1);
    state.Colour = nullptr;
    const OneRow row(c.Samples, 255.0f, {128.0f / 255.0f});
    RenderedRows rows(state);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(rows.Channels()));
    rows.Bytes(row.Band, 0, bytes.data());
    EXPECT_EQ(bytes, c.Expected) << c.What;
  }
}

// A 5 x 3 document with transparency kept for a thumbnail of 2: reduced by
// 2 into 3 x 2, each pixel its block's colour weighted by coverage, the
// blocks at the right and bottom edges smaller.
TEST(ReducedRender, EachPixelIsItsBlocksMeanWeightedByCoverage) {
  DocumentState state = Document(3, 8, 4, 5);
  state.Header.Rows = 3;
  state.Colour = nullptr;
  const std::vector<std::vector<std::uint16_t>> red = {
      {255, 0, 10, 10, 7}, {255, 0, 10, 10, 7}, {0, 0, 10, 10, 7}};
  const std::vector<float> alpha[] = {{1, 0, 1, 1, 1}, {0.5f, 0, 1, 1, 1}, {1, 1, 1, 1, 0}};
  ReducedRender reduced(state, 2);
  for (std::int32_t y = 0; y < 3; ++y) {
    OneRow row({red[static_cast<std::size_t>(y)], std::vector<std::uint16_t>(5, 0),
                std::vector<std::uint16_t>(5, 0)},
               255.0f, alpha[y]);
    row.Band.Top = y;
    reduced.TakeBand(row.Band);
  }
  const SrgbPicture picture = reduced.TakePicture();
  ASSERT_EQ(picture.Width, 3);
  ASSERT_EQ(picture.Height, 2);
  EXPECT_TRUE(picture.HasAlpha);
  // Red at coverage 1 and 0.5 in a block of four: red, alpha 96 of 255.
  EXPECT_EQ(picture.Pixels[0], 0x60ff0000u);
  EXPECT_EQ(picture.Pixels[1], 0xff0a0000u);
  EXPECT_EQ(picture.Pixels[2], 0xff070000u);
  EXPECT_EQ(picture.Pixels[5], 0u) << "no coverage at all";
}

}  // namespace
}  // namespace plymark
