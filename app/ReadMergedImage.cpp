#include "app/ReadMergedImage.h"

#include <new>
#include <vector>

#include "psd/PsdError.h"

namespace plymark {

MergedImageResult ReadMergedImage(const DocumentState& state) {
  if (state.Resources.HasRealMergedData == false) {
    return {std::nullopt, "the file was saved without its merged image"};
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
                              state.ColorTable),
            {}};
  } catch (const PsdError& error) {
    return {std::nullopt, error.what()};
  } catch (const std::bad_alloc&) {
    return {std::nullopt, "there is not enough memory for the merged image"};
  }
}

}  // namespace plymark
