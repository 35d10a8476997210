#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "compose/StoredRows.h"
#include "platform/FileSource.h"
#include "psd/PsdError.h"
#include "render/DecodePlane.h"
#include "render/DeepPlane.h"
#include "tests/support/PsdWriter.h"

namespace plymark {
namespace {

using test::Bytes;

// The same bytes, read through positioned reads as a file on disk is.
class DiskLikeFile final : public RandomAccessFile {
 public:
  explicit DiskLikeFile(Bytes bytes) : file_(std::move(bytes)) {}
  std::uint64_t Size() const override { return file_.Size(); }
  ReadResult ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const override {
    return file_.ReadAt(offset, into);
  }

 private:
  MemoryFile file_;
};

struct RowsCase {
  const char* Name;
  std::int16_t Compression;
  int BytesPerSample;
  std::int32_t Width;
  std::int32_t Height;
  Bytes Data;
};

// The plane decoders' answer: every sample of the plane, or none when they
// refuse the data.
std::optional<Bytes> WholePlane(const RowsCase& test, const ChannelBlock& block) {
  try {
    if (test.BytesPerSample == 1 && test.Compression < 2) {
      std::vector<PixelRecord> pixels(static_cast<std::size_t>(test.Width * test.Height));
      DecodePlane(block, test.Width, test.Height, pixels, Component::Red, {0, 0});
      Bytes plane;
      for (const PixelRecord& pixel : pixels) plane.push_back(static_cast<std::uint8_t>(pixel.Red));
      return plane;
    }
    Bytes scratch;
    const auto samples =
        StoredSamples(block, test.Width, test.Height, test.BytesPerSample, scratch, {0, 0});
    if (!samples) return std::nullopt;
    return Bytes(samples->begin(), samples->end());
  } catch (const PsdError&) {
    return std::nullopt;
  }
}

// The rows one after the other, or none when StoredRows refuses them.
std::optional<Bytes> RowByRow(const RowsCase& test, const FileView& file,
                              const ChannelBlock& block) {
  try {
    StoredRows rows(file, block, static_cast<std::size_t>(test.Width),
                    static_cast<std::size_t>(test.Height), test.BytesPerSample, {0, 0});
    RowScratch scratch;
    Bytes plane;
    const auto rowBytes = static_cast<std::size_t>(test.Width * test.BytesPerSample);
    for (std::int32_t y = 0; y < test.Height; ++y) {
      const std::uint8_t* row = rows.NextRow(scratch);
      plane.insert(plane.end(), row, row + rowBytes);
      // A ZIP stream given back between rows is opened again where it was.
      if (y == 1) rows.CloseStream();
    }
    return plane;
  } catch (const PsdError&) {
    return std::nullopt;
  }
}

class StoredRowsCases : public testing::TestWithParam<RowsCase> {};

TEST_P(StoredRowsCases, AgreeWithThePlaneDecoders) {
  const RowsCase& test = GetParam();
  Bytes bytes(7 + test.Data.size(), 0xee);  // the channel data lies behind other bytes
  std::copy(test.Data.begin(), test.Data.end(), bytes.begin() + 7);
  ChannelBlock block;
  block.Compression = test.Compression;
  block.DataOffset = 7;
  block.DataLength = static_cast<std::int64_t>(test.Data.size());
  block.Data = std::span<const std::uint8_t>(bytes).subspan(7);
  const std::optional<Bytes> expected = WholePlane(test, block);
  EXPECT_EQ(RowByRow(test, FileView(bytes), block), expected) << "in memory";
  const FileView onDisk(std::make_shared<DiskLikeFile>(bytes));
  EXPECT_EQ(RowByRow(test, onDisk, block), expected) << "read from the file";
}

Bytes Ramp(std::size_t count, int step) {
  Bytes ramp;
  for (std::size_t k = 0; k < count; ++k) ramp.push_back(static_cast<std::uint8_t>(k * step));
  return ramp;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, StoredRowsCases,
    testing::Values(
        RowsCase{"Raw", 0, 1, 4, 3, Ramp(12, 9)}, RowsCase{"RawShort", 0, 1, 4, 3, Ramp(11, 9)},
        RowsCase{"RunLength", 1, 1, 4, 3,
                 test::PackBitsPlane({{1, 1, 1, 1}, {1, 2, 3, 4}, {5, 5, 6, 6}})},
        // Row 0 states 2 bytes, but its repeat of six runs two pixels into row 1.
        RowsCase{"PacketAcrossRows", 1, 1, 4, 3, {0, 2, 0, 3, 0, 2, 0xfb, 7, 1, 8, 9, 0x01, 1, 2}},
        // Row 0 unpacks to three pixels: the output runs on, and the plane's end stays 0.
        RowsCase{"ShortRows", 1, 1, 4, 3, {0, 2, 0, 2, 0, 2, 0xfe, 4, 0xfe, 5, 0xff, 6}},
        RowsCase{"NoOperations", 1, 1, 4, 2, {0, 4, 0, 2, 0x80, 0xfd, 3, 0x80, 0xfd, 4}},
        RowsCase{"EndsInsideARow", 1, 1, 4, 2, {0, 2, 0, 9, 0xfd, 3, 0x03, 1}},
        RowsCase{"TooManyPixels", 1, 1, 4, 1, {0, 4, 0xfb, 3, 0xfe, 1}},
        RowsCase{"SignedCount", 1, 1, 4, 1, {0x80, 0x00, 0xfd, 3}},
        RowsCase{"CountsMissing", 1, 1, 4, 3, {0, 2, 0}},
        RowsCase{"RunLength16", 1, 2, 2, 2, test::PackBitsPlane({{0, 1, 0, 2}, {0xff, 0, 7, 7}})},
        RowsCase{"Zip", 2, 1, 5, 4, test::ZipPlane(Ramp(20, 13))},
        RowsCase{"ZipPredicted", 3, 1, 5, 4, test::PredictedZipPlane(Ramp(20, 13), 5, 4, 1)},
        RowsCase{"ZipPredicted16", 3, 2, 3, 3, test::PredictedZipPlane(Ramp(18, 31), 3, 3, 2)},
        RowsCase{"ZipPredicted32", 3, 4, 2, 3,
                 test::PredictedZipPlane(test::Samples32({0.5f, -1.0f, 2.0f, 0.25f, 0.0f, 1.0f}), 2,
                                         3, 4)},
        RowsCase{"ZipTooShort", 2, 1, 5, 4, test::ZipPlane(Ramp(19, 13))},
        RowsCase{"ZipTooLong", 2, 1, 5, 4, test::ZipPlane(Ramp(21, 13))},
        RowsCase{"ZipDamaged", 2, 1, 5, 4, Bytes(12, 0x55)}),
    [](const testing::TestParamInfo<RowsCase>& param) { return std::string(param.param.Name); });

}  // namespace
}  // namespace plymark
