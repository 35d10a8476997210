// libplymark's public API, linked as programs link it: only include/plymark/.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "plymark/plymark.h"
#include "tests/support/PsdWriter.h"

namespace {

using plymark::test::Bytes;
using plymark::test::TestDocument;
using plymark::test::TestLayer;

std::vector<std::uint16_t> Samples(const plymark::Image& image) {
  std::vector<std::uint16_t> samples(image.Bytes().size() / 2);
  std::memcpy(samples.data(), image.Pixels.get(), samples.size() * 2);
  return samples;
}

// A 2 x 1 layer with raw planes, transparency first, each plane's two samples given.
TestLayer TwoPixels(const std::vector<Bytes>& planes) {
  TestLayer layer{0, 0, 1, 2, {}, "norm", {}};
  for (std::size_t k = 0; k < planes.size(); ++k) {
    layer.Channels.push_back({static_cast<std::int16_t>(static_cast<int>(k) - 1), 0, planes[k]});
  }
  return layer;
}

TEST(Library, EveryRecordKeepsTheFactsOfLayersJson) {
  TestDocument document;
  TestLayer divider = plymark::test::SolidLayer(0, 0, 0, 0, 0, 0, 0);
  divider.Extra = plymark::test::LayerExtra("</Layer group>", {}, plymark::test::SectionDivider(3));
  TestLayer member = plymark::test::SolidLayer(1, 2, 3, 4, 9, 9, 9);
  member.Extra = plymark::test::LayerExtra("Shape", plymark::test::UserMaskData(0, 0, 2, 3, 255));
  member.Channels.push_back({-2, 0, Bytes(6, 7)});
  member.Opacity = 128;
  member.Flags = 2;
  member.Clipping = 1;
  member.BlendKey = "mul ";
  TestLayer group = plymark::test::SolidLayer(0, 0, 0, 0, 0, 0, 0);
  group.Extra = plymark::test::LayerExtra("Group", {}, plymark::test::SectionDivider(1));
  document.Layers = {divider, member, group};
  const auto doc = plymark::Document::FromMemory(plymark::test::BuildPsd(document));

  EXPECT_EQ(doc.Summary()[5], "Layers  3");
  ASSERT_EQ(doc.LayerCount(), 3);
  const std::vector<plymark::Layer> layers = doc.Layers();
  EXPECT_EQ(layers[0].Kind(), plymark::RecordKind::GroupEnd);
  EXPECT_EQ(layers[2].Kind(), plymark::RecordKind::Group);
  EXPECT_EQ(layers[1].Parent(), 2);
  EXPECT_EQ(layers[2].Parent(), -1);
  const plymark::Layer& shape = layers[1];
  EXPECT_EQ(shape.Name(), "Shape");
  EXPECT_FALSE(shape.Visible());
  EXPECT_EQ(shape.Opacity(), 128);
  EXPECT_TRUE(shape.Clipping());
  EXPECT_EQ(shape.BlendKey(), "mul ");
  EXPECT_EQ(shape.Bounds().Right, 4);
  ASSERT_TRUE(shape.Mask());
  EXPECT_EQ(shape.Mask()->DefaultColor, 255);
  EXPECT_TRUE(shape.Mask()->HasPicture);
  EXPECT_EQ(shape.Channels().back().Id, -2);
  EXPECT_EQ(shape.MaskPixels()->Bytes()[5], 7);
  EXPECT_EQ(shape.MaskPixels(16)->Width, 3);
  EXPECT_EQ(layers[2].Pixels().Width, 0);  // a group's record has no pixels of its own
}

// Each layer's first pixel at 8 and 16 bits, through every kind of sample.
TEST(Library, PixelsAtBothDepths) {
  struct Case {
    const char* What;
    std::int16_t Depth;
    std::int16_t ColorMode;
    std::vector<Bytes> Planes;  ///< transparency, then colour
    std::vector<std::uint8_t> Rgba8;
    std::vector<std::uint16_t> Rgba16;
  };
  using plymark::test::Samples16;
  using plymark::test::Samples32;
  const Case cases[] = {
      {"RGB, 8 bits",
       8,
       3,
       {{0, 9}, {10, 1}, {20, 1}, {30, 1}},
       {10, 20, 30, 0},
       {2570, 5140, 7710, 0}},
      {"grey, 8 bits, no transparency",
       8,
       1,
       {{}, {77, 1}},
       {77, 77, 77, 255},
       {19789, 19789, 19789, 65535}},
      {"RGB, 16 bits",
       16,
       3,
       {Samples16({65535, 0}), Samples16({1000, 0}), Samples16({40000, 0}), Samples16({129, 0})},
       {4, 156, 1, 255},
       {1000, 40000, 129, 65535}},
      {"RGB, 32-bit floats in linear light",
       32,
       3,
       {Samples32({1, 0}), Samples32({0.5f, 0}), Samples32({0, 0}), Samples32({2, 0})},
       {188, 0, 255, 255},
       {48192, 0, 65535, 65535}},
  };
  for (const Case& c : cases) {
    TestDocument document;
    document.Depth = c.Depth;
    document.ColorMode = c.ColorMode;
    document.Channels = c.ColorMode == 1 ? 1 : 3;
    std::vector<Bytes> planes = c.Planes;
    TestLayer layer = TwoPixels(planes);
    if (planes[0].empty()) layer.Channels.erase(layer.Channels.begin());
    if (c.Depth != 8) document.LayerBlockKey = c.Depth == 16 ? "Lr16" : "Lr32";
    document.Layers = {layer};
    const auto doc = plymark::Document::FromMemory(plymark::test::BuildPsd(document));
    const plymark::Image narrow = doc.LayerAt(0).Pixels();
    ASSERT_EQ(narrow.Format, plymark::PixelFormat::Rgba8) << c.What;
    EXPECT_EQ(std::vector<std::uint8_t>(narrow.Pixels.get(), narrow.Pixels.get() + 4), c.Rgba8)
        << c.What;
    const std::vector<std::uint16_t> wide = Samples(doc.LayerAt(0).Pixels(16));
    EXPECT_EQ(std::vector<std::uint16_t>(wide.begin(), wide.begin() + 4), c.Rgba16) << c.What;
  }
}

// The receiver's pictures are the export's: the same as each layer read alone.
TEST(Library, AReceiverGetsEveryPaintedLayerWhileTheFileIsOpened) {
  struct Receiver final : plymark::LayerReceiver {
    void Sizing(const plymark::Layer& layer, int width, int height) override {
      sized.push_back(layer.Index() * 1000 + width * height);
    }
    void Painted(const plymark::Layer& layer, plymark::Image picture) override {
      alpha.push_back(layer.Transparency()->Bytes()[1]);
      pictures.push_back(std::move(picture));
    }
    std::vector<int> sized;
    std::vector<std::uint8_t> alpha;
    std::vector<plymark::Image> pictures;
  } receiver;
  TestDocument document;
  document.Layers = {TwoPixels({{0, 9}, {10, 1}, {20, 1}, {30, 1}}),
                     plymark::test::SolidLayer(0, 0, 2, 3, 4, 5, 6)};
  plymark::OpenOptions options;
  options.Layers = &receiver;
  const auto doc = plymark::Document::FromMemory(plymark::test::BuildPsd(document), options);
  EXPECT_EQ(receiver.sized, (std::vector<int>{2, 1006}));
  EXPECT_EQ(receiver.alpha, (std::vector<std::uint8_t>{9, 255}));
  ASSERT_EQ(receiver.pictures.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const plymark::Image& painted = receiver.pictures[static_cast<std::size_t>(i)];
    ASSERT_EQ(painted.Format, plymark::PixelFormat::Argb32);
    const plymark::Image alone = doc.LayerAt(i).Pixels();
    std::uint32_t word = 0;
    std::memcpy(&word, painted.Pixels.get(), 4);
    EXPECT_EQ(word & 0xffffffu,
              (alone.Bytes()[0] << 16) | (alone.Bytes()[1] << 8) | alone.Bytes()[2]);
  }
}

TEST(Library, TheMergedImageInBytesOrWords) {
  TestDocument document;
  const auto doc = plymark::Document::FromMemory(plymark::test::BuildPsd(document));
  const plymark::Composite bytes = doc.MergedImage();
  ASSERT_TRUE(bytes.Picture) << bytes.Problem;
  EXPECT_EQ(bytes.Picture->Format, plymark::PixelFormat::Rgb8);
  EXPECT_EQ(bytes.Picture->RowBytes, 12u);
  const plymark::Composite words = doc.MergedImage(plymark::CompositeLayout::Words);
  EXPECT_EQ(words.Picture->Format, plymark::PixelFormat::Argb32);
  EXPECT_EQ(words.Picture->Bytes()[3], 255);
}

// Takes the drawn rows into one buffer, or throws at a row.
class RowsKept final : public plymark::RowReceiver {
 public:
  explicit RowsKept(int throwAt = -1) : throwAt_(throwAt) {}
  void Start(int width, int, plymark::PixelFormat format) override {
    rowBytes = static_cast<std::size_t>(width) * plymark::BytesPerPixel(format);
  }
  std::uint8_t* Row(int y) override {
    if (y == throwAt_) throw std::logic_error("the receiver's own");
    bytes.resize(rowBytes * static_cast<std::size_t>(y + 1));
    return bytes.data() + rowBytes * static_cast<std::size_t>(y);
  }
  std::size_t rowBytes = 0;
  std::vector<std::uint8_t> bytes;

