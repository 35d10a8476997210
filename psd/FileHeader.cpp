#include "psd/FileHeader.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "psd/ColorModeCodes.h"
#include "psd/ImageResources.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

// Resources beyond this many bytes are not looked into: what the merged image
// needs comes first, and thumbnails and profiles are far smaller.
constexpr std::size_t kLargestResourcesLookedInto = std::size_t{64} << 20;

// The largest side of a PSB document (version 2).
constexpr std::int32_t kLargestPsbSide = 300000;

// Rows and columns are stored in four bytes. A PSD keeps them in 16 bits; a
// PSB's go up to 300000.
std::int32_t ImageSide(std::int32_t value, std::int16_t version, std::int64_t position,
                       const char* field) {
  const bool fits16 = value >= std::numeric_limits<std::int16_t>::min() &&
                      value <= std::numeric_limits<std::int16_t>::max();
  if (version == 2 && !fits16 && value > 0) {
    if (value > kLargestPsbSide) {
      throw PsdError::Damaged(position - 1, field,
                              "holds " + std::to_string(value) + ", more than the " +
                                  std::to_string(kLargestPsbSide) + " a PSB document can have");
    }
    return value;
  }
  if (!fits16) {
    throw PsdError::Damaged(position - 1, field,
                            "holds " + std::to_string(value) + ", which does not fit 16 bits");
  }
  return value;
}

// The first 768 bytes of an indexed document's colour-mode data; a shorter
// table leaves the missing entries 0.
std::vector<std::uint8_t> ReadColorTable(FileView file, std::int64_t position,
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
  std::int64_t position = 1;
  header.Signature = ReadFourCharacters(file, position, "file signature");
  header.Version = ReadInt16(file, position, "file version");
  ReadInt32(file, position, "reserved header bytes");
  ReadInt16(file, position, "reserved header bytes");
  header.Channels = ReadInt16(file, position, "channel count of the header");
  const std::int64_t rowsPosition = position;
  header.Rows = ImageSide(ReadInt32(file, position, "image height (rows)"), header.Version,
                          rowsPosition, "image height (rows)");
  const std::int64_t columnsPosition = position;
  header.Columns = ImageSide(ReadInt32(file, position, "image width (columns)"), header.Version,
                             columnsPosition, "image width (columns)");
  header.Depth = ReadInt16(file, position, "bit depth");
  header.ColorMode = ReadInt16(file, position, "colour mode");
  state.FilePos = position;
}

void ReadColorModeSection(FileView file, DocumentState& state, MessageSink& messages) {
  std::int64_t position = state.FilePos;
  state.ColorModeDataLength = ReadInt32(file, position, "colour-mode data length");
  state.ColorTable.clear();
  if (state.ColorModeDataLength > 0) {
    messages.ShowMessage("ERROR");
    if (state.Header.ColorMode == color_mode::kIndexed) {
      state.ColorTable = ReadColorTable(file, position, state.ColorModeDataLength);
    }
    position = AdvancePosition(position, state.ColorModeDataLength, "colour-mode data length",
                               LargestPosition(state.Header.Version));
  }
  state.FilePos = position;
}

void ReadImageResourceSection(FileView file, DocumentState& state) {
  std::int64_t position = state.FilePos;
  state.ImageResourcesLength = ReadInt32(file, position, "image-resources length");
  state.ImageResourcesOffset = position - 1;
  state.Resources = {};
  if (state.ImageResourcesLength > 0) {
    // Looked into, never required: as far as the file goes.
    state.Resources = ReadImageResources(
        file.BytesUpTo(state.ImageResourcesOffset,
                       std::min<std::size_t>(static_cast<std::size_t>(state.ImageResourcesLength),
                                             kLargestResourcesLookedInto)),
        state.ImageResourcesOffset);
    position = AdvancePosition(position, state.ImageResourcesLength, "image-resources length",
                               LargestPosition(state.Header.Version));
  }
  state.FilePos = position;
}

std::optional<std::string> ReadFrontSections(FileView file, DocumentState& state,
                                             MessageSink& messages) {
  ReadFileHeader(file, state);
  // Only a PSB may be larger than its positions' 32 bits reach.
  if (state.Header.Version != 2 && file.size() > kLargestPsdPosition) {
    return "it is larger than the 2 GB that a PSD file can have";
  }
  ReadColorModeSection(file, state, messages);
  ReadImageResourceSection(file, state);
  return std::nullopt;
}

}  // namespace plymark
