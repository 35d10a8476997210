#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "psd/PsdError.h"
#include "render/DecodePlane.h"
#include "render/DeepSamples.h"
#include "render/InflatePlane.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;

constexpr std::int16_t kRaw = 0;
constexpr std::int16_t kRunLength = 1;
constexpr std::int16_t kZip = 2;
constexpr std::int16_t kZipPredicted = 3;

// The sRGB encoding written out independently of the decoder.
int ExpectedFromFloat(double linear) {
  if (!(linear > 0.0)) return 0;
  if (linear >= 1.0) return 255;
  const double encoded =
      linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<int>(std::floor(encoded * 255 + 0.5));
}

// Decodes `data` at `depth` into the red component of a fresh buffer.
std::vector<int> DecodeReds(std::int16_t compression, const Bytes& data, std::int32_t width,
                            std::int32_t height, std::int16_t depth) {
  std::vector<PixelRecord> pixels(static_cast<std::size_t>(width * height));
  DecodePlane({compression, data, 100}, width, height, pixels, Component::Red, {0, 0}, depth);
  std::vector<int> reds;
  for (const PixelRecord& pixel : pixels) {
    reds.push_back(pixel.Red);
    EXPECT_EQ(pixel.Green, 0);
  }
  return reds;
}

// A plane's bytes in each of the four codes.
Bytes Coded(std::int16_t compression, const Bytes& plane, std::size_t width, std::size_t height,
            int bytesPerSample) {
  switch (compression) {
    case kRunLength: {
      std::vector<Bytes> rows;
      const std::size_t rowBytes = width * static_cast<std::size_t>(bytesPerSample);
      for (std::size_t y = 0; y < height; ++y) {
        rows.emplace_back(plane.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
                          plane.begin() + static_cast<std::ptrdiff_t>((y + 1) * rowBytes));
      }
      return test::RunLengthPlane(rows);
    }
    case kZip:
      return test::ZipPlane(plane);
    case kZipPredicted:
      return test::PredictedZipPlane(plane, width, height, bytesPerSample);
    default:
      return plane;
  }
}

TEST(DeepSamples, SixteenBitSamplesScaleWithRounding) {
  EXPECT_EQ(ComponentOf16BitSample(0), 0);
  EXPECT_EQ(ComponentOf16BitSample(128), 0);  // 0.498 of a step rounds down
  EXPECT_EQ(ComponentOf16BitSample(129), 1);
  EXPECT_EQ(ComponentOf16BitSample(257), 1);
  EXPECT_EQ(ComponentOf16BitSample(32896), 128);
  EXPECT_EQ(ComponentOf16BitSample(65406), 254);
  EXPECT_EQ(ComponentOf16BitSample(65407), 255);
  EXPECT_EQ(ComponentOf16BitSample(65535), 255);
  for (int v = 0; v <= 65535; v += 97) {
    EXPECT_EQ(ComponentOf16BitSample(static_cast<std::uint16_t>(v)),
              static_cast<int>(std::lround(v * 255.0 / 65535.0)))
        << v;
  }
}

TEST(DeepSamples, FloatSamplesAreClampedAndSrgbEncoded) {
  EXPECT_EQ(ComponentOfFloatSample(0.0f), 0);
  EXPECT_EQ(ComponentOfFloatSample(1.0f), 255);
  EXPECT_EQ(ComponentOfFloatSample(0.5f), 188);   // sRGB 0.7354
  EXPECT_EQ(ComponentOfFloatSample(0.002f), 7);   // linear segment: 12.92 x 0.002
  EXPECT_EQ(ComponentOfFloatSample(0.18f), 118);  // middle grey
  EXPECT_EQ(ComponentOfFloatSample(-0.5f), 0);
  EXPECT_EQ(ComponentOfFloatSample(7.0f), 255);
  EXPECT_EQ(ComponentOfFloatSample(std::numeric_limits<float>::infinity()), 255);
  EXPECT_EQ(ComponentOfFloatSample(-std::numeric_limits<float>::infinity()), 0);
  EXPECT_EQ(ComponentOfFloatSample(std::numeric_limits<float>::quiet_NaN()), 0);
  for (int i = 0; i <= 1000; ++i) {
    const float v = static_cast<float>(i) / 1000.0f;
    EXPECT_EQ(ComponentOfFloatSample(v), ExpectedFromFloat(v)) << v;
  }
}

TEST(DeepSamples, OnlyEightSixteenAndThirtyTwoBitsHaveSamples) {
  EXPECT_EQ(BytesPerSample(8), 1);
  EXPECT_EQ(BytesPerSample(16), 2);
  EXPECT_EQ(BytesPerSample(32), 4);
  for (const int depth : {0, 1, 4, 24, -8})
    EXPECT_EQ(BytesPerSample(static_cast<std::int16_t>(depth)), 0);
}

