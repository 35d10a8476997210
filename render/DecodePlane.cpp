#include "render/DecodePlane.h"

#include <string>

#include "psd/PsdError.h"
#include "render/DeepPlane.h"

namespace plymark {
namespace {

std::string Describe(PlaneName name, const char* what) {
  return std::string(what) + " of channel " + std::to_string(name.ChannelId) + " of layer " +
         std::to_string(name.Layer);
}

PsdError Damaged(const ChannelBlock& block, std::size_t index, PlaneName name, const char* what,
                 const std::string& problem) {
  return PsdError::Damaged(block.DataOffset + static_cast<std::int64_t>(index),
                           Describe(name, what), problem);
}

void DecodeRaw(const ChannelBlock& block, std::size_t pixelCount, PixelRecord* out,
               ComponentField field, PlaneName name) {
  if (block.Data.size() < pixelCount) {
    throw Damaged(block, 0, name, "raw data",
                  "holds " + std::to_string(block.Data.size()) + " bytes for " +
                      std::to_string(pixelCount) + " pixels");
  }
  const std::uint8_t* in = block.Data.data();
  for (std::size_t k = 0; k < pixelCount; ++k) out[k].*field = in[k];
}

void DecodeRunLength(const ChannelBlock& block, std::size_t rows, std::size_t pixelCount,
                     PixelRecord* out, ComponentField field, PlaneName name) {
  const std::uint8_t* data = block.Data.data();
  const std::size_t size = block.Data.size();
  const auto countBytes = static_cast<std::size_t>(block.RowLengthBytes);
  if (size / countBytes < rows) {
    throw Damaged(block, 0, name, "row lengths",
                  "need " + std::to_string(rows * countBytes) + " bytes, but the channel holds " +
                      std::to_string(size));
  }
  std::size_t p = rows * countBytes;  // read index: the first packet follows the row lengths
  std::size_t k = 0;                  // pixel cursor: runs on across rows
  for (std::size_t r = 0; r < rows; ++r) {
    const std::size_t rowLength = StoredRowLength(data, r, block.RowLengthBytes);
    // A PSD's two-byte counts are signed; a PSB's four-byte ones are not.
    if (countBytes == 2 && rowLength >= 32768) {
      throw Damaged(block, 2 * r, name, "row length",
                    "holds " + std::to_string(rowLength) + ", more than 32767");
    }
    // The row ends at the first packet boundary at or beyond its stored length.
    const std::size_t rowEnd = p + rowLength;
    while (p < rowEnd) {
      if (p >= size) {
        throw Damaged(block, p, name, "run-length data", "ends inside row " + std::to_string(r));
      }
      const std::size_t header = data[p++];
      if (header == 128) continue;  // no operation
      if (header < 128) {
        const std::size_t count = header + 1;
        if (size - p < count) {
          throw Damaged(block, p - 1, name, "run-length data", "ends inside a literal packet");
        }
        if (pixelCount - k < count) {
          throw Damaged(block, p - 1, name, "run-length data",
                        "decodes to more pixels than the layer has");
        }
        for (std::size_t c = 0; c < count; ++c) out[k + c].*field = data[p + c];
        p += count;
        k += count;
      } else {
        const std::size_t count = 257 - header;
        if (p >= size) {
          throw Damaged(block, p - 1, name, "run-length data", "ends inside a repeat packet");
        }
        if (pixelCount - k < count) {
          throw Damaged(block, p - 1, name, "run-length data",
                        "decodes to more pixels than the layer has");
        }
        const std::int16_t value = data[p++];
        for (std::size_t c = 0; c < count; ++c) out[k + c].*field = value;
        k += count;
      }
    }
  }
}

}  // namespace

ComponentField FieldOf(Component target) {
  switch (target) {
    case Component::Red:
      return &PixelRecord::Red;
    case Component::Green:
      return &PixelRecord::Green;
    case Component::Blue:
      break;
  }
  return &PixelRecord::Blue;
}

void DecodePlane(const ChannelBlock& block, std::int32_t tileWidth, std::int32_t tileHeight,
                 std::span<PixelRecord> pixels, Component target, PlaneName name,
                 std::int16_t depth, SampleScale scale) {
  if (tileWidth <= 0 || tileHeight <= 0 || pixels.empty()) return;
  // Wider samples and ZIP data go through a byte plane; 8-bit raw and
  // run-length data are decoded straight into the component below.
  if (depth != 8 ||
      (block.Compression != ChannelBlock::kRaw && block.Compression != ChannelBlock::kRunLength)) {
    DecodeDeepPlane(block, tileWidth, tileHeight, depth, pixels, target, name, scale);
    return;
  }
  const std::size_t pixelCount = pixels.size();
  PixelRecord* out = pixels.data();
  const ComponentField field = FieldOf(target);
  switch (block.Compression) {
    case ChannelBlock::kRaw:
      DecodeRaw(block, pixelCount, out, field, name);
      break;
    case ChannelBlock::kRunLength:
      DecodeRunLength(block, static_cast<std::size_t>(tileHeight), pixelCount, out, field, name);
      break;
    default:
      break;  // other codes leave the component as it is
  }
}

}  // namespace plymark
