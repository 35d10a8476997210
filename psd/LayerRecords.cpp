#include "psd/LayerRecords.h"

#include <algorithm>
#include <string>

#include "psd/LayerExtraData.h"
#include "psd/LayerGroups.h"
#include "psd/PsdError.h"
#include "psd/TaggedBlocks.h"

namespace plymark {
namespace {

// The smallest layer record: the fixed fields with no channels and no extra data.
constexpr std::int64_t kSmallestLayerRecord = 34;
// One channel's entry in a layer record: a 2-byte id and a length of 4 bytes
// in a PSD, 8 in a PSB.
std::int64_t ChannelInfoSize(std::int16_t version) {
  return version == 2 ? 10 : 6;
}
// Extra data larger than this is looked into only as far as this goes: the
// name and the blocks that describe the layer come first.
constexpr std::size_t kLargestExtraDataLookedInto = std::size_t{16} << 20;
// The smallest channel block: its compression code alone.
constexpr std::int64_t kSmallestChannelBlock = 2;

std::string LayerField(int layer, const char* field) {
  return std::string(field) + " of layer " + std::to_string(layer);
}

// A stored count is kept as its absolute value; -32768 has none in 16 bits.
std::int16_t AbsoluteCount(std::int16_t stored, std::int64_t position, const std::string& field) {
  if (stored == -32768) {
    throw PsdError::Damaged(position - 1, field, "holds -32768, which is not a valid count");
  }
  return static_cast<std::int16_t>(stored < 0 ? -stored : stored);
}

void ReadLayerRecord(FileView file, std::int16_t version, std::int64_t& position, int layer,
                     LayerRecord& record, std::int64_t& channelsSoFar) {
  record.RecordOffset = static_cast<std::int64_t>(position) - 1;
  record.Top = ReadInt32(file, position, LayerField(layer, "top edge"));
  record.Left = ReadInt32(file, position, LayerField(layer, "left edge"));
  record.Bottom = ReadInt32(file, position, LayerField(layer, "bottom edge"));
  record.Right = ReadInt32(file, position, LayerField(layer, "right edge"));

  const std::string countField = LayerField(layer, "channel count");
  const std::int64_t countPosition = position;
  record.ChannelCount =
      AbsoluteCount(ReadInt16(file, position, countField), countPosition, countField);

  // Refuse counts that the rest of the file cannot hold before making lists for them.
  if (record.ChannelCount * ChannelInfoSize(version) > BytesLeft(file, position)) {
    throw PsdError::Damaged(countPosition - 1, countField,
                            "announces " + std::to_string(record.ChannelCount) +
                                " channels, more than the rest of the file can describe");
  }
  channelsSoFar += record.ChannelCount;
  if (channelsSoFar * kSmallestChannelBlock > file.size()) {
    throw PsdError::Damaged(countPosition - 1, countField,
                            "brings the layers to " + std::to_string(channelsSoFar) +
                                " channels, more than the file has data for");
  }

  record.ChannelInfo.assign(static_cast<std::size_t>(record.ChannelCount), ChannelInfoRecord{});
  for (int j = 0; j < record.ChannelCount; ++j) {
    ChannelInfoRecord& info = record.ChannelInfo[static_cast<std::size_t>(j)];
    info.ChannelId = ReadInt16(file, position, LayerField(layer, "channel id"));
    info.ChannelLength =
        ReadLength(file, position, version, LayerField(layer, "channel data length"));
  }

  record.BlendSignature =
      ReadFourCharacters(file, position, LayerField(layer, "blend-mode signature"));
  record.BlendKey = ReadFourCharacters(file, position, LayerField(layer, "blend-mode key"));
  // Opacity, clipping, flags and filler: one byte each, read as one field.
  const auto packed =
      static_cast<std::uint32_t>(ReadInt32(file, position, LayerField(layer, "opacity and flags")));
  record.Opacity = static_cast<std::uint8_t>(packed >> 24);
  record.Clipping = static_cast<std::uint8_t>(packed >> 16);
  record.Flags = static_cast<std::uint8_t>(packed >> 8);
  record.Filler = static_cast<std::uint8_t>(packed);
  const std::string extraField = LayerField(layer, "extra-data length");
  record.ExtraLength = ReadInt32(file, position, extraField);
  if (record.ExtraLength > 0) {
    const auto extra = file.BytesUpTo(
        position - 1,
        std::min(static_cast<std::size_t>(record.ExtraLength), kLargestExtraDataLookedInto));
    LayerExtraData read = ReadLayerExtraData(extra, version, position - 1);
    record.Name = std::move(read.Name);
    record.Mask = read.Mask;
    record.SectionDividerSetting = read.SectionDividerSetting;
    record.BlendingRanges = std::move(read.BlendingRanges);
    record.Blocks = std::move(read.Blocks);
  }
  // The extra data is skipped by its length, which may even move backwards.
  position = AdvancePosition(position, record.ExtraLength, extraField, LargestPosition(version));
}

// The layer count at `position` and one record per layer, into LayerCount and
// Layers; returns the position behind the last record.
std::int64_t ReadLayerList(FileView file, std::int64_t position, DocumentState& state) {
  const std::int64_t countPosition = position;
  const std::int16_t count =
      AbsoluteCount(ReadInt16(file, position, "layer count"), countPosition, "layer count");
  if (count * kSmallestLayerRecord > BytesLeft(file, position)) {
    throw PsdError::Damaged(
        countPosition - 1, "layer count",
        "announces " + std::to_string(count) + " layers, more than the rest of the file can hold");
  }

  std::vector<LayerRecord> layers(static_cast<std::size_t>(count));
  std::int64_t channelsSoFar = 0;
  for (int i = 0; i < count; ++i) {
    ReadLayerRecord(file, state.Header.Version, position, i, layers[static_cast<std::size_t>(i)],
                    channelsSoFar);
  }
  state.Layers = std::move(layers);
  state.Places = PlaceLayers(state.Layers);
  state.LayerCount = count;
  return position;
}

// Where the section's parts lie, from its two lengths.
struct SectionBounds {
  std::int64_t LayerInfoStart = 0;  ///< 1-based position behind the layer-info length
  std::int64_t LayerInfoEnd = 0;    ///< where the global layer mask info begins
  std::int64_t SectionEnd = 0;      ///< the image data section's position
};

// Reads the section length (shown when positive), and the layer-info length
// when the section is not empty; records where the merged image lies and
// whether the global tagged blocks give it transparency.
SectionBounds ReadSectionHead(FileView file, DocumentState& state, MessageSink* messages) {
  const std::int16_t version = state.Header.Version;
  std::int64_t position = state.FilePos;
  state.LayerSectionLength = ReadLength(file, position, version, "layer-and-mask section length");
  state.LayerInfoLength = 0;
  state.LayerCount = 0;
  state.Layers.clear();
  state.Places.clear();
  state.MergedTransparencyBlock = false;
  state.GlobalBlocks.clear();
  if (messages != nullptr && state.LayerSectionLength > 0) {
    messages->ShowMessage(std::to_string(state.LayerSectionLength));
  }
  // An empty section holds nothing: a file without layers keeps its merged
  // image right behind this length.
  if (state.LayerSectionLength <= 0) {
    state.ImageDataOffset = position - 1;
    return {position, position, position};
  }
  // Only looked into, never required: a length beyond any file just ends nowhere.
  const std::int64_t sectionEnd =
      position + std::min(state.LayerSectionLength, LargestPosition(version));
  state.ImageDataOffset = sectionEnd - 1;
  state.LayerInfoLength = ReadLength(file, position, version, "layer-info length");
  const std::int64_t layerInfoEnd =
      position + std::clamp<std::int64_t>(state.LayerInfoLength, 0, LargestPosition(version));
  return {position, layerInfoEnd, sectionEnd};
}

// The global tagged blocks behind the layer info, when the section has any;
// notes whether they give the merged image transparency.
GlobalTaggedBlocks ReadGlobalTaggedBlocks(FileView file, const SectionBounds& bounds,
                                          DocumentState& state) {
  GlobalTaggedBlocks global;
  if (bounds.LayerInfoEnd < bounds.SectionEnd) {
    global =
        WalkGlobalTaggedBlocks(file, bounds.LayerInfoEnd, bounds.SectionEnd, state.Header.Version);
  }
  state.MergedTransparencyBlock = global.MergedTransparency;
  state.GlobalBlocks = global.Blocks;
  return global;
}

}  // namespace

void ReadLayerSectionBounds(FileView file, DocumentState& state) {
  ReadGlobalTaggedBlocks(file, ReadSectionHead(file, state, nullptr), state);
}

std::int64_t ReadLayerRecords(FileView file, DocumentState& state, MessageSink& messages) {
  const SectionBounds bounds = ReadSectionHead(file, state, &messages);
  if (bounds.SectionEnd == bounds.LayerInfoStart) return bounds.SectionEnd;
  const GlobalTaggedBlocks global = ReadGlobalTaggedBlocks(file, bounds, state);
  const auto fromLayerBlock = [&](std::int64_t otherwise) {
    return global.LayerBlock ? ReadLayerList(file, global.LayerBlock->Begin, state) : otherwise;
  };
  if (state.LayerInfoLength <= 0) return fromLayerBlock(bounds.LayerInfoStart);
  const std::int64_t position = ReadLayerList(file, bounds.LayerInfoStart, state);
  if (state.LayerCount == 0) return fromLayerBlock(position);
  return position;
}

}  // namespace plymark