TEST(InflatePlane, FillsThePlaneOnlyWhenTheStreamHasExactlyItsSize) {
  const Bytes plane = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Bytes stream = test::ZipPlane(plane);

  Bytes exact(9, 0);
  EXPECT_TRUE(InflatePlane(stream, exact));
  EXPECT_EQ(exact, plane);

  // A plane one byte smaller: refused, and the byte behind it is untouched.
  Bytes guarded(9, 0xEE);
  EXPECT_FALSE(InflatePlane(stream, std::span<std::uint8_t>(guarded).first(8)));
  EXPECT_EQ(guarded[8], 0xEE);

  Bytes larger(10, 0);
  EXPECT_FALSE(InflatePlane(stream, larger));
}

TEST(InflatePlane, DamagedStreamsAreRefused) {
  const Bytes stream = test::ZipPlane(Bytes(300, 42));
  Bytes plane(300, 0);
  EXPECT_FALSE(InflatePlane(Bytes{}, plane));
  EXPECT_FALSE(InflatePlane(Bytes{0x01, 0x02, 0x03, 0x04}, plane));
  // Cut short, with the last data but not the checksum.
  EXPECT_FALSE(InflatePlane(Bytes(stream.begin(), stream.end() - 4), plane));
  // A wrong checksum.
  Bytes wrongSum = stream;
  wrongSum.back() ^= 0x01;
  EXPECT_FALSE(InflatePlane(wrongSum, plane));
}

TEST(UndoPrediction, RowsStartAfreshAndDeltasWrapAtTheSampleWidth) {
  // 8 bits: byte deltas, modulo 256.
  Bytes eight = {250, 10, 1, 5, 0, 0xFF};
  UndoPrediction(eight, 3, 2, 1);
  EXPECT_EQ(eight, (Bytes{250, 4, 5, 5, 5, 4}));

  // 16 bits: the delta carries from the low byte into the high byte.
  Bytes sixteen = {0x00, 0xFF, 0x00, 0x01, 0xFF, 0xFF, 0x00, 0x02};
  UndoPrediction(sixteen, 2, 2, 2);
  EXPECT_EQ(sixteen, (Bytes{0x00, 0xFF, 0x01, 0x00, 0xFF, 0xFF, 0x00, 0x01}));

  // 32 bits: byte deltas across the row, then four byte planes put back together.
  // The row 10 20 .. 80 holds the planes 10 20 | 30 40 | 50 60 | 70 80.
  Bytes thirtyTwo(8, 0x10);
  UndoPrediction(thirtyTwo, 2, 1, 4);
  EXPECT_EQ(thirtyTwo, (Bytes{0x10, 0x30, 0x50, 0x70, 0x20, 0x40, 0x60, 0x80}));
}

// Every code at every depth decodes the same samples to the same components.
class DeepDepthAndCode : public testing::TestWithParam<std::tuple<int, std::int16_t>> {};

TEST_P(DeepDepthAndCode, DecodesToTheDepthsComponents) {
  const auto [depth, compression] = GetParam();
  constexpr std::size_t kWidth = 7;
  constexpr std::size_t kHeight = 3;
  std::vector<int> expected;
  Bytes plane;
  if (depth == 8) {
    for (std::size_t k = 0; k < kWidth * kHeight; ++k) {
      plane.push_back(static_cast<std::uint8_t>(k * 37 + 5));
      expected.push_back(plane.back());
    }
  } else if (depth == 16) {
    std::vector<std::uint16_t> samples;
    for (std::size_t k = 0; k < kWidth * kHeight; ++k) {
      samples.push_back(static_cast<std::uint16_t>(k * 3121 + 129));
      expected.push_back(static_cast<int>(std::lround(samples.back() * 255.0 / 65535.0)));
    }
    plane = test::Samples16(samples);
  } else {
    std::vector<float> samples;
    for (std::size_t k = 0; k < kWidth * kHeight; ++k) {
      samples.push_back(static_cast<float>(k) / 17.0f - 0.1f);  // -0.1 to 1.08
      expected.push_back(ExpectedFromFloat(samples.back()));
    }
    plane = test::Samples32(samples);
  }
  const Bytes data = Coded(compression, plane, kWidth, kHeight, depth / 8);
  EXPECT_EQ(DecodeReds(compression, data, kWidth, kHeight, static_cast<std::int16_t>(depth)),
            expected);
}

INSTANTIATE_TEST_SUITE_P(EveryDepthAndCode, DeepDepthAndCode,
                         testing::Combine(testing::Values(8, 16, 32),
                                          testing::Values(kRaw, kRunLength, kZip, kZipPredicted)));

