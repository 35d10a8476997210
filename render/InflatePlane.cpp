#include "render/InflatePlane.h"

#include <limits>
#include <vector>

#include <zlib.h>

namespace plymark {
namespace {

void UndoByteDeltas(std::uint8_t* row, std::size_t count) {
  for (std::size_t x = 1; x < count; ++x) row[x] = static_cast<std::uint8_t>(row[x] + row[x - 1]);
}

void UndoSampleDeltas16(std::uint8_t* row, std::size_t width) {
  std::uint16_t previous = static_cast<std::uint16_t>((row[0] << 8) | row[1]);
  for (std::size_t x = 1; x < width; ++x) {
    std::uint8_t* sample = row + 2 * x;
    previous = static_cast<std::uint16_t>(previous + ((sample[0] << 8) | sample[1]));
    sample[0] = static_cast<std::uint8_t>(previous >> 8);
    sample[1] = static_cast<std::uint8_t>(previous);
  }
}

// The row's bytes are four planes of `width` bytes: every sample's first byte,
// then every sample's second byte, and so on. Puts each sample's bytes back
// side by side.
void InterleaveBytePlanes(std::uint8_t* row, std::size_t width, std::vector<std::uint8_t>& planes) {
  planes.assign(row, row + 4 * width);
  for (std::size_t x = 0; x < width; ++x) {
    for (std::size_t b = 0; b < 4; ++b) row[4 * x + b] = planes[b * width + x];
  }
}

}  // namespace

bool InflatePlane(std::span<const std::uint8_t> stream, std::span<std::uint8_t> plane) {
  constexpr std::size_t kLargestChunk = std::numeric_limits<uInt>::max();
  if (stream.size() > kLargestChunk || plane.size() > kLargestChunk) return false;
  z_stream inflater{};
  if (inflateInit(&inflater) != Z_OK) return false;
  // zlib reads the input without writing to it.
  inflater.next_in = const_cast<Bytef*>(stream.data());
  inflater.avail_in = static_cast<uInt>(stream.size());
  inflater.next_out = plane.data();
  inflater.avail_out = static_cast<uInt>(plane.size());
  // One call with the whole output: Z_STREAM_END only when the stream ends
  // complete and valid; a longer stream stops with the plane full.
  const int result = inflate(&inflater, Z_FINISH);
  const bool filled = inflater.avail_out == 0;
  inflateEnd(&inflater);
  return result == Z_STREAM_END && filled;
}

void UndoPrediction(std::span<std::uint8_t> plane, std::size_t width, std::size_t height,
                    int bytesPerSample) {
  const std::size_t rowBytes = width * static_cast<std::size_t>(bytesPerSample);
  if (width == 0 || rowBytes == 0 || plane.size() < rowBytes * height) return;
  std::vector<std::uint8_t> planes;
  for (std::size_t y = 0; y < height; ++y) {
    std::uint8_t* row = plane.data() + y * rowBytes;
    switch (bytesPerSample) {
      case 1:
        UndoByteDeltas(row, width);
        break;
      case 2:
        UndoSampleDeltas16(row, width);
        break;
      case 4:
        UndoByteDeltas(row, rowBytes);
        InterleaveBytePlanes(row, width, planes);
        break;
      default:
        return;
    }
  }
}

}  // namespace plymark
