#pragma once

#include <cstdint>
#include <span>

#include "psd/DocumentState.h"
#include "render/DecodePlane.h"

namespace plymark {

// Bytes of one channel sample at `depth` bits per channel: 1 at 8, 2 at 16,
// 4 at 32; 0 for a depth this program cannot show (1 and any other).
int BytesPerSample(std::int16_t depth);

// A 16-bit sample scaled to 0..255 with rounding.
constexpr std::int16_t ComponentOf16BitSample(std::uint16_t sample) {
  return static_cast<std::int16_t>((static_cast<std::uint32_t>(sample) * 255u + 32767u) / 65535u);
}

// The 32-bit float sample whose bytes are stored most significant first.
float FloatFromBigEndian(const std::uint8_t* bytes);

// A 32-bit float sample in linear light: clamped to 0..1 (NaN counts as 0),
// encoded with the sRGB transfer curve and scaled to 0..255 with rounding.
std::int16_t ComponentOfFloatSample(float sample);

// The same scaled to 0..65535, as the bits of an unsigned 16-bit value.
std::int16_t Component16OfFloatSample(float sample);

// Writes big-endian samples of `bytesPerSample` bytes (1, 2 or 4), one per
// pixel, into component `target` of the first samples.size() / bytesPerSample
// pixels; 16-bit samples as `scale` says.
void WriteSamples(std::span<const std::uint8_t> samples, int bytesPerSample,
                  std::span<PixelRecord> pixels, Component target,
                  SampleScale scale = SampleScale::To8Bits);

}  // namespace plymark
