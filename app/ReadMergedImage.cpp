#include "app/ReadMergedImage.h"

#include <new>
#include <vector>

#include "app/ColourProfile.h"
#include "platform/MessageSink.h"
#include "psd/FileHeader.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"
#include "render/LayerLoop.h"

namespace plymark {

MergedImageResult ReadMergedImage(const DocumentState& state) {
  if (state.Resources.HasRealMergedData == false) {
    return {std::nullopt, "the file was saved without its merged image"};
  }
  // A PSB's merged image may be far larger than any picture that can be
  // held, as its layers may.
  const FileHeader& header = state.Header;
  if (header.Rows > kLargestLayerSide || header.Columns > kLargestLayerSide) {
    return {std::nullopt, "the merged image measures " + std::to_string(header.Columns) + " x " +
                              std::to_string(header.Rows) + " pixels, more than the " +
                              std::to_string(kLargestLayerSide) + " a side Plymark shows"};
  }
  const std::int64_t offset = state.ImageDataOffset;
  const std::int64_t stored = state.File.size() - offset;
  if (offset < 0 || stored <= 0) {
    return {std::nullopt, "the file ends at byte " + std::to_string(state.File.size()) +
                              " before its merged image"};
  }
  try {
    std::vector<std::uint8_t> section(static_cast<std::size_t>(stored));
    state.File.ReadInto(offset, section, "merged image");
    const int transparency =
        MergedTransparencyChannel(state.Header.Channels, state.Header.ColorMode, state.Resources,
                                  state.MergedTransparencyBlock);
    return {DecodeMergedImage(section, offset, MergedLayoutOf(state.Header, transparency),
                              state.ColorTable, state.Colour.get()),
            {}};
  } catch (const PsdError& error) {
    return {std::nullopt, error.what()};
  } catch (const std::bad_alloc&) {
    return {std::nullopt, "there is not enough memory for the merged image"};
  }
}

namespace {

class NoMessages final : public MessageSink {
 public:
  void ShowMessage(std::string_view) override {}
  void ShowOpenError(std::string_view) override {}
};

}  // namespace

std::optional<std::string> ReadMergedImageFront(const std::string& path, FileSource& files,
                                                DocumentState& state) {
  state = DocumentState{};
  state.FileName = path;
  const OpenedFile opened = files.Open(path);
  if (!opened.File) return "the file cannot be opened: " + opened.Error;
  state.File = FileView(opened.File);
  try {
    NoMessages messages;
    if (const auto refusal = ReadFrontSections(state.File, state, messages)) {
      return "the file cannot be opened: " + *refusal;
    }
    ReadLayerSectionBounds(state.File, state);
    SetUpColourProfile(state.File, state, messages);
  } catch (const PsdError& error) {
    return error.what();
  } catch (const std::bad_alloc&) {
    return "there is not enough memory to read it";
  }
  return std::nullopt;
}

MergedImageResult ReadMergedImageOnly(const std::string& path, FileSource& files,
                                      DocumentState& state) {
  if (auto problem = ReadMergedImageFront(path, files, state)) return {std::nullopt, *problem};
  return ReadMergedImage(state);
}

}  // namespace plymark
