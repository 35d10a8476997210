// libFuzzer target: DecodePlane alone. The first three input bytes choose the
// plane's width (1 to 64), height (1 to 64), and compression code (0 to 3, the
// byte's value modulo 4) with sample depth (8, 16, 32 by the byte's value / 4
// modulo 3) and run-length row counts of 4 bytes, as a PSB stores them, when
// the byte is 128 or more; the rest is the channel's stored data.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "psd/PsdError.h"
#include "render/DecodePlane.h"

namespace {

constexpr std::size_t kChoiceBytes = 3;
constexpr std::int32_t kLargestSide = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kChoiceBytes) return 0;
  const std::int32_t width = 1 + data[0] % kLargestSide;
  const std::int32_t height = 1 + data[1] % kLargestSide;
  const auto compression = static_cast<std::int16_t>(data[2] % 4);
  constexpr std::array<std::int16_t, 3> kDepths = {8, 16, 32};
  const std::int16_t depth = kDepths[(data[2] / 4) % kDepths.size()];

  // The stored data in a buffer of exactly its size, so that reads past its
  // end are reported.
  const std::size_t dataSize = size - kChoiceBytes;
  auto stored = std::make_unique_for_overwrite<std::uint8_t[]>(dataSize);
  std::copy(data + kChoiceBytes, data + size, stored.get());

  plymark::ChannelBlock block;
  block.Compression = compression;
  block.Data = std::span<const std::uint8_t>(stored.get(), dataSize);
  block.DataOffset = 1000;
  block.DataLength = static_cast<std::int64_t>(dataSize);
  block.RowLengthBytes = data[2] >= 128 ? 4 : 2;

  std::vector<plymark::PixelRecord> pixels(static_cast<std::size_t>(width) *
                                           static_cast<std::size_t>(height));
  try {
    plymark::DecodePlane(block, width, height, pixels, plymark::Component::Green, {0, 1}, depth);
  } catch (const plymark::PsdError&) {
    // Damaged data is refused with an error; that is the expected way out.
  }
  return 0;
}
