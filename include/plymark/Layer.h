#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plymark/Api.h"
#include "plymark/Image.h"
#include "plymark/Settings.h"

namespace plymark {
inline namespace v0 {

namespace detail {
struct DocumentData;
}
class Document;

// What a layer record is in the layer tree. In file order (bottom-most
// first) a group's bounding divider comes first, then its members, then the
// group's own record.
enum class RecordKind {
  Layer,     ///< a layer with pixels of its own
  Group,     ///< a group's own record (section divider setting 1 or 2)
  GroupEnd,  ///< the divider that bounds a group (setting 3)
};

// A rectangle of the document's pixel grid, edges as stored.
struct Rect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
};

// A layer's user mask as its mask data describes it.
struct MaskInfo {
  Rect Bounds;
  std::uint8_t DefaultColor = 0;  ///< the mask's value outside Bounds: 0 or 255
  /// bit 0 position relative to the layer, bit 1 disabled, bit 2 inverted,
  /// bit 3 rendered from other data
  std::uint8_t Flags = 0;
  bool HasPicture = false;  ///< MaskPixels gives a picture (mask-<i>.png of the export)
};

// One stored channel of a layer.
struct ChannelInfo {
  std::int16_t Id = 0;           ///< 0, 1, 2... colour; -1 transparency; -2, -3 masks
  std::int16_t Compression = 0;  ///< 0 raw, 1 run-length, 2 ZIP, 3 ZIP with prediction
  std::int64_t Length = 0;       ///< stored bytes, the 2-byte compression code included
};

// Which colours a layer's pixels are given in.
enum class Colours {
  /// sRGB, through the document's colour profile, as plymark-export writes them
  Srgb,
  /// The stored numbers as red, green and blue, with no profile applied: the
  /// colours of a document without one (grey in all three, indexed through its
  /// colour table, CMYK through the ink formula)
  Stored,
};

// One layer record of an open document: a handle that keeps the document
// alive. Its facts are those of the export's layers.json; its pixels are
// decoded from the file each time they are asked for.
class PLYMARK_API Layer {
 public:
  Document Owner() const;    ///< the document the layer belongs to
  int Index() const;         ///< the record's place in file order, from 0 (bottom-most)
  std::string Name() const;  ///< UTF-8; may be empty
  RecordKind Kind() const;
  int Parent() const;                  ///< the enclosing group's record, or -1 at the top level
  bool Visible() const;                ///< flags bit 1 clear
  int Opacity() const;                 ///< 0 transparent to 255 opaque
  std::string BlendKey() const;        ///< four characters: "norm", "mul ", ...
  std::string BlendSignature() const;  ///< four characters, "8BIM"
  Rect Bounds() const;
  bool Clipping() const;  ///< clipped to the layer below
  std::optional<MaskInfo> Mask() const;
  std::vector<ChannelInfo> Channels() const;
  /// Why the layer has no pixels to give although its rectangle has some (a
  /// PSB layer wider or higher than 30000 pixels); none otherwise.
  std::optional<std::string> Skipped() const;

  // The layer's pixels at its bounds, Rgba8 (depth 8) or Rgba16 (depth 16):
  // its colours, and its transparency channel as alpha (opaque without one),
  // not premultiplied, the stored colours kept under transparent pixels. At
  // depth 8 and Colours::Srgb they are those of the export's layer-<i>.png. A
  // group's records and layers without pixels give an image without pixels.
  // Throws Error when the layer is damaged or skipped.
  Image Pixels(int depth = 8, Colours colours = Colours::Srgb) const;

  // The layer's transparency channel (-1) at its bounds, Gray8 or Gray16;
  // none when the layer has no such channel.
  std::optional<Image> Transparency(int depth = 8) const;

  // The user mask (channel -2) at its own bounds (Mask()->Bounds), Gray8 or
  // Gray16; none when the layer has no mask picture.
  std::optional<Image> MaskPixels(int depth = 8) const;

  // What the layer's settings blocks say, read once for the whole document
  // when first asked for; a damaged block costs only itself and is named in
  // BlockProblems.
  std::optional<std::int32_t> Id() const;  ///< 'lyid'
  std::optional<LayerTextContent> Text() const;
  std::optional<SmartObjectInfo> SmartObject() const;
  /// 'lmfx', else 'lfx2' or 'lfxs', else the older 'lrFX' (whose JSON is
  /// {"version", "effects": [...]})
  std::optional<SettingsJson> Effects() const;
  std::optional<SettingsJson> Adjustment() const;  ///< an adjustment layer's, under its kind's key
  /// A fill layer's ('SoCo', 'GdFl', 'PtFl'), or a shape's fill ('vscg')
  std::optional<SettingsJson> Fill() const;
  std::vector<std::string> BlockProblems() const;  ///< "KEY: what is wrong", one per damaged block

  // The bytes of the file an embedded smart object holds; none for a layer
  // without one. Throws Error when they cannot be read.
  std::optional<std::vector<std::uint8_t>> EmbeddedFile() const;
  // The same in pieces of at most 4 MiB, each handed to `take` in order;
  // false for a layer without an embedded file.
  bool ReadEmbeddedFile(
      const std::function<void(const std::uint8_t* bytes, std::size_t count)>& take) const;

 private:
  friend class Document;
  friend class LayerAccess;
  Layer(std::shared_ptr<detail::DocumentData> data, int index);

  std::shared_ptr<detail::DocumentData> data_;
  int index_ = 0;
};

}  // namespace v0
}  // namespace plymark
