#include <gtest/gtest.h>

#include "psd/PsdError.h"
#include "render/MergedImage.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;
using test::ByteWriter;

constexpr std::int64_t kOffset = 1000;  // where the section starts in the file

MergedImageLayout Layout(std::int16_t channels, std::int32_t width, std::int32_t height,
                         std::int16_t depth = 8, std::int16_t colorMode = 3, int transparency = -1,
                         std::int16_t version = 1) {
  return {version, channels, width, height, depth, colorMode, transparency};
}

// The image data section: the compression code, then the channels' stored
// rows (`planes`, channel after channel, `rowBytes` a row) in that code.
Bytes Section(std::int16_t compression, const std::vector<Bytes>& planes, std::size_t rowBytes,
              int bytesPerSample = 1, std::int16_t version = 1) {
  Bytes all;
  std::vector<Bytes> rows;
  for (const Bytes& plane : planes) {
    all.insert(all.end(), plane.begin(), plane.end());
    for (std::size_t at = 0; at < plane.size(); at += rowBytes) {
      rows.emplace_back(plane.begin() + static_cast<std::ptrdiff_t>(at),
                        plane.begin() + static_cast<std::ptrdiff_t>(at + rowBytes));
    }
  }
  ByteWriter out;
  out.I16(compression);
  if (compression == 0) return out.Append(all).Data();
  if (compression == 2) return out.Append(test::ZipPlane(all)).Data();
  if (compression == 3) {
    const std::size_t width = rowBytes / static_cast<std::size_t>(bytesPerSample);
    return out.Append(test::PredictedZipPlane(all, width, rows.size(), bytesPerSample)).Data();
  }
  // Every row's length first, then the packed rows: as one plane of all rows.
  const Bytes packed = test::PackBitsPlane(rows);
  if (version == 1) return out.Append(packed).Data();
  for (std::size_t r = 0; r < rows.size(); ++r) out.I32((packed[2 * r] << 8) | packed[2 * r + 1]);
  return out
      .Append(Bytes(packed.begin() + static_cast<std::ptrdiff_t>(2 * rows.size()), packed.end()))
      .Data();
}

MergedImage Decode(const Bytes& section, const MergedImageLayout& layout,
                   const Bytes& colorTable = {}) {
  return DecodeMergedImage(section, kOffset, layout, colorTable);
}

std::uint32_t Argb(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a = 255) {
  return a << 24 | r << 16 | g << 8 | b;
}

TEST(MergedImage, EveryCompressionAtEveryDepthGivesTheSamePicture) {
  // 3 x 2 RGB; each depth stores samples that scale to these 8-bit values.
  const std::vector<Bytes> values = {
      {0, 255, 188, 0, 0, 255}, {255, 0, 188, 0, 255, 0}, {0, 188, 255, 255, 0, 0}};
  const std::vector<std::uint32_t> expected = {Argb(0, 255, 0),     Argb(255, 0, 188),
                                               Argb(188, 188, 255), Argb(0, 0, 255),
                                               Argb(0, 255, 0),     Argb(255, 0, 0)};
  for (const std::int16_t depth : {std::int16_t{8}, std::int16_t{16}, std::int16_t{32}}) {
    std::vector<Bytes> planes;
    for (const Bytes& plane : values) {
      std::vector<std::uint16_t> deep;
      std::vector<float> floats;
      for (const std::uint8_t v : plane) {
        deep.push_back(static_cast<std::uint16_t>(v * 257));
        floats.push_back(v == 188 ? 0.5f : v / 255.0f);  // 0.5 is 188 after the sRGB curve
      }
      planes.push_back(depth == 8    ? plane
                       : depth == 16 ? test::Samples16(deep)
                                     : test::Samples32(floats));
    }
    const int bytes = depth / 8;
    for (const int code : {0, 1, 2, 3}) {
      const auto compression = static_cast<std::int16_t>(code);
      for (const int stored : {1, 2}) {
        const auto version = static_cast<std::int16_t>(stored);
        const Bytes section =
            Section(compression, planes, 3 * static_cast<std::size_t>(bytes), bytes, version);
        const MergedImage image = Decode(section, Layout(3, 3, 2, depth, 3, -1, version));
        EXPECT_FALSE(image.HasAlpha);
        EXPECT_EQ(image.Pixels, expected)
            << "depth " << depth << " compression " << compression << " version " << version;
      }
    }
  }
}

TEST(MergedImage, BitmapBitsAreMostSignificantFirstAndSetBitsAreBlack) {
  // 10 x 1: two bytes a row; the last 6 bits are padding.
  const std::uint32_t k = Argb(0, 0, 0), w = Argb(255, 255, 255);
  for (const std::int16_t compression : {std::int16_t{0}, std::int16_t{1}, std::int16_t{2}}) {
    const MergedImage image =
        Decode(Section(compression, {{0b10110000, 0b01111111}}, 2), Layout(1, 10, 1, 1, 0));
    EXPECT_EQ(image.Pixels, (std::vector<std::uint32_t>{k, w, k, k, w, w, w, w, w, k}))
        << "compression " << compression;
  }
}

