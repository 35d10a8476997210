#include "plymark/Document.h"

#include <new>
#include <stdexcept>

#include "app/OpenWorkflow.h"
#include "app/ReadLayerSection.h"
#include "app/ReadMergedImage.h"
#include "lib/DocumentData.h"
#include "lib/PixelLayouts.h"
#include "lib/ReceiverSurface.h"
#include "platform/MessageSink.h"
#include "platform/SystemFileSource.h"
#include "psd/ChannelData.h"
#include "psd/CodePage.h"
#include "psd/LayerRecords.h"

namespace plymark {
inline namespace v0 {
namespace {

constexpr std::int16_t kOldThumbnailResource = 1033;

// The Open's notices, kept and passed on.
class NoticeSink final : public MessageSink {
 public:
  explicit NoticeSink(detail::DocumentData& data) : data_(data) {}
  void ShowMessage(std::string_view text) override {
    data_.Notices.emplace_back(text);
    if (data_.OnNotice) data_.OnNotice(data_.Notices.back());
  }
  void ShowOpenError(std::string_view) override {}

 private:
  detail::DocumentData& data_;
};

// One file held in memory, opened under any name.
class MemoryFileSource final : public FileSource {
 public:
  explicit MemoryFileSource(std::vector<std::uint8_t> bytes)
      : file_(std::make_shared<MemoryFile>(std::move(bytes))) {}
  OpenedFile Open(const std::string&) override { return {file_, {}}; }

 private:
  std::shared_ptr<const RandomAccessFile> file_;
};

// Checks every layer's size as the layer loop does, so that each can be
// decoded alone later; PSB layers too large for an image are left out, with
// the Open's message when `messages` is given.
void CheckLayers(detail::DocumentData& data, MessageSink* messages) {
  DocumentState& state = data.State;
  std::int64_t unfilledSoFar = 0;
  state.SkippedLayers.clear();
  data.Checks.resize(static_cast<std::size_t>(state.LayerCount));
  for (int i = 0; i < state.LayerCount; ++i) {
    detail::LayerCheck& check = data.Checks[static_cast<std::size_t>(i)];
    try {
      check.Size = CheckLayerSize(state, i, unfilledSoFar);
    } catch (const PsdError& error) {
      check.Refusal = error;
      continue;
    }
    if (check.Size.Skipped) state.SkippedLayers.push_back({i, check.Size.Width, check.Size.Height});
  }
  if (messages != nullptr && !state.SkippedLayers.empty()) {
    messages->ShowMessage(SkippedLayersText(state));
  }
}

std::shared_ptr<detail::DocumentData> OpenData(const std::string& path, FileSource& files,
                                               const OpenOptions& options) {
  auto data = std::make_shared<detail::DocumentData>();
  data->OnNotice = options.OnNotice;
  NoticeSink messages(*data);
  const std::lock_guard lock(data->Lock);
  if (options.Read == Reading::MergedImageOnly) {
    // Damage behind the file's opening costs only the merged image: the
    // thumbnail of the resources read before it may still stand in.
    data->MergedImageProblem = ReadMergedImageFront(path, files, data->State);
    if (data->MergedImageProblem && data->State.File.size() == 0) {
      throw Error(*data->MergedImageProblem);
    }
    data->LayersUnread = !data->MergedImageProblem;
    return data;
  }
  std::optional<OpenFailure> failure;
  if (options.Layers != nullptr) {
    ReceiverSurface tiles(data, *options.Layers);
    failure = OpenDocument(path, data->State, files, messages, tiles, nullptr, false);
    // The layer loop has said what it left out; the checks stand for later reads.
    if (!failure) CheckLayers(*data, nullptr);
  } else {
    failure = OpenDocumentStructure(path, data->State, files, messages);
    if (!failure) CheckLayers(*data, &messages);
  }
  if (failure) throw Error(failure->Problem, failure->Offset);
  return data;
}

// A resolution unit's name in layers.json, else its code.
std::string UnitName(std::int16_t unit, bool resolution) {
  static const char* const kResolutionUnits[] = {"pixelsPerInch", "pixelsPerCentimeter"};
  static const char* const kSideUnits[] = {"inches", "centimeters", "points", "picas", "columns"};
  if (resolution && unit >= 1 && unit <= 2) return kResolutionUnits[unit - 1];
  if (!resolution && unit >= 1 && unit <= 5) return kSideUnits[unit - 1];
  return std::to_string(unit);
}

}  // namespace

namespace detail {

void ReadLayersOf(DocumentData& data) {
  if (data.LayersFailure) throw *data.LayersFailure;
  if (!data.LayersUnread) return;
  data.LayersUnread = false;
  DocumentState& state = data.State;
  try {
    NoticeSink messages(data);
    ReadChannelData(state.File, state, ReadLayerRecords(state.File, state, messages));
    CheckLayers(data, &messages);
  } catch (const PsdError& error) {
    data.LayersFailure = ErrorOf(error);
  } catch (const std::bad_alloc&) {
    data.LayersFailure = Error("there is not enough memory to read its layers");
  }
  if (data.LayersFailure) {
    // A document whose records could not be read has none.
    state.LayerCount = 0;
    state.Layers.clear();
    state.Places.clear();
    state.ChannelData.clear();
    data.Checks.clear();
    throw *data.LayersFailure;
  }
  data.Settings.reset();
}

}  // namespace detail

Document::Document(std::shared_ptr<detail::DocumentData> data) : data_(std::move(data)) {}

Document Document::Open(const std::string& path, const OpenOptions& options) {
  SystemFileSource files;
  return Document(OpenData(path, files, options));
}

Document Document::FromMemory(std::vector<std::uint8_t> bytes, const OpenOptions& options,
                              const std::string& name) {
  MemoryFileSource files(std::move(bytes));
  return Document(OpenData(name, files, options));
}

std::string Document::FileName() const {
  return data_->State.FileName;
}
std::string Document::Signature() const {
  return Windows1252ToUtf8(data_->State.Header.Signature);
}
int Document::Version() const {
  return data_->State.Header.Version;
}
int Document::Channels() const {
  return data_->State.Header.Channels;
}
int Document::Width() const {
  return data_->State.Header.Columns;
}
int Document::Height() const {
  return data_->State.Header.Rows;
}
int Document::Depth() const {
  return data_->State.Header.Depth;
}
int Document::ColorMode() const {
  return data_->State.Header.ColorMode;
}
std::optional<std::string> Document::ColorProfile() const {
  return data_->State.ColorProfile;
}
bool Document::ColorManaged() const {
  const std::lock_guard lock(data_->Lock);  // a read of stored colours sets the conversion aside
  return data_->State.Colour != nullptr;
}
std::vector<std::string> Document::Summary() const {
  return SummaryItems(data_->State);
}
std::vector<std::string> Document::Notices() const {
  const std::lock_guard lock(data_->Lock);
  return data_->Notices;
}

int Document::LayerCount() const {
  return data_->State.LayerCount;
}

Layer Document::LayerAt(int index) const {
  if (index < 0 || index >= LayerCount()) {
    throw std::out_of_range("layer " + std::to_string(index) + " of " +
                            std::to_string(LayerCount()));
  }
  return Layer(data_, index);
}

std::vector<Layer> Document::Layers() const {
  std::vector<Layer> layers;
  layers.reserve(static_cast<std::size_t>(LayerCount()));
  for (int i = 0; i < LayerCount(); ++i) layers.push_back(Layer(data_, i));
  return layers;
}

Composite Document::MergedImage(CompositeLayout layout) const {
  const std::lock_guard lock(data_->Lock);
  if (data_->MergedImageProblem) return {std::nullopt, false, *data_->MergedImageProblem};
  MergedImageResult merged = ReadMergedImage(data_->State);
  if (!merged.Image) return {std::nullopt, false, merged.Problem};
  const bool hasAlpha = merged.Image->HasAlpha;
  if (merged.Image->Width <= 0 || merged.Image->Height <= 0) {
    return {std::nullopt, hasAlpha, "the merged image has no pixels"};
  }
  Image picture = WordPicture(std::move(*merged.Image));
  if (layout == CompositeLayout::Bytes) WordsToBytes(picture, hasAlpha);
  return {std::move(picture), hasAlpha, {}};
}

std::optional<StoredThumbnail> Document::Thumbnail() const {
  const std::lock_guard lock(data_->Lock);
  const DocumentState& state = data_->State;
  const auto& thumbnail = state.Resources.Thumbnail;
  if (!thumbnail || thumbnail->Format != 1 || thumbnail->Jpeg.Length <= 0) return std::nullopt;
  StoredThumbnail stored;
  stored.BlueFirst = thumbnail->Id == kOldThumbnailResource;
  try {
    stored.Jpeg.resize(static_cast<std::size_t>(thumbnail->Jpeg.Length));
    state.File.ReadInto(thumbnail->Jpeg.Offset, stored.Jpeg, "thumbnail");
  } catch (const PsdError&) {
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return stored;
}

void Document::ReadLayers() const {
  const std::lock_guard lock(data_->Lock);
  detail::ReadLayersOf(*data_);
}

std::optional<PrintResolution> Document::Resolution() const {
  const auto& info = data_->State.Resources.Resolution;
  if (!info) return std::nullopt;
  return PrintResolution{
      info->Horizontal, UnitName(info->HorizontalUnit, true), UnitName(info->WidthUnit, false),
      info->Vertical,   UnitName(info->VerticalUnit, true),   UnitName(info->HeightUnit, false)};
}

std::optional<std::string> Document::Xmp() const {
  const std::lock_guard lock(data_->Lock);
  const auto& xmp = data_->State.Resources.Xmp;
  if (!xmp) return std::nullopt;
  try {
    std::string packet(static_cast<std::size_t>(xmp->Length), '\0');
    data_->State.File.ReadInto(
        xmp->Offset, {reinterpret_cast<std::uint8_t*>(packet.data()), packet.size()}, "XMP packet");
    return packet;
  } catch (const PsdError& error) {
    throw ErrorOf(error);
  } catch (const std::bad_alloc&) {
    throw Error("there is not enough memory for the XMP packet");
  }
}

}  // namespace v0
}  // namespace plymark
