#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "psd/FieldReader.h"
#include "psd/ImageResources.h"

namespace plymark {

class DocumentColour;  // render/ColourManagement.h

// The fixed 26-byte header at the start of every PSD file.
struct FileHeader {
  std::string Signature;       ///< four characters, "8BPS" in a PSD file
  std::int16_t Version = 0;    ///< 1 for PSD, 2 for PSB (the large document format)
  std::int16_t Channels = 0;   ///< channels of the merged image
  std::int32_t Rows = 0;       ///< image height: 16 bits in a PSD, up to 300000 in a PSB
  std::int32_t Columns = 0;    ///< image width, as Rows
  std::int16_t Depth = 0;      ///< bits per channel
  std::int16_t ColorMode = 0;  ///< 1 grayscale, 2 indexed, 3 RGB, 4 CMYK, ...
};

struct ChannelInfoRecord {
  std::int16_t ChannelId = 0;      ///< 0, 1, 2... colour channels; -1 transparency; -2, -3 masks
  std::int64_t ChannelLength = 0;  ///< stored bytes, the 2-byte compression code included
};

// Where one tagged block's data lies in the file. The data is read when a
// reader wants it, through the document's FileView.
struct TaggedBlockRef {
  std::string Key;          ///< four characters: "lsct", "lfx2", "TySh", ...
  std::int64_t Offset = 0;  ///< byte offset of the data's first byte in the file
  std::int64_t Length = 0;  ///< the stored length, without padding
};

// A layer's user mask, from the layer mask data in the record's extra data;
// its pixels are the layer's channel -2.
struct LayerMask {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Bottom = 0;
  std::int32_t Right = 0;
  std::uint8_t DefaultColor = 0;  ///< the mask's value outside its rectangle: 0 or 255
  /// bit 0 position relative to layer, bit 1 disabled, bit 2 inverted
  /// (obsolete), bit 3 rendered from other data (a vector mask's raster), bit 4
  /// parameters follow
  std::uint8_t Flags = 0;
  /// The real user mask (channel -3) of a layer that has both a user mask and
  /// a vector mask: layer mask data of 36 bytes or more.
  struct RealUserMask {
    std::uint8_t Flags = 0;  ///< as Flags
    std::uint8_t DefaultColor = 0;
    std::int32_t Top = 0;
    std::int32_t Left = 0;
    std::int32_t Bottom = 0;
    std::int32_t Right = 0;
  };
  std::optional<RealUserMask> Real;
  // The mask parameters (flags bit 4): density 0..255 and feather in pixels.
  std::optional<std::uint8_t> UserMaskDensity;
  std::optional<double> UserMaskFeather;
  std::optional<std::uint8_t> VectorMaskDensity;
  std::optional<double> VectorMaskFeather;
};

struct LayerRecord {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Bottom = 0;
  std::int32_t Right = 0;
  std::int16_t ChannelCount = 0;  ///< absolute value of the stored count
  std::vector<ChannelInfoRecord> ChannelInfo;
  std::string BlendSignature;     ///< four characters, "8BIM"
  std::string BlendKey;           ///< four characters, "norm", "mul ", ...
  std::uint8_t Opacity = 255;     ///< 0 transparent to 255 opaque
  std::uint8_t Clipping = 0;      ///< 0 base, anything else clipped to the layer below
  std::uint8_t Flags = 0;         ///< bit 0 transparency protected, bit 1 hidden, ...
  std::uint8_t Filler = 0;        ///< as stored; the format says 0
  std::int32_t ExtraLength = 0;   ///< length of the extra data behind the record's fixed part
  std::int64_t RecordOffset = 0;  ///< byte offset of the record in the file, for messages
  std::string Name;               ///< the layer's name in UTF-8, from its extra data; may be empty
  std::optional<LayerMask> Mask;  ///< the user mask, when the extra data describes one
  /// The type of the record's section divider block (`lsct` or `lsdk`): 1 open
  /// group, 2 closed group, 3 the divider that bounds a group; 0 other or none.
  std::int32_t SectionDividerSetting = 0;
  /// The blending ranges as stored: composite grey source and destination
  /// ranges, then one pair per channel, four bytes each (black low and high,
  /// white low and high).
  std::vector<std::uint8_t> BlendingRanges;
  /// The tagged blocks of the extra data, in file order.
  std::vector<TaggedBlockRef> Blocks;
};

// What a record is in the layer tree.
enum class LayerKind { Layer, Group, GroupEnd };

// Where a record sits in the layer tree. In file order (bottom-most first) a
// group's bounding divider comes first, then its members, then the group's
// own record.
struct LayerPlace {
  LayerKind Kind = LayerKind::Layer;
  int Parent = -1;  ///< index of the enclosing group's record; -1 at the top level
};

// One stored channel of a layer: its compression code and the bytes behind it.
struct ChannelBlock {
  static constexpr std::int16_t kRaw = 0;
  static constexpr std::int16_t kRunLength = 1;  ///< PackBits, with a byte count per row
  static constexpr std::int16_t kZip = 2;
  static constexpr std::int16_t kZipPredicted = 3;