TEST(MergedImage, ColourModesGoThroughTheLayersColourPaths) {
  Bytes table(768, 0);
  table[5] = 10, table[256 + 5] = 20, table[512 + 5] = 30;
  const struct {
    const char* mode;
    std::int16_t colorMode;
    std::vector<Bytes> planes;
    std::uint32_t expected;
  } cases[] = {
      {"grayscale", 1, {{77}}, Argb(77, 77, 77)},
      {"indexed", 2, {{5}}, Argb(10, 20, 30)},
      {"CMYK: inks inverted, scaled by black", 4, {{255}, {0}, {128}, {128}}, Argb(128, 0, 64)},
      {"Lab white", 9, {{255}, {128}, {128}}, Argb(255, 255, 255)},
      {"multichannel with two channels", 7, {{9}, {8}}, Argb(9, 8, 0)},
  };
  for (const auto& c : cases) {
    const auto channels = static_cast<std::int16_t>(c.planes.size());
    const MergedImage image =
        Decode(Section(1, c.planes, 1), Layout(channels, 1, 1, 8, c.colorMode), table);
    EXPECT_EQ(image.Pixels, std::vector<std::uint32_t>{c.expected}) << c.mode;
  }
}

TEST(MergedImage, TransparencyChannelRule) {
  const auto ids = [](std::vector<std::int32_t> identifiers) {
    ImageResources resources;
    resources.AlphaIdentifiers = std::move(identifiers);
    return resources;
  };
  const struct {
    const char* what;
    std::int16_t channels;
    std::int16_t colorMode;
    ImageResources resources;
    bool block;
    int expected;
  } cases[] = {
      {"RGB with an extra channel, no identifiers", 4, 3, {}, false, 3},
      {"identifier 0", 4, 3, ids({0}), false, 3},
      {"identifier 0 on the second extra channel", 5, 3, ids({7, 0}), false, 4},
      {"identifiers without 0: saved selections", 4, 3, ids({7}), false, -1},
      {"Mtrn with identifiers without 0", 5, 3, ids({7, 8}), true, 3},
      {"no extra channel, even with Mtrn", 3, 3, {}, true, -1},
      {"CMYK", 5, 4, {}, false, 4},
      {"multichannel: every channel is an ink", 4, 7, {}, true, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MergedTransparencyChannel(c.channels, c.colorMode, c.resources, c.block), c.expected)
        << c.what;
  }
}

TEST(MergedImage, TransparentColoursAreUnblendedFromWhite) {
  // (stored red, alpha) -> red: alpha 0 and 255 keep the stored value.
  const Bytes red = {100, 100, 200, 10, 255, 254};
  const Bytes alpha = {0, 255, 128, 128, 1, 1};
  const Bytes zero(red.size(), 0);
  const MergedImage image =
      Decode(Section(0, {red, zero, zero, alpha}, red.size()), Layout(4, 6, 1, 8, 3, 3));
  EXPECT_TRUE(image.HasAlpha);
  const std::vector<std::uint32_t> expected = {Argb(100, 0, 0, 0),   Argb(100, 0, 0, 255),
                                               Argb(145, 0, 0, 128), Argb(0, 0, 0, 128),
                                               Argb(255, 0, 0, 1),   Argb(0, 0, 0, 1)};
  EXPECT_EQ(image.Pixels, expected);
  std::vector<std::uint32_t> opaque(6);
  OpaqueRow(image, 0, opaque);
  EXPECT_EQ(opaque[0], Argb(100, 0, 0));
}

TEST(MergedImage, SixteenBitColoursAreUnblendedWithTheSixteenBitAlpha) {
  // Red 0.5 at alpha 300 (1 at 8 bits) and 0.25 at alpha 40000, stored
  // blended over white: stored = red x alpha + 65535 - alpha.
  const std::vector<std::uint16_t> red = {65385, 35535}, alpha = {300, 40000}, zero = {0, 0};
  const MergedImage image = Decode(Section(0,
                                           {test::Samples16(red), test::Samples16(zero),
                                            test::Samples16(zero), test::Samples16(alpha)},
                                           4),
                                   Layout(4, 2, 1, 16, 3, 3));
  ASSERT_TRUE(image.HasAlpha);
  EXPECT_NEAR((image.Pixels[0] >> 16) & 0xff, 128, 1);
  EXPECT_NEAR((image.Pixels[1] >> 16) & 0xff, 64, 1);
  EXPECT_EQ(image.Pixels[0] >> 24, 1u);
}

TEST(MergedImage, ThirtyTwoBitColoursAreUnblendedInLinearLight) {
  // Linear red 0.25 at alpha 0.5, stored blended over white: 0.625; through
  // the sRGB curve 0.25 is 137.
  const MergedImage image = Decode(Section(0,
                                           {test::Samples32({0.625f}), test::Samples32({0.5f}),
                                            test::Samples32({0.5f}), test::Samples32({0.5f})},
                                           4),
                                   Layout(4, 1, 1, 32, 3, 3));
  ASSERT_TRUE(image.HasAlpha);
  EXPECT_NEAR((image.Pixels[0] >> 16) & 0xff, 137, 1);
  EXPECT_EQ((image.Pixels[0] >> 8) & 0xff, 0u);
}

