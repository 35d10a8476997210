#include "compose/LayerBlocks.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <string_view>

#include "compose/Adjustments.h"
#include "psd/TaggedBlocks.h"

namespace plymark {
namespace {

bool IsAnyOf(std::string_view key, std::initializer_list<std::string_view> keys) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

// The first byte of a block, when it has one.
std::optional<std::uint8_t> FirstByte(const FileView& file, const TaggedBlockRef& block) {
  if (block.Length < 1) return std::nullopt;
  const auto bytes = file.BytesUpTo(block.Offset, 1);
  if (bytes.empty()) return std::nullopt;
  return bytes[0];
}

// The values of the boolean items `key` of a descriptor's bytes: each is
// stored as its key, the type `bool` and one byte.
std::vector<bool> BooleanItems(std::span<const std::uint8_t> bytes, std::string_view key) {
  std::vector<bool> values;
  const std::string pattern = std::string(key) + "bool";
  auto at = bytes.begin();
  while ((at = std::search(at, bytes.end(), pattern.begin(), pattern.end())) != bytes.end()) {
    at += static_cast<std::ptrdiff_t>(pattern.size());
    if (at == bytes.end()) break;
    values.push_back(*at != 0);
  }
  return values;
}

// An effects descriptor draws something when its master switch is on (or
// absent) and one of its effects is enabled (or none says).
bool AnyEffectEnabled(std::span<const std::uint8_t> bytes) {
  const std::vector<bool> master = BooleanItems(bytes, "masterFXSwitch");
  if (!master.empty() && !master.front()) return false;
  const std::vector<bool> enabled = BooleanItems(bytes, "enab");
  return enabled.empty() || std::find(enabled.begin(), enabled.end(), true) != enabled.end();
}

}  // namespace

std::vector<std::uint8_t> BlockBytes(const FileView& file, const TaggedBlockRef& block) {
  if (block.Length <= 0) return {};
  const auto bytes = file.BytesUpTo(block.Offset, static_cast<std::size_t>(block.Length));
  return {bytes.begin(), bytes.end()};
}

LayerBlockFacts ReadLayerBlockFacts(const FileView& file, const LayerRecord& record) {
  LayerBlockFacts facts;
  for (const TaggedBlockRef& block : record.Blocks) {
    const std::string_view key = block.Key;
    if ((key == "lsct" || key == "lsdk") && !facts.SectionBlendKey && block.Length >= 12) {
      const auto bytes = file.BytesUpTo(block.Offset, 12);
      if (bytes.size() == 12 && std::equal(bytes.begin() + 4, bytes.begin() + 8, "8BIM")) {
        facts.SectionBlendKey = std::string(bytes.begin() + 8, bytes.end());
      }
    } else if (key == "iOpa") {
      facts.Fill = FirstByte(file, block).value_or(255);
    } else if (key == "clbl") {
      facts.ClippedAsGroup = FirstByte(file, block).value_or(1) != 0;
    } else if (key == "lmgm" || key == "vmgm" || key == "infx") {
      const bool set = FirstByte(file, block).value_or(0) != 0;
      (key == "lmgm"   ? facts.UserMaskHidesEffects
       : key == "vmgm" ? facts.VectorMaskHidesEffects
                       : facts.InteriorAsGroup) = set;
    } else if (key == "lfx2" || key == "lmfx" || key == "lfxs") {
      facts.Effects = facts.Effects || AnyEffectEnabled(BlockBytes(file, block));
    } else if (key == "lrFX" && FindBlock(record.Blocks, "lfx2") == nullptr &&
               FindBlock(record.Blocks, "lmfx") == nullptr) {
      facts.Effects = true;
    } else if (IsAnyOf(key, {"SoCo", "GdFl", "PtFl"})) {
      facts.FillLayer = true;
    } else if (key == "vstk") {
      const std::vector<bool> enabled = BooleanItems(BlockBytes(file, block), "strokeEnabled");
      facts.ShapeStroke = !enabled.empty() && enabled.front();
    } else if (key == "CgEd") {
      facts.BrightnessDescriptor = &block;
    } else if (facts.Adjustment == nullptr && IsAdjustmentKey(key)) {
      facts.Adjustment = &block;
    }
  }
  return facts;
}

}  // namespace plymark
