#include "psd/LayerSettings.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "psd/BinaryAdjustments.h"
#include "psd/BlockCursor.h"
#include "psd/PsdError.h"
#include "psd/TaggedBlocks.h"

namespace plymark {
namespace {

// A settings block is read whole; the largest real ones (the text of long
// paragraphs) take a few hundred kilobytes.
constexpr std::size_t kLargestSettingsBlock = std::size_t{64} << 20;

// The adjustment layers' keys, and which of them hold a descriptor behind a
// 4-byte version ('clrL': behind a 2-byte version first).
constexpr std::array<std::string_view, 17> kAdjustmentKeys = {
    "levl", "curv", "brit", "expA", "hue2", "hue ", "nvrt", "post", "thrs",
    "vibA", "blnc", "blwh", "phfl", "mixr", "grdm", "selc", "clrL"};
constexpr std::array<std::string_view, 3> kFillKeys = {"SoCo", "GdFl", "PtFl"};

template <std::size_t N>
bool IsOneOf(const std::array<std::string_view, N>& keys, std::string_view key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

std::string Context(const TaggedBlockRef& block, int layer) {
  return "the '" + block.Key + "' block of layer " + std::to_string(layer);
}

// Reads one block with `read`, which takes a cursor over its data; a block
// that cannot be read adds a problem and gives nothing.
template <typename Read>
auto ReadBlock(const DocumentState& state, const TaggedBlockRef& block, int layer,
               std::vector<std::string>& problems, Read read)
    -> std::optional<decltype(read(std::declval<BlockCursor&>()))> {
  try {
    const std::vector<std::uint8_t> data = ReadBlockData(state.File, block, kLargestSettingsBlock);
    BlockCursor cursor(data, block.Offset, Context(block, layer));
    return read(cursor);
  } catch (const PsdError& error) {
    problems.push_back(block.Key + ": " + error.what());
    return std::nullopt;
  }
}

// The descriptor of an effects block: a 4-byte version, then the versioned descriptor.
Descriptor EffectsDescriptor(BlockCursor& cursor) {
  cursor.Skip(4, "effects version");
  return ReadVersionedDescriptor(cursor);
}

std::optional<Descriptor> AdjustmentDescriptor(std::string_view key, BlockCursor& cursor) {
  if (key == "vibA" || key == "blwh" || key == "CgEd") return ReadVersionedDescriptor(cursor);
  if (key == "clrL") {
    cursor.Skip(2, "version");
    return ReadVersionedDescriptor(cursor);
  }
  return ReadBinaryAdjustment(key, cursor);
}

const TaggedBlockRef* FirstOf(const std::vector<TaggedBlockRef>& blocks,
                              std::initializer_list<std::string_view> keys) {
  for (const std::string_view key : keys) {
    if (const TaggedBlockRef* block = FindBlock(blocks, key)) return block;
  }
  return nullptr;
}

void ReadAdjustment(const DocumentState& state, const std::vector<TaggedBlockRef>& blocks,
                    int layer, LayerSettings& settings) {
  const auto found = std::find_if(blocks.begin(), blocks.end(), [](const TaggedBlockRef& block) {
    return IsOneOf(kAdjustmentKeys, block.Key);
  });
  if (found == blocks.end()) return;
  // Brightness and contrast keep their newer settings in 'CgEd' beside 'brit'.
  const TaggedBlockRef* block = &*found;
  if (found->Key == "brit") {
    if (const TaggedBlockRef* newer = FindBlock(blocks, "CgEd")) block = newer;
  }
  const auto read = ReadBlock(state, *block, layer, settings.Problems, [&](BlockCursor& cursor) {
    return AdjustmentDescriptor(block->Key, cursor);
  });
  if (read) settings.Adjustment = SettingsBlock{found->Key, *read};
}

void ReadFill(const DocumentState& state, const std::vector<TaggedBlockRef>& blocks, int layer,
              LayerSettings& settings) {
  const auto found = std::find_if(blocks.begin(), blocks.end(), [](const TaggedBlockRef& block) {
    return IsOneOf(kFillKeys, block.Key) || block.Key == "vscg";
  });
  if (found == blocks.end()) return;
  const auto read = ReadBlock(state, *found, layer, settings.Problems, [&](BlockCursor& cursor) {
    if (found->Key == "vscg") cursor.Skip(4, "fill kind");  // the descriptor's class says it too
    return ReadVersionedDescriptor(cursor);
  });
  if (read) settings.Fill = SettingsBlock{found->Key, std::move(*read)};
}

std::optional<LayerText> ReadText(const DocumentState& state, const TaggedBlockRef& block,
                                  int layer, std::vector<std::string>& problems) {
  return ReadBlock(state, block, layer, problems, [&](BlockCursor& cursor) {
    const auto data = cursor.Bytes(cursor.Left(), "data");
    return ReadLayerText(data, block.Offset, cursor.Context());
  });
}

}  // namespace

LayerSettings ReadLayerSettings(const DocumentState& state, int layer) {
  LayerSettings settings;
  const std::vector<TaggedBlockRef>& blocks = state.Layers[static_cast<std::size_t>(layer)].Blocks;
  std::vector<std::string>& problems = settings.Problems;
  if (const TaggedBlockRef* block = FindBlock(blocks, "lyid")) {
    settings.Id = ReadBlock(state, *block, layer, problems,
                            [](BlockCursor& cursor) { return cursor.Int32("layer id"); });
  }
  if (const TaggedBlockRef* block = FindBlock(blocks, "TySh")) {
    settings.Text = ReadText(state, *block, layer, problems);
  }
  if (const TaggedBlockRef* block = FirstOf(blocks, {"SoLd", "SoLE", "PlLd"})) {
    settings.SmartObjectId = ReadBlock(state, *block, layer, problems, [&](BlockCursor& cursor) {
      const auto data = cursor.Bytes(cursor.Left(), "data");
      return ReadSmartObjectId(block->Key, data, block->Offset, cursor.Context());
    });
  }
  if (const TaggedBlockRef* block = FirstOf(blocks, {"lmfx", "lfx2", "lfxs"})) {
    const auto read = ReadBlock(state, *block, layer, problems, EffectsDescriptor);
    if (read) settings.Effects = SettingsBlock{block->Key, std::move(*read)};
  } else if (const TaggedBlockRef* old = FindBlock(blocks, "lrFX")) {
    settings.OldEffects = ReadBlock(state, *old, layer, problems, [&](BlockCursor& cursor) {
      const auto data = cursor.Bytes(cursor.Left(), "data");
      return ReadLegacyEffects(data, old->Offset, cursor.Context());
    });
  }
  ReadAdjustment(state, blocks, layer, settings);
  ReadFill(state, blocks, layer, settings);
  return settings;
}

std::optional<LayerText> ReadTextOfLayer(const DocumentState& state, int layer) {
  const TaggedBlockRef* block =
      FindBlock(state.Layers[static_cast<std::size_t>(layer)].Blocks, "TySh");
  if (block == nullptr) return std::nullopt;
  std::vector<std::string> problems;
  return ReadText(state, *block, layer, problems);
}

DocumentSettings ReadDocumentSettings(const DocumentState& state) {
  DocumentSettings settings;
  settings.Layers.reserve(state.Layers.size());
  for (int i = 0; i < static_cast<int>(state.Layers.size()); ++i) {
    settings.Layers.push_back(ReadLayerSettings(state, i));
  }
  settings.Linked = ReadLinkedFiles(state.File, state.GlobalBlocks);
  return settings;
}

const LinkedFile* FindLinkedFile(const LinkedFiles& linked, const std::string& id) {
  const auto found = std::find_if(linked.Files.begin(), linked.Files.end(),
                                  [&id](const LinkedFile& file) { return file.UniqueId == id; });
  return found != linked.Files.end() ? &*found : nullptr;
}

}  // namespace plymark
