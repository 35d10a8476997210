#include <algorithm>
#include <cmath>
#include <numbers>

#include "compose/Paint.h"
#include "compose/StoredRows.h"
#include "psd/ColorModeCodes.h"
#include "psd/Patterns.h"
#include "psd/PsdError.h"
#include "render/DeepSamples.h"

namespace plymark {
namespace {

// A pattern's decoded samples, colour planes and opacity, are held whole:
// at most this many (a 2048 x 1024 RGB pattern with transparency).
constexpr std::size_t kMostSamples = std::size_t{8} << 20;

// Samples of one stored channel as 0..1 (32-bit ones as stored).
void DecodeRows(const FileView& file, const PatternChannel& channel, std::int32_t width,
                std::int32_t height, float* out) {
  const int bytes = channel.Depth == 16 ? 2 : (channel.Depth == 32 ? 4 : 1);
  StoredRows rows(file, channel.Block, static_cast<std::size_t>(width),
                  static_cast<std::size_t>(height), bytes, PlaneName{-1, 0});
  RowScratch scratch;
  for (std::int32_t y = 0; y < height; ++y) {
    const std::uint8_t* row = rows.NextRow(scratch);
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint8_t* at = row + static_cast<std::size_t>(x) * static_cast<std::size_t>(bytes);
      float value = 0;
      if (bytes == 1) {
        value = at[0] / 255.0f;
      } else if (bytes == 2) {
        value = static_cast<float>((at[0] << 8) | at[1]) / 65535.0f;
      } else {
        value = FloatFromBigEndian(at);
      }
      *out++ = value;
    }
  }
}

// A pattern's colour channels in its own mode as a colour the maker's
// descriptors could hold, for bringing it into the document's mode.
DescriptorColour AsDescriptorColour(std::int32_t mode, const float* v) {
  switch (mode) {
    case color_mode::kCmyk:
      return {"CMYC",
              {(1 - v[0]) * 100.0, (1 - v[1]) * 100.0, (1 - v[2]) * 100.0, (1 - v[3]) * 100.0}};
    case color_mode::kLab:
      return {"LbCl", {v[0] * 100.0, v[1] * 255.0 - 128, v[2] * 255.0 - 128}};
    case color_mode::kGrayscale:
    case color_mode::kDuotone:
      return {"Grsc", {(1 - v[0]) * 100.0}};
    default:
      return {"RGBC", {v[0] * 255.0, v[1] * 255.0, v[2] * 255.0}};
  }
}

int ChannelsOfMode(std::int32_t mode) {
  switch (mode) {
    case color_mode::kGrayscale:
    case color_mode::kDuotone:
    case color_mode::kIndexed:
      return 1;
    case color_mode::kCmyk:
      return 4;
    case color_mode::kRgb:
    case color_mode::kLab:
      return 3;
    default:
      return 0;
  }
}

// One tile of a pattern in the document's space: colour planes, then opacity.
struct PatternTile {
  std::int32_t Width = 0, Height = 0;
  int Channels = 0;
  std::vector<float> Samples;  ///< plane c at c * Width * Height
  const float* Plane(int c) const {
    return Samples.data() + static_cast<std::size_t>(c) * static_cast<std::size_t>(Width) *
                                static_cast<std::size_t>(Height);
  }
};

// Decodes `pattern` and brings it into the document's space; a problem when
// it cannot be.
std::string DecodeTile(const FileView& file, const Pattern& pattern, const AdjustmentSpace& space,
                       PatternTile& tile) {
  const std::int32_t width = pattern.Right - pattern.Left;
  const std::int32_t height = pattern.Bottom - pattern.Top;
  const int stored = ChannelsOfMode(pattern.ImageMode);
  if (stored == 0) return "its pattern's colour mode cannot be drawn";
  if (width <= 0 || height <= 0 || width > 30000 || height > 30000) {
    return "its pattern has no pixels";
  }
  const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const int target = space.ColourChannels;
  if (pixels * static_cast<std::size_t>(std::max(stored, target) + 1) > kMostSamples) {
    return "its pattern is larger than " + std::to_string(kMostSamples) + " samples";
  }
  std::vector<float> own(pixels * static_cast<std::size_t>(stored + 1), 1.0f);
  for (int c = 0; c <= stored; ++c) {
    // The transparency is the last slot; without it the pattern is opaque.
    const std::size_t slot = static_cast<std::size_t>(c < stored ? c : pattern.ChannelCount + 1);
    if (slot >= pattern.Channels.size() || !pattern.Channels[slot]) {
      if (c < stored) return "its pattern lacks a colour channel";
      continue;
    }
    const PatternChannel& channel = *pattern.Channels[slot];
    if (channel.Right - channel.Left != width || channel.Bottom - channel.Top != height ||
        (channel.Depth != 8 && channel.Depth != 16 && channel.Depth != 32)) {
      return "its pattern's channels do not fit it";
    }
    DecodeRows(file, channel, width, height, own.data() + static_cast<std::size_t>(c) * pixels);
  }
  tile.Width = width;
  tile.Height = height;
  tile.Channels = target;
  tile.Samples.assign(pixels * static_cast<std::size_t>(target + 1), 0.0f);
  std::copy(own.end() - static_cast<std::ptrdiff_t>(pixels), own.end(),
            tile.Samples.begin() + static_cast<std::ptrdiff_t>(pixels * target));
  std::int32_t mode = pattern.ImageMode;
  if (mode == color_mode::kIndexed) mode = color_mode::kRgb;
  const bool same = mode == space.ColorMode ||
                    (stored == 1 && target == 1 && pattern.ImageMode != color_mode::kIndexed);
  std::array<float, 4> values{};
  for (std::size_t k = 0; k < pixels; ++k) {
    if (pattern.ImageMode == color_mode::kIndexed) {
      const auto index = static_cast<std::size_t>(std::lround(own[k] * 255.0f)) * 3;
      for (std::size_t c = 0; c < 3; ++c) {
        values[c] =
            index + c < pattern.ColourTable.size() ? pattern.ColourTable[index + c] / 255.0f : 0.0f;
      }
    } else {
      for (int c = 0; c < stored; ++c) {
        values[static_cast<std::size_t>(c)] = own[static_cast<std::size_t>(c) * pixels + k];
      }
    }
    if (!same) {
      const auto converted = ColourInSpace(AsDescriptorColour(mode, values.data()), space);
      if (!converted) return "its pattern cannot be brought into the document's colour mode";
      values = converted->Values;
    }
    for (int c = 0; c < target; ++c) {
      tile.Samples[static_cast<std::size_t>(c) * pixels + k] = values[static_cast<std::size_t>(c)];
    }
  }
  return {};
}

double Finite(std::optional<double> value, double otherwise) {
  return value && std::isfinite(*value) ? *value : otherwise;
}

// Tiles the pattern over the document from its origin, scaled and turned.
// Each pixel is sampled between the four nearest pattern pixels, at several
// points of it where the pattern is made smaller (the maker filters it).
class PatternPaint final : public Paint {
 public:
  PatternPaint(std::shared_ptr<const PatternTile> tile, double originX, double originY,
               double scale, double angle)
      : tile_(std::move(tile)),
        originX_(originX),
        originY_(originY),
        cos_(std::cos(angle) / scale),
        sin_(std::sin(angle) / scale),
        exact_(scale == 1.0 && angle == 0.0),
        points_(scale < 1.0 ? std::min(4, static_cast<int>(std::ceil(1.0 / scale))) : 1) {}