 private:
  int throwAt_;
};

// Whole, row by row, reduced, or after an Open of the merged image alone, the
// drawing is the same; a receiver's exception leaves Render as thrown.
TEST(Library, TheRenderWholeRowByRowOrReduced) {
  TestDocument document;
  document.Columns = 2;
  document.Rows = 1;
  document.Layers = {TwoPixels({{255, 128}, {10, 200}, {20, 100}, {30, 50}})};
  const Bytes file = plymark::test::BuildPsd(document);
  const auto doc = plymark::Document::FromMemory(file);
  const plymark::Drawing whole = doc.Render();
  ASSERT_EQ(whole.Picture.Format, plymark::PixelFormat::Rgb8);
  const std::vector<std::uint8_t> drawn(whole.Picture.Bytes().begin(), whole.Picture.Bytes().end());
  EXPECT_EQ(std::vector<std::uint8_t>(drawn.begin(), drawn.begin() + 3),
            (std::vector<std::uint8_t>{10, 20, 30}));
  RowsKept rows;
  EXPECT_EQ(doc.Render(rows).Omissions, whole.Omissions);
  EXPECT_EQ(rows.bytes, drawn);
  const plymark::Drawing words = doc.Render({plymark::CompositeLayout::Words, 0});
  EXPECT_EQ(words.Picture.Format, plymark::PixelFormat::Argb32);
  EXPECT_EQ(words.Picture.Bytes()[2], 10);  // 0xAARRGGBB, little-endian
  EXPECT_EQ(doc.Render({plymark::CompositeLayout::Bytes, 1}).Picture.Width, 1);
  plymark::OpenOptions mergedOnly;
  mergedOnly.Read = plymark::Reading::MergedImageOnly;
  const auto merged = plymark::Document::FromMemory(file, mergedOnly);
  const plymark::Drawing later = merged.Render();
  EXPECT_EQ(std::vector<std::uint8_t>(later.Picture.Bytes().begin(), later.Picture.Bytes().end()),
            drawn);
  EXPECT_EQ(merged.LayerCount(), 1);
  RowsKept failing(0);
  EXPECT_THROW(doc.Render(failing), std::logic_error);
}

// Layer records read after an Open of the merged image alone are those of a
// whole Open; damaged ones throw the whole Open's words, each time, and leave
// no layers.
TEST(Library, LayersReadAfterAnOpenOfTheMergedImageAlone) {
  TestDocument document;
  document.Layers = {TwoPixels({{255, 255}, {1, 2}, {3, 4}, {5, 6}})};
  const Bytes file = plymark::test::BuildPsd(document);
  plymark::OpenOptions mergedOnly;
  mergedOnly.Read = plymark::Reading::MergedImageOnly;
  const auto merged = plymark::Document::FromMemory(file, mergedOnly);
  merged.ReadLayers();
  ASSERT_EQ(merged.LayerCount(), 1);
  const plymark::Image later = merged.LayerAt(0).Pixels();
  const plymark::Image whole = plymark::Document::FromMemory(file).LayerAt(0).Pixels();
  EXPECT_TRUE(std::equal(later.Bytes().begin(), later.Bytes().end(), whole.Bytes().begin()));
  Bytes damaged = file;
  damaged[60] = 0x7F;  // the record's channel count
  std::string words;
  try {
    plymark::Document::FromMemory(damaged);
  } catch (const plymark::Error& error) {
    words = error.what();
  }
  ASSERT_FALSE(words.empty());
  const auto broken = plymark::Document::FromMemory(damaged, mergedOnly);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      broken.ReadLayers();
      ADD_FAILURE() << "damaged records were read";
    } catch (const plymark::Error& error) {
      EXPECT_EQ(error.what(), words);
    }
  }
  EXPECT_EQ(broken.LayerCount(), 0);
  EXPECT_TRUE(broken.MergedImage().Picture);
}

