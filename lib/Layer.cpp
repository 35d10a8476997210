#include "plymark/Layer.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

#include "lib/DocumentData.h"
#include "lib/PixelLayouts.h"
#include "lib/ReceiverSurface.h"
#include "plymark/Document.h"
#include "psd/CodePage.h"
#include "render/ChannelPlane.h"
#include "render/DeepSamples.h"
#include "render/LayerSamples16.h"

namespace plymark {
inline namespace v0 {
namespace {

constexpr std::uint8_t kHiddenFlag = 0x02;
constexpr std::int16_t kTransparencyChannel = -1;
constexpr const char* kTooLarge = "wider or higher than the 30000 pixels a layer image can have";

// One layer painted into a picture of its own.
class PictureSurface final : public TileSurface {
 public:
  int TileCount() const override { return 1; }
  void ResizeTile(int, int width, int height) override {
    picture = NewImage(width, height, PixelFormat::Argb32);
  }
  std::uint32_t* ImageRow(int, int y) override {
    return reinterpret_cast<std::uint32_t*>(picture.Row(y));
  }
  void ShowImage(int) override {}
  void DescribeTile(int, std::string_view) override {}
  void ResetTilesFrom(int) override {}

  Image picture;
};

// The document's colour conversion set aside while stored colours are read.
class StoredColours {
 public:
  StoredColours(DocumentState& state, bool stored) : state_(state) {
    if (stored) kept_ = std::exchange(state_.Colour, nullptr);
  }
  ~StoredColours() {
    if (kept_) state_.Colour = std::move(kept_);
  }
  StoredColours(const StoredColours&) = delete;
  StoredColours& operator=(const StoredColours&) = delete;

 private:
  DocumentState& state_;
  std::shared_ptr<const DocumentColour> kept_;
};

void CheckDepth(int depth) {
  if (depth != 8 && depth != 16) {
    throw Error("pictures have 8 or 16 bits per sample, not " + std::to_string(depth));
  }
}

// A side of the layer's rectangle, as the layer loop measures it.
std::int32_t Side(std::int32_t a, std::int32_t b) {
  const std::int64_t side = std::llabs(static_cast<std::int64_t>(a) - b);
  return static_cast<std::int32_t>(std::min<std::int64_t>(side, kLargestLayerSide + 1));
}

const LayerRecord& RecordOf(const detail::DocumentData& data, int layer) {
  return data.State.Layers[static_cast<std::size_t>(layer)];
}

// Runs `read` on the document's state, its reads taking turns, with the
// library's errors for what the readers throw.
template <typename Read>
auto WithState(detail::DocumentData& data, int layer, const Read& read) {
  const std::lock_guard lock(data.Lock);
  try {
    auto result = read(data.State);
    data.State.Pixels = {};  // the pixel buffer of the plane-by-plane way
    return result;
  } catch (const PsdError& error) {
    data.State.Pixels = {};
    throw ErrorOf(error);
  } catch (const std::bad_alloc&) {
    data.State.Pixels = {};
    throw Error("there is not enough memory for layer " + std::to_string(layer));
  }
}

}  // namespace

Layer::Layer(std::shared_ptr<detail::DocumentData> data, int index)
    : data_(std::move(data)), index_(index) {}

Document Layer::Owner() const {
  return Document(data_);
}

int Layer::Index() const {
  return index_;
}

std::string Layer::Name() const {
  return RecordOf(*data_, index_).Name;
}

RecordKind Layer::Kind() const {
  const auto& places = data_->State.Places;
  const auto index = static_cast<std::size_t>(index_);
  switch (index < places.size() ? places[index].Kind : LayerKind::Layer) {
    case LayerKind::Group:
      return RecordKind::Group;
    case LayerKind::GroupEnd:
      return RecordKind::GroupEnd;
    case LayerKind::Layer:
      break;
  }
  return RecordKind::Layer;
}

int Layer::Parent() const {
  const auto& places = data_->State.Places;
  const auto index = static_cast<std::size_t>(index_);
  return index < places.size() ? places[index].Parent : -1;
}

bool Layer::Visible() const {
  return (RecordOf(*data_, index_).Flags & kHiddenFlag) == 0;
}
int Layer::Opacity() const {
  return RecordOf(*data_, index_).Opacity;
}
std::string Layer::BlendKey() const {
  return Windows1252ToUtf8(RecordOf(*data_, index_).BlendKey);
}
std::string Layer::BlendSignature() const {
  return Windows1252ToUtf8(RecordOf(*data_, index_).BlendSignature);
}
Rect Layer::Bounds() const {
  const LayerRecord& record = RecordOf(*data_, index_);
  return {record.Left, record.Top, record.Right, record.Bottom};
}
bool Layer::Clipping() const {
  return RecordOf(*data_, index_).Clipping != 0;
}

std::optional<MaskInfo> Layer::Mask() const {
  const auto& mask = RecordOf(*data_, index_).Mask;
  if (!mask) return std::nullopt;
  return MaskInfo{{mask->Left, mask->Top, mask->Right, mask->Bottom},
                  mask->DefaultColor,
                  mask->Flags,
                  HasMaskPlane(data_->State, index_)};
}

std::vector<ChannelInfo> Layer::Channels() const {
  const LayerRecord& record = RecordOf(*data_, index_);
  const auto& blocks = data_->State.ChannelData[static_cast<std::size_t>(index_)].Blocks;
  std::vector<ChannelInfo> channels;
  for (std::size_t m = 0; m < record.ChannelInfo.size(); ++m) {
    channels.push_back({record.ChannelInfo[m].ChannelId,
                        m < blocks.size() ? blocks[m].Compression : std::int16_t{0},
                        record.ChannelInfo[m].ChannelLength});
  }
  return channels;
}

std::optional<std::string> Layer::Skipped() const {
  const auto& checks = data_->Checks;
  const auto index = static_cast<std::size_t>(index_);
  if (index >= checks.size() || !checks[index].Size.Skipped) return std::nullopt;
  return kTooLarge;
}

Image Layer::Pixels(int depth, Colours colours) const {
  CheckDepth(depth);
  const PixelFormat format = depth == 8 ? PixelFormat::Rgba8 : PixelFormat::Rgba16;
  if (Kind() != RecordKind::Layer) return NewImage(0, 0, format);
  const auto index = static_cast<std::size_t>(index_);
  if (index >= data_->Checks.size()) throw Error("the document was opened without its layers");
  const detail::LayerCheck& check = data_->Checks[index];
  if (check.Refusal) throw ErrorOf(*check.Refusal);
  if (const auto skipped = Skipped())
    throw Error("layer " + std::to_string(index_) + " is " + *skipped);
  const LayerSize size = check.Size;
  if (size.Width == 0 || size.Height == 0) return NewImage(0, 0, format);
  return WithState(*data_, index_, [&](DocumentState& state) {
    const StoredColours set(state, colours == Colours::Stored);
    if (depth == 16) {
      Image picture = NewImage(size.Width, size.Height, PixelFormat::Rgba16);
      const std::size_t samples = picture.Bytes().size() / 2;
      DecodeLayer16(state, index_, size, state.Colour.get(),
                    {reinterpret_cast<std::uint16_t*>(picture.Pixels.get()), samples});
      return picture;
    }
    PictureSurface surface;
    RenderLayer(state, index_, size, surface, 0, data_->Rows);
    // A depth that cannot be shown decodes no transparency either.
    std::optional<std::vector<std::uint8_t>> alpha;
    if (BytesPerSample(state.Header.Depth) != 0) {
      alpha = ReadGreyChannel(state, index_, kTransparencyChannel, size.Width, size.Height,
                              "rectangle");
    }
    WordsToRgba(surface.picture, alpha);
    return std::move(surface.picture);
  });
}

std::optional<Image> Layer::Transparency(int depth) const {
  CheckDepth(depth);
  const Rect bounds = Bounds();
  const std::int32_t width = Side(bounds.Left, bounds.Right);
  const std::int32_t height = Side(bounds.Top, bounds.Bottom);
  // A layer too large for an image has no transparency picture either.
  if (width > kLargestLayerSide || height > kLargestLayerSide) {
    throw Error("layer " + std::to_string(index_) + " is " + kTooLarge);
  }
  return WithState(*data_, index_, [&](DocumentState& state) -> std::optional<Image> {
    if (BytesPerSample(state.Header.Depth) == 0) return std::nullopt;
    if (depth == 8) {
      auto plane = ReadGreyChannel(state, index_, kTransparencyChannel, width, height, "rectangle");
      if (!plane) return std::nullopt;
      return GreyPicture(std::move(*plane), width, height);
    }
    auto plane = ReadGreyChannel16(state, index_, kTransparencyChannel, width, height, "rectangle");
    if (!plane) return std::nullopt;
    return GreyPicture(std::move(*plane), width, height);
  });
}

std::optional<Image> Layer::MaskPixels(int depth) const {
  CheckDepth(depth);
  return WithState(*data_, index_, [&](DocumentState& state) -> std::optional<Image> {
    // A mask with a picture has sides of 1 to 30000 pixels.
    const auto mask = state.Layers[static_cast<std::size_t>(index_)].Mask;
    const auto width = static_cast<int>(mask ? std::int64_t{mask->Right} - mask->Left : 0);
    const auto height = static_cast<int>(mask ? std::int64_t{mask->Bottom} - mask->Top : 0);
    if (depth == 8) {
      auto plane = ReadMaskPlane(state, index_);
      if (!plane) return std::nullopt;
      return GreyPicture(std::move(*plane), width, height);
    }
    auto plane = ReadMaskPlane16(state, index_);
    if (!plane) return std::nullopt;
    return GreyPicture(std::move(*plane), width, height);
  });
}

}  // namespace v0
}  // namespace plymark