  std::uint64_t HeldBytes() const override { return sizeof(float) * tile_->Samples.size(); }

  void FillRow(std::int32_t y, std::int32_t x, std::int32_t count, std::span<float* const> colour,
               float* alpha) const override {
    const int channels = std::min(tile_->Channels, static_cast<int>(colour.size()));
    const float share = 1.0f / static_cast<float>(points_ * points_);
    for (std::int32_t k = 0; k < count; ++k) {
      const double dx = x + k - originX_, dy = y - originY_;
      if (exact_) {
        const std::size_t at = Index(static_cast<std::int64_t>(std::floor(dx)),
                                     static_cast<std::int64_t>(std::floor(dy)));
        for (int c = 0; c < channels; ++c) {
          colour[static_cast<std::size_t>(c)][k] = tile_->Plane(c)[at];
        }
        alpha[k] = tile_->Plane(tile_->Channels)[at];
        continue;
      }
      float sums[5] = {0, 0, 0, 0, 0};
      for (int i = 0; i < points_; ++i) {
        for (int j = 0; j < points_; ++j) {
          const double px = dx + (i + 0.5) / points_, py = dy + (j + 0.5) / points_;
          Sample(px * cos_ - py * sin_ - 0.5, px * sin_ + py * cos_ - 0.5, channels, sums);
        }
      }
      for (int c = 0; c < channels; ++c) colour[static_cast<std::size_t>(c)][k] = sums[c] * share;
      alpha[k] = sums[4] * share;
    }
  }