// Resource 1005's unit codes by name, unknown ones as their numbers.
TEST(Library, ResolutionUnitsByName) {
  struct Case {
    std::int16_t Resolution, Side;
    const char *ResolutionName, *SideName;
  };
  for (const Case& c : {Case{1, 1, "pixelsPerInch", "inches"},
                        Case{2, 5, "pixelsPerCentimeter", "columns"}, Case{7, 0, "7", "0"}}) {
    TestDocument document;
    document.ImageResources = plymark::test::ByteWriter()
                                  .Text("8BIM")
                                  .I16(1005)
                                  .I16(0)
                                  .I32(16)
                                  .I32(300 << 16)
                                  .I16(c.Resolution)
                                  .I16(c.Side)
                                  .I32(150 << 16)
                                  .I16(c.Resolution)
                                  .I16(c.Side)
                                  .Data();
    const auto resolution =
        plymark::Document::FromMemory(plymark::test::BuildPsd(document)).Resolution();
    ASSERT_TRUE(resolution);
    EXPECT_EQ(resolution->Horizontal, 300);
    EXPECT_EQ(resolution->Vertical, 150);
    EXPECT_EQ(resolution->HorizontalUnit, c.ResolutionName);
    EXPECT_EQ(resolution->HeightUnit, c.SideName);
  }
  EXPECT_FALSE(plymark::Document::FromMemory(plymark::test::BuildPsd({})).Resolution());
}

