#include "psd/FileHeader.h"

#include <limits>
#include <string>

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
  if (state.ColorModeDataLength > 0) {
    messages.ShowMessage("ERROR");
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