 private:
  // Adds the colours and opacity between the four pattern pixels around
  // (u, v) to `sums` (opacity in sums[4]).
  void Sample(double u, double v, int channels, float* sums) const {
    const double fu = std::floor(u), fv = std::floor(v);
    const auto u0 = static_cast<std::int64_t>(fu), v0 = static_cast<std::int64_t>(fv);
    const auto su = static_cast<float>(u - fu), sv = static_cast<float>(v - fv);
    const std::size_t a = Index(u0, v0), b = Index(u0 + 1, v0);
    const std::size_t c0 = Index(u0, v0 + 1), d = Index(u0 + 1, v0 + 1);
    const auto mix = [&](const float* plane) {
      const float top = plane[a] + (plane[b] - plane[a]) * su;
      const float bottom = plane[c0] + (plane[d] - plane[c0]) * su;
      return top + (bottom - top) * sv;
    };
    for (int c = 0; c < channels; ++c) sums[c] += mix(tile_->Plane(c));
    sums[4] += mix(tile_->Plane(tile_->Channels));
  }

  // The sample of pattern pixel (u, v), wrapped into the tile.
  std::size_t Index(std::int64_t u, std::int64_t v) const {
    const std::int64_t w = tile_->Width, h = tile_->Height;
    u = ((u % w) + w) % w;
    v = ((v % h) + h) % h;
    return static_cast<std::size_t>(v * w + u);
  }

  std::shared_ptr<const PatternTile> tile_;
  double originX_, originY_;
  double cos_, sin_;
  bool exact_;
  int points_;
};

}  // namespace

// The pattern is laid from the layer's reference point moved by its phase, in
// whole pixels: measured on the maker's files.
PaintRead ReadPatternPaint(const Descriptor& settings, const DocumentState& state,
                           const PaintFrame& frame, const AdjustmentSpace& space) {
  const Descriptor* named = settings.Object("Ptrn");
  const std::string* id = named != nullptr ? named->String("Idnt") : nullptr;
  if (id == nullptr) return {nullptr, "it names no pattern"};
  // The id is stored with the string's trailing NUL.
  const std::string wanted(id->c_str());
  auto tile = std::make_shared<PatternTile>();
  try {
    const auto pattern = FindPattern(state.File, state.GlobalBlocks, wanted);
    if (!pattern) return {nullptr, "its pattern is not in the document"};
    const std::string problem = DecodeTile(state.File, *pattern, space, *tile);
    if (!problem.empty()) return {nullptr, problem};
  } catch (const PsdError& error) {
    return {nullptr, std::string("its pattern is damaged (") + error.what() + ")"};
  }
  const double scale = std::clamp(Finite(settings.Number("Scl "), 100) / 100, 0.001, 1000.0);
  const double angle = Finite(settings.Number("Angl"), 0) * std::numbers::pi / 180;
  double originX = frame.ReferenceX, originY = frame.ReferenceY;
  if (const Descriptor* phase = settings.Object("phase")) {
    originX += Finite(phase->Number("Hrzn"), 0);
    originY += Finite(phase->Number("Vrtc"), 0);
  }
  originX = std::round(std::clamp(originX, -1e9, 1e9));
  originY = std::round(std::clamp(originY, -1e9, 1e9));
  return {std::make_unique<PatternPaint>(std::move(tile), originX, originY, scale, angle), {}};
}

}  // namespace plymark