TEST(Library, FailuresCarryTheExportsWords) {
  Bytes shortFile = plymark::test::BuildHeader(TestDocument{});
  shortFile.push_back(0);
  try {
    plymark::Document::FromMemory(shortFile);
    FAIL() << "a file cut short opened";
  } catch (const plymark::Error& error) {
    EXPECT_STREQ(error.what(),
                 "the file ends at byte 27 while reading the colour-mode data length");
    EXPECT_EQ(error.Offset(), 26);
  }
  EXPECT_THROW(plymark::Document::Open("/nonexistent/a.psd"), plymark::Error);
  // For the merged image alone, damage behind the file's opening is the merged image's problem.
  plymark::OpenOptions mergedOnly;
  mergedOnly.Read = plymark::Reading::MergedImageOnly;
  const auto merged = plymark::Document::FromMemory(shortFile, mergedOnly);
  EXPECT_EQ(merged.MergedImage().Problem,
            "the file ends at byte 27 while reading the colour-mode data length");
  EXPECT_FALSE(merged.Thumbnail());
  TestDocument document;
  document.Layers = {TwoPixels({{0, 9}, {10, 1}, {20, 1}, {}})};  // blue plane cut short
  const auto doc = plymark::Document::FromMemory(plymark::test::BuildPsd(document));
  EXPECT_THROW(doc.LayerAt(0).Pixels(), plymark::Error);
  EXPECT_THROW(doc.LayerAt(0).Pixels(12), plymark::Error);
  EXPECT_THROW(doc.LayerAt(1), std::out_of_range);
}

}  // namespace
