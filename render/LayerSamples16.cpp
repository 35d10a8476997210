#include "render/LayerSamples16.h"

#include <array>
#include <vector>

#include "render/ChannelPlane.h"
#include "render/DecodePlane.h"
#include "render/DeepSamples.h"

namespace plymark {
namespace {

constexpr std::int16_t kTransparencyChannel = -1;

std::uint16_t Bits(std::int16_t value) {
  return static_cast<std::uint16_t>(value);
}

std::int16_t Widened(std::int16_t value) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(Bits(value) * 257u));
}

// The stored numbers of a mode without a 16-bit way of its own (Lab without
// a profile, anything but RGB and grey at 32 bits) go the 8-bit way and are
// widened after.
void ConvertNarrowed(ColourModel model, std::span<PixelRecord> pixels, std::span<PixelRecord> black,
                     std::span<const std::uint8_t> colorTable) {
  for (auto* plane : {&pixels, &black}) {
    for (PixelRecord& pixel : *plane) {
      pixel = {ComponentOf16BitSample(Bits(pixel.Red)), ComponentOf16BitSample(Bits(pixel.Green)),
               ComponentOf16BitSample(Bits(pixel.Blue))};
    }
  }
  ConvertToRgb(model, pixels, black, colorTable);
  for (PixelRecord& pixel : pixels) {
    pixel = {Widened(pixel.Red), Widened(pixel.Green), Widened(pixel.Blue)};
  }
}

// Turns 16-bit stored numbers (8-bit documents already widened) into sRGB
// red, green and blue without a profile, as ConvertToRgb does at 8 bits.
void ConvertStored16(ColourModel model, std::span<PixelRecord> pixels, std::span<PixelRecord> black,
                     std::span<const std::uint8_t> colorTable) {
  switch (model) {
    case ColourModel::Rgb:
    case ColourModel::Unshowable:
      return;
    case ColourModel::Gray:
      for (PixelRecord& pixel : pixels) pixel.Green = pixel.Blue = pixel.Red;
      return;
    case ColourModel::Cmyk:
      for (std::size_t k = 0; k < pixels.size(); ++k) {
        const std::uint32_t inverted = k < black.size() ? Bits(black[k].Red) : 0u;
        const auto scaled = [inverted](std::int16_t ink) {
          return static_cast<std::int16_t>(
              static_cast<std::uint16_t>((Bits(ink) * inverted + 32767u) / 65535u));
        };
        pixels[k] = {scaled(pixels[k].Red), scaled(pixels[k].Green), scaled(pixels[k].Blue)};
      }
      return;
    case ColourModel::Indexed:
    case ColourModel::Lab:
      ConvertNarrowed(model, pixels, black, colorTable);
      return;
  }
}

}  // namespace

void DecodeLayer16(DocumentState& state, int layer, const LayerSize& size,
                   const DocumentColour* conversion, std::span<std::uint16_t> rgba) {
  const std::size_t count =
      static_cast<std::size_t>(size.Width) * static_cast<std::size_t>(size.Height);
  if (count == 0) return;
  const ColourChannels colour = FindColourChannels(state, layer);
  const std::int16_t depth = state.Header.Depth;
  const bool showable = colour.Model != ColourModel::Unshowable && BytesPerSample(depth) != 0;
  std::vector<PixelRecord> pixels(count);
  if (showable) {
    LoadColourChannels(state, layer, colour);
    std::vector<PixelRecord> black(colour.Model == ColourModel::Cmyk ? count : 0);
    const std::array<Component, 3> targets = {Component::Red, Component::Green, Component::Blue};
    for (std::size_t plane = 0; plane < 4; ++plane) {
      const ChannelBlock* block = colour.Blocks[plane];
      if (block == nullptr || (plane == 3 && black.empty())) continue;
      DecodePlane(*block, size.Width, size.Height, plane == 3 ? black : pixels,
                  plane == 3 ? Component::Red : targets[plane],
                  PlaneName{layer, static_cast<int>(plane)}, depth, SampleScale::Whole16Bits);
    }
    if (conversion != nullptr && depth != 32) {
      conversion->Convert16(pixels, black);
    } else if (depth == 32 && colour.Model != ColourModel::Rgb &&
               colour.Model != ColourModel::Gray) {
      ConvertNarrowed(colour.Model, pixels, black, state.ColorTable);
    } else {
      if (depth == 8) {
        for (auto* plane : {&pixels, &black}) {
          for (PixelRecord& pixel : *plane) {
            pixel = {Widened(pixel.Red), Widened(pixel.Green), Widened(pixel.Blue)};
          }
        }
      }
      ConvertStored16(colour.Model, pixels, black, state.ColorTable);
    }
  }
  // A depth that cannot be shown decodes no transparency either.
  std::optional<std::vector<std::uint16_t>> alpha;
  if (BytesPerSample(depth) != 0) {
    alpha =
        ReadGreyChannel16(state, layer, kTransparencyChannel, size.Width, size.Height, "rectangle");
  }
  std::uint16_t* out = rgba.data();
  for (std::size_t k = 0; k < count; ++k, out += 4) {
    out[0] = Bits(pixels[k].Red);
    out[1] = Bits(pixels[k].Green);
    out[2] = Bits(pixels[k].Blue);
    out[3] = alpha ? (*alpha)[k] : std::uint16_t{65535};
  }
}

}  // namespace plymark
