#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plymark {
inline namespace v0 {

// What the maker's settings blocks say of a layer and of a document: the
// facts of the export's layers.json. Every text is UTF-8; bytes that are no
// UTF-8 are each given as U+FFFD.

// An 8-bit colour, 0 to 255 a component.
struct Rgba8Color {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
  std::uint8_t Alpha = 255;
};

// One style run of a text layer's engine data. Start and length count UTF-16
// units of the text, as the engine data and JavaScript count; the last run
// ends where the text ends.
struct TextStyleRun {
  std::int64_t Start = 0;
  std::int64_t Length = 0;
  std::string Font;                 ///< the PostScript name; empty when not given
  std::optional<double> Size;       ///< points, before the layer's transform
  std::optional<Rgba8Color> Color;  ///< none when the run's colour is not RGB
};

// A text layer's text ('TySh'): paragraphs ended by carriage returns.
struct LayerTextContent {
  std::string Text;
  std::vector<TextStyleRun> Runs;  ///< empty when the engine data cannot be read
};

// The file a smart object layer shows ('SoLd', 'SoLE', 'PlLd').
struct SmartObjectInfo {
  std::string UniqueId;  ///< names one of the files the document's linked-file blocks list
  /// "embedded", "external" or "alias"; none when the document lists no file
  /// of UniqueId (and then none of the file's facts below)
  std::optional<std::string> LinkKind;
  std::optional<std::string> FileName;  ///< the original file's name
  /// Its four type characters without their padding; none for four zero bytes
  std::optional<std::string> FileType;
  bool Embedded = false;          ///< the document holds the file's bytes (Layer::EmbeddedFile)
  std::int64_t EmbeddedSize = 0;  ///< how many
};

// A settings block given as JSON text: an object is {"_class": ID, KEY:
// VALUE, ...} under the format's own keys (trailing spaces kept), a unit
// float {"unit", "value"}, an enumerated value {"type", "value"}, and so on,
// as the README's layers.json section describes.
struct SettingsJson {
  std::string Key;                  ///< the block's key: "lfx2", "levl", "SoCo", "vscg", ...
  std::optional<std::string> Json;  ///< none for the adjustments "curv" and "grdm"
};

// The resolution the document is printed at (image resource 1005).
struct PrintResolution {
  double Horizontal = 0;
  std::string HorizontalUnit;  ///< "pixelsPerInch", "pixelsPerCentimeter", else the stored code
  std::string WidthUnit;  ///< "inches", "centimeters", "points", "picas", "columns", else the code
  double Vertical = 0;
  std::string VerticalUnit;
  std::string HeightUnit;
};

}  // namespace v0
}  // namespace plymark
