#include "render/DeepSamples.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace plymark {
float FloatFromBigEndian(const std::uint8_t* bytes) {
  const std::uint32_t bits = (static_cast<std::uint32_t>(bytes[0]) << 24) |
                             (static_cast<std::uint32_t>(bytes[1]) << 16) |
                             (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[3];
  return std::bit_cast<float>(bits);
}

int BytesPerSample(std::int16_t depth) {
  switch (depth) {
    case 8:
      return 1;
    case 16:
      return 2;
    case 32:
      return 4;
    default:
      return 0;
  }
}

namespace {

// A float sample in linear light, clamped to 0..1, through the sRGB curve.
double EncodedFloatSample(float sample) {
  // NaN fails both comparisons and ends at 0.
  const double linear = sample > 0.0f ? std::min(static_cast<double>(sample), 1.0) : 0.0;
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

}  // namespace

std::int16_t ComponentOfFloatSample(float sample) {
  const double encoded = EncodedFloatSample(sample);
  return static_cast<std::int16_t>(std::clamp(std::floor(encoded * 255.0 + 0.5), 0.0, 255.0));
}

std::int16_t Component16OfFloatSample(float sample) {
  const double encoded = EncodedFloatSample(sample);
  return static_cast<std::int16_t>(
      static_cast<std::uint16_t>(std::clamp(std::floor(encoded * 65535.0 + 0.5), 0.0, 65535.0)));
}

void WriteSamples(std::span<const std::uint8_t> samples, int bytesPerSample,
                  std::span<PixelRecord> pixels, Component target, SampleScale scale) {
  if (bytesPerSample <= 0) return;
  const ComponentField field = FieldOf(target);
  const std::size_t step = static_cast<std::size_t>(bytesPerSample);
  const std::size_t count = std::min(samples.size() / step, pixels.size());
  const std::uint8_t* in = samples.data();
  PixelRecord* out = pixels.data();
  switch (bytesPerSample) {
    case 1:
      for (std::size_t k = 0; k < count; ++k) out[k].*field = in[k];
      break;
    case 2:
      if (scale == SampleScale::Whole16Bits) {
        for (std::size_t k = 0; k < count; ++k, in += 2) {
          out[k].*field =
              static_cast<std::int16_t>(static_cast<std::uint16_t>((in[0] << 8) | in[1]));
        }
        break;
      }
      for (std::size_t k = 0; k < count; ++k, in += 2) {
        out[k].*field = ComponentOf16BitSample(static_cast<std::uint16_t>((in[0] << 8) | in[1]));
      }
      break;
    case 4:
      if (scale == SampleScale::Whole16Bits) {
        for (std::size_t k = 0; k < count; ++k, in += 4) {
          out[k].*field = Component16OfFloatSample(FloatFromBigEndian(in));
        }
        break;
      }
      for (std::size_t k = 0; k < count; ++k, in += 4) {
        out[k].*field = ComponentOfFloatSample(FloatFromBigEndian(in));
      }
      break;
    default:
      break;
  }
}

}  // namespace plymark