TEST(DeepRunLength, ASixteenBitRowMayPackToMoreThan32767Bytes) {
  constexpr std::size_t kWidth = 20000;
  std::vector<std::uint16_t> samples;
  for (std::size_t x = 0; x < kWidth; ++x) samples.push_back(static_cast<std::uint16_t>(x * 3));
  const Bytes data = test::RunLengthPlane({test::Samples16(samples)});
  ASSERT_GT((data[0] << 8) | data[1], 32767);  // stored as an unsigned 16-bit length
  const std::vector<int> reds = DecodeReds(kRunLength, data, kWidth, 1, 16);
  for (std::size_t x = 0; x < kWidth; x += 1999) {
    EXPECT_EQ(reds[x], ComponentOf16BitSample(samples[x])) << x;
  }
  EXPECT_EQ(reds.back(), ComponentOf16BitSample(samples.back()));
}

TEST(DeepRunLength, RowLengthsOnlyStopRowsAndTheCursorRunsOnInBytes) {
  // Two 1-pixel rows at 16 bits. Row 0's length 1 is too small: its literal
  // packet of two bytes completes, and row 1 starts behind it. A repeat packet
  // of two bytes of 0xFF then gives the second sample.
  const Bytes data = {0x00, 0x01, 0x00, 0x02, 0x01, 0x80, 0x80, 0xFF, 0xFF};
  EXPECT_EQ(DecodeReds(kRunLength, data, 1, 2, 16), (std::vector<int>{128, 255}));
  // A row that unpacks to 3 bytes shifts what follows by a byte.
  const Bytes shifted = {0x00, 0x04, 0x00, 0x00, 0x02, 0xFF, 0xFF, 0x00, 0x80};
  EXPECT_EQ(DecodeReds(kRunLength, shifted, 1, 2, 16), (std::vector<int>{255, 0}));
}

TEST(DeepRunLength, DamagedDataIsAnErrorNeverAnOverrun) {
  EXPECT_THROW(DecodeReds(kRunLength, {0x00}, 1, 1, 16), PsdError);
  EXPECT_THROW(DecodeReds(kRunLength, {0x00, 0x03, 0x02, 0x01, 0x02}, 1, 1, 16), PsdError);
  // Three bytes into a plane of two.
  EXPECT_THROW(DecodeReds(kRunLength, {0x00, 0x02, 0xFE, 0x07}, 1, 1, 16), PsdError);
  EXPECT_THROW(DecodeReds(kRunLength, {0x00, 0x09, 0x00, 0x01}, 1, 1, 32), PsdError);
}

TEST(DeepPlane, RawDataMustHoldEverySampleInFull) {
  EXPECT_THROW(DecodeReds(kRaw, {0, 1, 2}, 2, 1, 16), PsdError);
  EXPECT_THROW(DecodeReds(kRaw, Bytes(7, 0), 2, 1, 32), PsdError);
  EXPECT_EQ(DecodeReds(kRaw, {0xFF, 0xFF, 0x00, 0x00, 0x12}, 2, 1, 16), (std::vector<int>{255, 0}));
}

TEST(DeepPlane, ZipThatDoesNotInflateToThePlaneLeavesTheComponentZero) {
  const Bytes samples = test::Samples16({65535, 65535, 65535});
  for (const std::int16_t code : {kZip, kZipPredicted}) {
    // Valid zlib, but one sample short or one sample long.
    const Bytes shortStream = test::ZipPlane(Bytes(samples.begin(), samples.end() - 2));
    EXPECT_EQ(DecodeReds(code, shortStream, 3, 1, 16), (std::vector<int>{0, 0, 0}));
    const Bytes longStream = test::ZipPlane(test::Samples16({65535, 65535, 65535, 65535}));
    EXPECT_EQ(DecodeReds(code, longStream, 3, 1, 16), (std::vector<int>{0, 0, 0}));
    // Not zlib at all.
    EXPECT_EQ(DecodeReds(code, {0x12, 0x34, 0x56}, 3, 1, 8), (std::vector<int>{0, 0, 0}));
  }
}

TEST(DeepPlane, DepthsThatCannotBeShownAndUnknownCodesLeaveTheComponent) {
  for (const int depth : {1, 24}) {
    for (const std::int16_t code : {kRaw, kRunLength, kZip}) {
      EXPECT_EQ(DecodeReds(code, Bytes(64, 0xFF), 2, 2, static_cast<std::int16_t>(depth)),
                (std::vector<int>{0, 0, 0, 0}));
    }
  }
  EXPECT_EQ(DecodeReds(4, test::Samples16({65535}), 1, 1, 16), (std::vector<int>{0}));
}

}  // namespace
}  // namespace plymark
