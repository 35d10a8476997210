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
constexpr std::size_t kLargestSettingsBlock = std::size_t{16} << 20;

// The keys of the adjustment layers' blocks and of the fill layers'.
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

const TaggedBlockRef* FirstOf(const std::vector<TaggedBlockRef>& blocks,
                              std::initializer_list<std::string_view> keys) {
  for (const std::string_view key : keys) {
    if (const TaggedBlockRef* block = FindBlock(blocks, key)) return block;
  }
  return nullptr;
}

// Reads the settings blocks of one layer, each on its own.
class SettingsReader {
 public:
  SettingsReader(const DocumentState& state, int layer, SettingsBudget& budget,
                 std::vector<std::string>& problems)
      : state_(state),
        layer_(layer),
        blocks_(state.Layers[static_cast<std::size_t>(layer)].Blocks),
        budget_(budget),
        problems_(problems) {}

  void Read(LayerSettings& settings) {
    if (const TaggedBlockRef* block = FindBlock(blocks_, "lyid")) {
      settings.Id = Block(*block, [](BlockCursor& cursor) { return cursor.Int32("layer id"); });
    }
    settings.Text = Text();
    if (const TaggedBlockRef* block = FirstOf(blocks_, {"SoLd", "SoLE", "PlLd"})) {
      settings.SmartObjectId = Block(*block, [&](BlockCursor& cursor) {
        return ReadSmartObjectId(block->Key, cursor.Bytes(cursor.Left(), "data"), block->Offset,
                                 cursor.Context());
      });
    }
    if (const TaggedBlockRef* block = FirstOf(blocks_, {"lmfx", "lfx2", "lfxs"})) {
      // A 4-byte version, then the versioned descriptor.
      const auto read = Block(*block, [&](BlockCursor& cursor) {
        cursor.Skip(4, "effects version");
        return ReadVersionedDescriptor(cursor, budget_);
      });
      if (read) settings.Effects = SettingsBlock{block->Key, std::move(*read)};
    }
    // The older effects stand in when the newer are missing or damaged.
    const TaggedBlockRef* old = FindBlock(blocks_, "lrFX");
    if (!settings.Effects && old != nullptr) {
      settings.OldEffects = Block(*old, [&](BlockCursor& cursor) {
        return ReadLegacyEffects(cursor.Bytes(cursor.Left(), "data"), old->Offset, cursor.Context(),
                                 budget_);
      });
    }
    settings.Adjustment = Adjustment();
    settings.Fill = Fill();
    if (const TaggedBlockRef* block = FindBlock(blocks_, "vstk")) {
      settings.VectorStroke = Block(
          *block, [&](BlockCursor& cursor) { return ReadVersionedDescriptor(cursor, budget_); });
    }
    if (const TaggedBlockRef* block = FirstOf(blocks_, {"artb", "artd", "abdd"})) {
      settings.Artboard = Block(
          *block, [&](BlockCursor& cursor) { return ReadVersionedDescriptor(cursor, budget_); });
    }
  }

  std::optional<LayerText> Text() {
    const TaggedBlockRef* block = FindBlock(blocks_, "TySh");
    if (block == nullptr) return std::nullopt;
    return Block(*block, [&](BlockCursor& cursor) {
      return ReadLayerText(cursor.Bytes(cursor.Left(), "data"), block->Offset, cursor.Context(),
                           budget_);
    });
  }

 private:
  // Reads `block` whole and hands a cursor over its data to `read`; a block
  // that cannot be read adds a problem and gives nothing.
  template <typename Read>
  auto Block(const TaggedBlockRef& block, Read read)
      -> std::optional<decltype(read(std::declval<BlockCursor&>()))> {
    try {
      budget_.TakeBytes(block.Offset, Context(block, layer_),
                        static_cast<std::uint64_t>(block.Length));
      const std::vector<std::uint8_t> data =
          ReadBlockData(state_.File, block, kLargestSettingsBlock);
      BlockCursor cursor(data, block.Offset, Context(block, layer_));
      return read(cursor);
    } catch (const PsdError& error) {
      problems_.push_back(block.Key + ": " + error.what());
      return std::nullopt;
    }
  }

  std::optional<SettingsBlock> Adjustment() {
    const auto found = std::find_if(
        blocks_.begin(), blocks_.end(),
        [](const TaggedBlockRef& block) { return IsOneOf(kAdjustmentKeys, block.Key); });
    if (found == blocks_.end()) return std::nullopt;
    // Brightness and contrast keep their newer settings in 'CgEd' beside 'brit'.
    const TaggedBlockRef* block = &*found;
    if (found->Key == "brit") {
      if (const TaggedBlockRef* newer = FindBlock(blocks_, "CgEd")) block = newer;
    }
    const auto read = Block(*block, [&](BlockCursor& cursor) -> std::optional<Descriptor> {
      const std::string& key = block->Key;
      if (key == "vibA" || key == "blwh" || key == "CgEd") {
        return ReadVersionedDescriptor(cursor, budget_);
      }
      if (key == "clrL") {
        cursor.Skip(2, "version");
        return ReadVersionedDescriptor(cursor, budget_);
      }
      return ReadBinaryAdjustment(key, cursor);
    });
    if (!read) return std::nullopt;
    return SettingsBlock{found->Key, std::move(*read)};
  }

  std::optional<SettingsBlock> Fill() {
    const auto found =
        std::find_if(blocks_.begin(), blocks_.end(), [](const TaggedBlockRef& block) {
          return IsOneOf(kFillKeys, block.Key) || block.Key == "vscg";
        });
    if (found == blocks_.end()) return std::nullopt;
    auto read = Block(*found, [&](BlockCursor& cursor) {
      // A shape's fill names its kind first; the descriptor's class says it too.
      if (found->Key == "vscg") cursor.Skip(4, "fill kind");
      return ReadVersionedDescriptor(cursor, budget_);
    });
    if (!read) return std::nullopt;
    return SettingsBlock{found->Key, std::move(*read)};
  }

  const DocumentState& state_;
  int layer_;
  const std::vector<TaggedBlockRef>& blocks_;
  SettingsBudget& budget_;
  std::vector<std::string>& problems_;
};

}  // namespace

LayerSettings ReadLayerSettings(const DocumentState& state, int layer, SettingsBudget& budget) {
  LayerSettings settings;
  SettingsReader(state, layer, budget, settings.Problems).Read(settings);
  return settings;
}

LayerSettings ReadLayerSettings(const DocumentState& state, int layer) {
  SettingsBudget budget;
  return ReadLayerSettings(state, layer, budget);
}

std::optional<LayerText> ReadTextOfLayer(const DocumentState& state, int layer,
                                         SettingsBudget& budget) {
  std::vector<std::string> problems;
  return SettingsReader(state, layer, budget, problems).Text();
}

DocumentSettings ReadDocumentSettings(const DocumentState& state) {
  DocumentSettings settings;
  SettingsBudget budget;
  settings.Layers.reserve(state.Layers.size());
  for (int i = 0; i < static_cast<int>(state.Layers.size()); ++i) {
    settings.Layers.push_back(ReadLayerSettings(state, i, budget));
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
