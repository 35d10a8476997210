#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "psd/Descriptor.h"

namespace plymark {

// One style run of a text layer: a stretch of its text set in one font,
// size and colour.
struct TextRun {
  std::size_t Start = 0;       ///< in UTF-16 units of the text, as the engine data counts
  std::size_t Length = 0;      ///< in UTF-16 units
  std::string Font;            ///< the font's PostScript name ("ArialMT"); empty when not given
  std::optional<double> Size;  ///< in points, before the layer's transform
  /// The fill colour as the engine data stores it: alpha, red, green, blue,
  /// each 0 to 1; missing when not an RGB colour.
  std::optional<std::array<double, 4>> Colour;
};

// What a text layer's 'TySh' block says.
struct LayerText {
  std::string Text;  ///< UTF-8, paragraphs ended by carriage returns
  std::vector<TextRun> Runs;
  std::string RunsProblem;  ///< why the engine data gave no runs; empty when it was read
  /// The text descriptor ('TxLr'); the bytes of its 'EngineData' item are let
  /// go once the runs are read.
  Descriptor Settings;
};

// Reads a 'TySh' block's data, which starts at `fileOffset` in the file: the
// versions and the transform, then the text descriptor. The text is its
// 'Txt ' item; the runs come from the engine data's style runs, each
// completed from the normal style sheet and its font taken from the font
// set, and end where the text ends. Throws PsdError when the block is
// damaged; damaged engine data costs only the runs (RunsProblem says why).
// The descriptor's values and the runs come out of `budget`.
LayerText ReadLayerText(std::span<const std::uint8_t> data, std::int64_t fileOffset,
                        const std::string& context, SettingsBudget& budget);
LayerText ReadLayerText(std::span<const std::uint8_t> data, std::int64_t fileOffset,
                        const std::string& context);

}  // namespace plymark