  std::int16_t Compression = kRaw;  ///< one of the codes above
  /// The stored bytes: a view of a file held in memory, or of the channel
  /// buffer once the block's layer has been read; empty before.
  std::span<const std::uint8_t> Data;
  std::int64_t DataOffset = 0;  ///< byte offset of the stored bytes' first byte in the file
  std::int64_t DataLength = 0;  ///< number of stored bytes: ChannelLength - 2
  int RowLengthBytes = 2;       ///< bytes of a run-length row's byte count: 2 in a PSD, 4 in a PSB
};

// The stored byte count of run-length row `row` of a channel whose row counts
// take `bytes` bytes each (2 or 4), read from the counts at the data's start.
inline std::size_t StoredRowLength(const std::uint8_t* data, std::size_t row, int bytes) {
  const std::uint8_t* at = data + row * static_cast<std::size_t>(bytes);
  if (bytes == 4) {
    return (static_cast<std::size_t>(at[0]) << 24) | (static_cast<std::size_t>(at[1]) << 16) |
           (static_cast<std::size_t>(at[2]) << 8) | at[3];
  }
  return (static_cast<std::size_t>(at[0]) << 8) | at[1];
}

struct ChannelTableEntry {
  std::int16_t BlockCount = 0;       ///< the layer's ChannelCount
  std::vector<ChannelBlock> Blocks;  ///< in the order of the layer's ChannelInfo
};

struct PixelRecord {
  std::int16_t Red = 0;
  std::int16_t Green = 0;
  std::int16_t Blue = 0;
};

// A layer that the layer loop left out: a PSB layer wider or higher than a
// tile can show.
struct SkippedLayer {
  int Layer = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};

// Everything parsed from the open file; one per window.
struct DocumentState {
  std::string FileName;
  FileHeader Header;
  std::int32_t ColorModeDataLength = 0;
  /// An indexed document's colour table: 256 reds, 256 greens, 256 blues
  /// (missing entries 0). Empty in every other colour mode.
  std::vector<std::uint8_t> ColorTable;
  std::int32_t ImageResourcesLength = 0;
  std::int64_t ImageResourcesOffset = 0;  ///< byte offset of the image resources' first byte
  ImageResources Resources;               ///< what the image resources say of the merged image
  std::int64_t LayerSectionLength = 0;    ///< 4 bytes in a PSD, 8 in a PSB
  std::int64_t LayerInfoLength = 0;       ///< as LayerSectionLength
  std::int16_t LayerCount = 0;            ///< never negative
  /// The global tagged blocks hold "Mtrn", "Mt16" or "Mt32": the merged image
  /// has a transparency channel.
  bool MergedTransparencyBlock = false;
  std::int64_t ImageDataOffset = 0;  ///< byte offset of the image data section (the merged image)
  /// The global tagged blocks behind the layer info (patterns, linked files,
  /// text engine data, ...), in file order.
  std::vector<TaggedBlockRef> GlobalBlocks;
  std::vector<LayerRecord> Layers;
  std::vector<LayerPlace> Places;  ///< one per record of Layers
  std::vector<ChannelTableEntry> ChannelData;
  std::int32_t TileWidth = 0;
  std::int32_t TileHeight = 0;
  std::vector<PixelRecord> Pixels;          ///< TileWidth x TileHeight, row-major, top row first
  std::vector<SkippedLayer> SkippedLayers;  ///< in layer order
  /// The conversion of the stored colours to sRGB through the document's
  /// colour profile, made once per Open; null when they are shown as stored.
  std::shared_ptr<const DocumentColour> Colour;
  std::optional<std::string> ColorProfile;  ///< the embedded profile's description
  std::int64_t FilePos = 0;                 ///< 1-based read position handed from parser to parser

  // The open file. Channel blocks are read from it when their layer is
  // decoded (a file held in memory is viewed in place).
  FileView File;
  // The channel data of the layer being decoded (LoadedLayer, -1 for none);
  // reused from layer to layer.
  int LoadedLayer = -1;
  struct {
    std::unique_ptr<std::uint8_t[]> Bytes;
    std::size_t Capacity = 0;
  } ChannelBuffer;
};

}  // namespace plymark
