#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "psd/DocumentState.h"
#include "psd/ImageResources.h"

namespace plymark {

// The merged (flattened) image of the image data section, as 8-bit RGBA.
struct MergedImage {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  bool HasAlpha = false;  ///< the file gives the merged image a transparency channel
  /// Width x Height words 0xAARRGGBB, row-major, top row first; alpha is 255
  /// throughout without transparency.
  std::vector<std::uint32_t> Pixels;
};

// What the header says about the merged image, with room for the 32-bit
// sizes of a PSB file.
struct MergedImageLayout {
  std::int16_t Version = 1;      ///< 1 PSD, 2 PSB
  std::int16_t Channels = 0;     ///< channels stored, from the header
  std::int32_t Width = 0;        ///< the header's Columns
  std::int32_t Height = 0;       ///< the header's Rows
  std::int16_t Depth = 8;        ///< 1, 8, 16 or 32
  std::int16_t ColorMode = 3;    ///< as stored in the header
  int TransparencyChannel = -1;  ///< from MergedTransparencyChannel; -1 for none
};

MergedImageLayout MergedLayoutOf(const FileHeader& header, int transparencyChannel);

// Which stored channel holds the merged image's transparency, or -1. There is
// one when the global tagged blocks hold "Mtrn", "Mt16" or "Mt32"
// (`hasTransparencyBlock`), or else when the header has more channels than
// the colour mode takes and the alpha identifiers (resource 1053) are missing
// or hold a 0. It is the extra channel whose identifier is 0 (the identifiers
// name the last extra channels), else the first extra channel.
int MergedTransparencyChannel(std::int16_t channels, std::int16_t colorMode,
                              const ImageResources& resources, bool hasTransparencyBlock);

// Whether the merged image is shown with transparency: it has a transparency
// channel among the stored ones, and colours that can be shown.
bool MergedImageHasAlpha(const MergedImageLayout& layout);

// Decodes the image data section: `section` holds its bytes from the 2-byte
// compression code on, as far as the file holds them (the section is the
// file's last, so a file cut short gives a shorter span), and starts at byte
// `sectionOffset` of the file. `colorTable` is an indexed document's colour
// table. A colour mode or depth that cannot be shown gives an opaque black
// picture. Damaged or short data, and a size the stored bytes could never
// fill, throw PsdError before the picture is allocated. The document's colour
// profile conversion, when given, turns the colours into sRGB as the layers'.
MergedImage DecodeMergedImage(std::span<const std::uint8_t> section, std::int64_t sectionOffset,
                              const MergedImageLayout& layout,
                              std::span<const std::uint8_t> colorTable,
                              const DocumentColour* conversion = nullptr);

// Row y of the picture as opaque words 0xffRRGGBB, for painting it as a layer
// tile is painted; `out` takes Width words.
void OpaqueRow(const MergedImage& image, std::int32_t y, std::span<std::uint32_t> out);

}  // namespace plymark
