#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// What a record's tagged blocks say about how its layer is drawn. Blocks
// that are too short to say anything count as absent.
struct LayerBlockFacts {
  /// The blend key of the section divider block (`lsct`, `lsdk`) when it
  /// holds one: a group's real mode.
  std::optional<std::string> SectionBlendKey;
  std::uint8_t Fill = 255;              ///< `iOpa`: fill opacity
  bool ClippedAsGroup = true;           ///< `clbl`: blend clipped layers as a group
  bool Effects = false;                 ///< `lfx2`, `lmfx`, `lfxs` or `lrFX`
  bool UserMaskHidesEffects = false;    ///< `lmgm` not 0
  bool VectorMaskHidesEffects = false;  ///< `vmgm` not 0
  bool InteriorAsGroup = false;         ///< `infx`: blend interior effects as a group
  bool FillLayer = false;               ///< `SoCo`, `GdFl` or `PtFl`
  /// `vstk` with its stroke enabled: a shape's stroke, which the maker draws
  /// above the shape's clipped layers and without its fill opacity.
  bool ShapeStroke = false;
  const TaggedBlockRef* Adjustment = nullptr;  ///< the first adjustment layer block
  /// `CgEd`: brightness/contrast since CS3, beside a `brit` of zeros.
  const TaggedBlockRef* BrightnessDescriptor = nullptr;
};

// Reads the blocks of `record` through `file`.
LayerBlockFacts ReadLayerBlockFacts(const FileView& file, const LayerRecord& record);

// The bytes of `block`, as far as the file holds them.
std::vector<std::uint8_t> BlockBytes(const FileView& file, const TaggedBlockRef& block);

}  // namespace plymark
