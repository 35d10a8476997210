#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "psd/DocumentState.h"
#include "render/ColourModes.h"

namespace plymark {

class DocumentColour;

// How a document's stored colours become sRGB: the merged image's and the
// drawn document's alike.
struct StoredColours {
  ColourModel Model = ColourModel::Unshowable;
  int Planes = 0;  ///< colour planes read: 0..2 into red, green, blue, 3 as CMYK's black
  /// The colour profile's conversion, when it is made for the document's
  /// depth; its rows then come in Wide (16 bits) or Planes (8 bits).
  const DocumentColour* Conversion = nullptr;
  std::span<const std::uint8_t> ColorTable;  ///< an indexed document's colour table
};

// The colours of a document of `colorMode` at `depth`: a bitmap document as
// grey (its bits unpacked to 0 and 255), every other mode as its layers are;
// nothing (Planes 0) for a mode or depth that cannot be shown. The profile's
// `conversion` is taken only when it is made for `depth`.
StoredColours StoredColoursOf(std::int16_t colorMode, std::int16_t depth,
                              const DocumentColour* conversion,
                              std::span<const std::uint8_t> colorTable);

// One row of stored colours, no longer blended with anything.
struct StoredRow {
  /// 8-bit samples per plane: 16-bit samples scaled with rounding, 32-bit
  /// ones through the sRGB curve; null beyond StoredColours::Planes.
  std::array<const std::uint8_t*, 4> Planes{};
  /// With a 16-bit profile, the whole 16-bit samples instead of Planes.
  std::array<const std::uint16_t*, 4> Wide{};
  const std::uint8_t* Alpha = nullptr;  ///< the words' alpha; null for opaque
};

// Buffers of one thread, kept from row to row.
struct SrgbScratch {
  std::vector<PixelRecord> Pixels;
  std::vector<PixelRecord> Black;
};

// The one place where stored colours become sRGB words 0xAARRGGBB, `width`
// of them into `out`. A mode that cannot be shown gives black.
void SrgbRow(const StoredColours& colours, const StoredRow& row, std::size_t width,
             SrgbScratch& scratch, std::uint32_t* out);

}  // namespace plymark
