#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/FileSource.h"

namespace plymark {

// The fixed 26-byte header at the start of every PSD file.
struct FileHeader {
  std::string Signature;       ///< four characters, "8BPS" in a PSD file
  std::int16_t Version = 0;    ///< 1 for PSD
  std::int16_t Channels = 0;   ///< channels of the merged image
  std::int16_t Rows = 0;       ///< image height
  std::int16_t Columns = 0;    ///< image width
  std::int16_t Depth = 0;      ///< bits per channel
  std::int16_t ColorMode = 0;  ///< 1 grayscale, 2 indexed, 3 RGB, 4 CMYK, ...
};

struct ChannelInfoRecord {
  std::int16_t ChannelId = 0;      ///< 0, 1, 2... colour channels; -1 transparency; -2, -3 masks
  std::int32_t ChannelLength = 0;  ///< stored bytes, the 2-byte compression code included
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
  std::uint8_t Opacity = 0;       ///< not read from the file
  std::uint8_t Clipping = 0;      ///< not read from the file
  std::uint8_t Flags = 0;         ///< not read from the file
  std::uint8_t Filler = 0;        ///< not read from the file
  std::int32_t ExtraLength = 0;   ///< length of the extra data behind the record's fixed part
  std::int64_t RecordOffset = 0;  ///< byte offset of the record in the file, for messages
  std::string Name;               ///< the layer's name in UTF-8, from its extra data; may be empty
};

// One stored channel of a layer: its compression code and the bytes behind it.
struct ChannelBlock {
  std::int16_t Compression = 0;  ///< 0 raw, 1 run-length (PackBits), 2 ZIP, 3 ZIP with prediction
  std::span<const std::uint8_t> Data;  ///< a view of the file's bytes, which the state keeps alive
  std::int64_t DataOffset = 0;         ///< byte offset of Data's first byte in the file
};

struct ChannelTableEntry {
  std::int16_t BlockCount = 0;       ///< the layer's ChannelCount
  std::vector<ChannelBlock> Blocks;  ///< in the order of the layer's ChannelInfo
};

struct PixelRecord {
  std::int16_t Red = 0;
  std::int16_t Green = 0;
  std::int16_t Blue = 0;
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
  std::int32_t LayerSectionLength = 0;
  std::int32_t LayerInfoLength = 0;
  std::int16_t LayerCount = 0;  ///< never negative
  std::vector<LayerRecord> Layers;
  std::vector<ChannelTableEntry> ChannelData;
  std::int32_t TileWidth = 0;
  std::int32_t TileHeight = 0;
  std::vector<PixelRecord> Pixels;  ///< TileWidth x TileHeight, row-major, top row first
  std::int32_t FilePos = 0;         ///< 1-based read position handed from parser to parser

  // The bytes that the channel blocks' Data views point into.
  std::shared_ptr<const FileBytes> File;
};

}  // namespace plymark