TEST(MergedImage, DamageIsReportedWithItsOffset) {
  // Channel 0's row unpacks to 1 byte, channel 1's to 3.
  const Bytes oneRow = ByteWriter().I16(1).I16(2).I16(2).U8(0).U8(5).U8(0xFE).U8(1).Data();
  const struct {
    const char* what;
    Bytes section;
    MergedImageLayout layout;
    std::int64_t offset;
    const char* message;
  } cases[] = {
      {"no compression code",
       {0},
       Layout(1, 1, 1),
       kOffset,
       "the file ends at byte 1001 while reading the compression code of the merged image"},
      {"unknown code", {0, 4}, Layout(1, 1, 1), kOffset, "which is not 0, 1, 2 or 3"},
      {"row lengths cut short", ByteWriter().I16(1).I16(2).I16(2).Data(), Layout(3, 3, 1),
       kOffset + 2, "while reading the merged image's row lengths"},
      {"version 2 row lengths cut short", ByteWriter().I16(1).I32(2).I16(0).Data(),
       Layout(1, 3, 2, 8, 1, -1, 2), kOffset + 2, "merged image's row lengths"},
      {"row length past the file's end", ByteWriter().I16(1).I16(2).I16(9).U8(0).U8(0).Data(),
       Layout(1, 1, 2, 8, 1), kOffset + 8,
       "the file ends at byte 1008 while reading the run-length data of row 1 of channel 0"},
      {"row unpacks short", oneRow, Layout(2, 3, 1, 8, 1), kOffset + 6,
       "run-length data of row 0 of channel 0 of the merged image at byte offset 1006 unpacks "
       "to 1 bytes instead of 3"},
      {"literal runs past its row", ByteWriter().I16(1).I16(2).U8(1).U8(7).U8(7).Data(),
       Layout(1, 2, 1, 8, 1), kOffset + 4, "runs past the row's stored length"},
      {"row unpacks long", ByteWriter().I16(1).I16(2).U8(0xFE).U8(7).Data(), Layout(1, 2, 1, 8, 1),
       kOffset + 4, "unpacks to more than the row's 2 bytes"},
      {"raw data cut short", ByteWriter().I16(0).Append(Bytes(7, 0)).Data(), Layout(3, 2, 2),
       kOffset + 8, "while reading the raw data of row 1 of channel 1 of the merged image"},
      {"ZIP data not inflating to the image",
       ByteWriter().I16(2).Append(test::ZipPlane({1, 2})).Data(), Layout(1, 3, 1, 8, 1),
       kOffset + 2, "is not a zlib stream of exactly 3 bytes"},
      {"more pixels than the stored bytes fill", ByteWriter().I16(1).Append(Bytes(64, 0)).Data(),
       Layout(3, 30000, 30000), kOffset, "more than its 64 stored bytes can fill"},
      {"wider than a PSB image",
       {0, 0},
       Layout(3, 300001, 1),
       kOffset,
       "more than the 300000 a side"},
  };
  for (const auto& c : cases) {
    try {
      Decode(c.section, c.layout);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const PsdError& error) {
      EXPECT_EQ(error.Offset(), c.offset) << c.what;
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << c.what << ": " << error.what();
    }
  }
}

TEST(MergedImage, TheFirstDamagedRowInFileOrderIsReportedOnTwoThreads) {
  // 1024 x 512 grey and an opaque transparency: large enough for two threads.
  // The transparency (channel 1) is damaged in row 0, the grey (channel 0) in
  // its last row; channel 0 comes first in the file.
  const std::size_t width = 1024, height = 512;
  Bytes plane(width * height);
  for (std::size_t k = 0; k < plane.size(); ++k) plane[k] = static_cast<std::uint8_t>(k * 7 / 5);
  Bytes section = Section(1, {plane, Bytes(plane.size(), 255)}, width);
  const MergedImage image = Decode(section, Layout(2, 1024, 512, 8, 1, 1));
  EXPECT_EQ(image.Pixels[width * height - 1], Argb(plane.back(), plane.back(), plane.back()));
  // A changed first packet header makes a row unpack to the wrong size.
  const auto rowStart = [&](std::size_t row) {
    std::size_t start = 2 + 2 * 2 * height;
    for (std::size_t r = 0; r < row; ++r) start += (section[2 + 2 * r] << 8) | section[3 + 2 * r];
    return start;
  };
  const std::size_t lastGrey = rowStart(height - 1);
  section[rowStart(height)] ^= 0x40;
  section[lastGrey] ^= 0x40;
  try {
    Decode(section, Layout(2, 1024, 512, 8, 1, 1));
    ADD_FAILURE() << "no error";
  } catch (const PsdError& error) {
    EXPECT_NE(std::string(error.what()).find("row 511 of channel 0"), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace plymark
