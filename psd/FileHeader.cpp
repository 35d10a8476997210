#include "psd/FileHeader.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "psd/ColorModeCodes.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

// Rows and columns are stored in four bytes but kept in 16 bits.
std::int16_t NarrowToInt16(std::int32_t value, std::int32_t position, const char* field) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    throw PsdError::Damaged(position - 1, field,
                            "holds " + std::to_string(value) + ", which does not fit 16 bits");
  }
  return static_cast<std::int16_t>(value);
}

// The first 768 bytes of an indexed document's colour-mode data; a shorter
// table leaves the missing entries 0.
std::vector<std::uint8_t> ReadColorTable(FileView file, std::int32_t position,
                                         std::int32_t dataLength) {
  std::vector<std::uint8_t> table(color_mode::kColorTableSize, 0);
  const std::int32_t stored = std::min(dataLength, color_mode::kColorTableSize);
  for (std::int32_t k = 0; k < stored; ++k) {
    table[static_cast<std::size_t>(k)] = ReadUInt8(file, position, "colour table");
  }
  return table;
}

}  // namespace

void ReadFileHeader(FileView file, DocumentState& state) {
  FileHeader& header = state.Header;
  std::int32_t position = 1;
  header.Signature = ReadFourCharacters(file, position, "file signature");
  header.Version = ReadInt16(file, position, "file version");
  ReadInt32(file, position, "reserved header bytes");
  ReadInt16(file, position, "reserved header bytes");
  header.Channels = ReadInt16(file, position, "channel count of the header");
  const std::int32_t rowsPosition = position;
  header.Rows = NarrowToInt16(ReadInt32(file, position, "image height (rows)"), rowsPosition,
                              "image height (rows)");
  const std::int32_t columnsPosition = position;
  header.Columns = NarrowToInt16(ReadInt32(file, position, "image width (columns)"),
                                 columnsPosition, "image width (columns)");
  header.Depth = ReadInt16(file, position, "bit depth");
  header.ColorMode = ReadInt16(file, position, "colour mode");
  state.FilePos = position;
}

void ReadColorModeSection(FileView file, DocumentState& state, MessageSink& messages) {
  std::int32_t position = state.FilePos;
  state.ColorModeDataLength = ReadInt32(file, position, "colour-mode data length");
  state.ColorTable.clear();
  if (state.ColorModeDataLength > 0) {
    messages.ShowMessage("ERROR");
    if (state.Header.ColorMode == color_mode::kIndexed) {
      state.ColorTable = ReadColorTable(file, position, state.ColorModeDataLength);
    }
    position = AdvancePosition(position, state.ColorModeDataLength, "colour-mode data length");
  }
  state.FilePos = position;
}

void ReadImageResourceSection(FileView file, DocumentState& state) {
  std::int32_t position = state.FilePos;
  state.ImageResourcesLength = ReadInt32(file, position, "image-resources length");
  if (state.ImageResourcesLength > 0) {
    position = AdvancePosition(position, state.ImageResourcesLength, "image-resources length");
  }
  state.FilePos = position;
}

}  // namespace plymark
