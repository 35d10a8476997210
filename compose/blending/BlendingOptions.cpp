#include "compose/blending/BlendingOptions.h"

#include <algorithm>
#include <cmath>

#include "compose/LayerBlocks.h"
#include "compose/Paint.h"
#include "psd/BlockCursor.h"
#include "psd/Descriptor.h"
#include "psd/PsdError.h"
#include "psd/TaggedBlocks.h"

namespace plymark {
namespace {

// An artboard's settings are a few hundred bytes.
constexpr std::size_t kLargestArtboardBlock = std::size_t{1} << 20;
// Rectangles beyond this are no real artboard: the format's sides stop at 300000.
constexpr double kFarthest = 1e7;

std::optional<std::uint8_t> FirstByte(const FileView& file, const TaggedBlockRef* block) {
  if (block == nullptr || block->Length < 1) return std::nullopt;
  const auto bytes = file.BytesUpTo(block->Offset, 1);
  if (bytes.empty()) return std::nullopt;
  return bytes[0];
}

// 'brst' lists the channels left out of the blend, 4 bytes each.
std::uint8_t KeptChannelsOf(const FileView& file, const TaggedBlockRef* block, int channels) {
  if (block == nullptr) return 0;
  const std::vector<std::uint8_t> bytes = BlockBytes(file, *block);
  std::uint8_t kept = 0;
  for (std::size_t k = 0; k + 4 <= bytes.size(); k += 4) {
    const std::uint32_t id = (std::uint32_t{bytes[k]} << 24) | (std::uint32_t{bytes[k + 1]} << 16) |
                             (std::uint32_t{bytes[k + 2]} << 8) | bytes[k + 3];
    if (id < static_cast<std::uint32_t>(channels)) kept |= static_cast<std::uint8_t>(1u << id);
  }
  return kept;
}

std::array<float, 4> BackgroundOf(const DescriptorColour& colour, const AdjustmentSpace& space) {
  const std::optional<SpaceColour> converted = ColourInSpace(colour, space);
  return converted ? converted->Values : std::array<float, 4>{};
}

ArtboardPlan ArtboardOf(const Descriptor& settings, const AdjustmentSpace& space,
                        std::int64_t offset) {
  const Descriptor* rect = settings.Object("artboardRect");
  const auto side = [&](const char* key) {
    const std::optional<double> value = rect ? rect->Number(key) : std::nullopt;
    if (!value || !std::isfinite(*value) || std::abs(*value) > kFarthest) {
      throw PsdError::Damaged(offset, "artboard", std::string("has no usable '") + key + "'");
    }
    return static_cast<std::int32_t>(std::lround(*value));
  };
  ArtboardPlan plan{side("Top "), side("Left"), side("Btom"), side("Rght"), std::nullopt};
  // 1 white, 2 black, 3 transparent, 4 the colour of 'Clr '.
  const double kind = settings.Number("artboardBackgroundType").value_or(1);
  if (kind == 1 || kind == 2) {
    const double value = kind == 1 ? 255 : 0;
    plan.Background = BackgroundOf({"RGBC", {value, value, value}}, space);
  } else if (kind == 4) {
    const Descriptor* colour = settings.Object("Clr ");
    const std::optional<DescriptorColour> read = colour ? ReadColour(*colour) : std::nullopt;
    if (!read) throw PsdError::Damaged(offset, "artboard", "has no usable background colour");
    plan.Background = BackgroundOf(*read, space);
  }
  return plan;
}

std::optional<ArtboardPlan> ReadArtboard(const FileView& file, const TaggedBlockRef& block,
                                         const AdjustmentSpace& space) {
  const std::vector<std::uint8_t> data = ReadBlockData(file, block, kLargestArtboardBlock);
  BlockCursor cursor(data, block.Offset, "the '" + block.Key + "' block");
  SettingsBudget budget(10000, kLargestArtboardBlock);
  return ArtboardOf(ReadVersionedDescriptor(cursor, budget), space, block.Offset);
}

}  // namespace

bool BlendIfRange::Full() const {
  return BlackLow <= 0 && BlackHigh <= 0 && WhiteLow >= 255 && WhiteHigh >= 255;
}

float BlendIfRange::Weight(float value) const {
  // Values come from floats of 8- and 16-bit samples: allow their rounding.
  constexpr float kSlack = 1e-3f;
  float black = 1.0f;
  if (BlackHigh > BlackLow) {
    black = std::clamp((value - BlackLow) / (BlackHigh - BlackLow), 0.0f, 1.0f);
  } else if (value < BlackLow - kSlack) {
    black = 0.0f;
  }
  float white = 1.0f;
  if (WhiteHigh > WhiteLow) {
    white = std::clamp((WhiteHigh - value) / (WhiteHigh - WhiteLow), 0.0f, 1.0f);
  } else if (value > WhiteHigh + kSlack) {
    white = 0.0f;
  }
  return black * white;
}

std::optional<BlendIfRanges> ReadBlendIfRanges(const std::vector<std::uint8_t>& ranges,
                                               int colourChannels) {
  BlendIfRanges read;
  bool any = false;
  const auto pairs = std::min<std::size_t>(ranges.size() / 8, 1 + std::clamp(colourChannels, 0, 4));
  for (std::size_t k = 0; k < pairs; ++k) {
    const std::uint8_t* at = ranges.data() + 8 * k;
    const auto range = [](const std::uint8_t* b) {
      // Sliders stored out of order would hide everything; keep each half in order.
      const float blackLow = std::min(b[0], b[1]), blackHigh = std::max(b[0], b[1]);
      const float whiteLow = std::min(b[2], b[3]), whiteHigh = std::max(b[2], b[3]);
      return BlendIfRange{blackLow, blackHigh, whiteLow, whiteHigh};
    };
    read.Source[k] = range(at);
    read.Underlying[k] = range(at + 4);
    any = any || !read.Source[k].Full() || !read.Underlying[k].Full();
  }
  if (!any) return std::nullopt;
  return read;
}

BlendingOptions ReadBlendingOptions(const DocumentState& state, const LayerRecord& record,
                                    const AdjustmentSpace& space,
                                    std::vector<std::string>& problems) {
  BlendingOptions options;
  const FileView& file = state.File;
  // 'knko' holds 1 for shallow and 2 for deep.
  const std::uint8_t knockout = FirstByte(file, FindBlock(record.Blocks, "knko")).value_or(0);
  options.KnocksOut =
      knockout == 0 ? Knockout::None : (knockout == 2 ? Knockout::Deep : Knockout::Shallow);
  options.TransparencyShapes = FirstByte(file, FindBlock(record.Blocks, "tsly")).value_or(1) != 0;
  options.KeptChannels =
      KeptChannelsOf(file, FindBlock(record.Blocks, "brst"), space.ColourChannels);
  options.BlendIf = ReadBlendIfRanges(record.BlendingRanges, space.ColourChannels);
  for (const char* key : {"artb", "artd", "abdd"}) {
    const TaggedBlockRef* block = FindBlock(record.Blocks, key);
    if (block == nullptr) continue;
    try {
      options.Artboard = ReadArtboard(file, *block, space);
    } catch (const PsdError& error) {
      problems.push_back(std::string("artboard: ") + error.what());
    }
    break;
  }
  return options;
}

}  // namespace plymark
