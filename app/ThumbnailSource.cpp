#include "app/ThumbnailSource.h"

#include <new>
#include <stdexcept>

#include "app/ReadMergedImage.h"
#include "platform/MessageSink.h"
#include "psd/ChannelData.h"
#include "psd/LayerRecords.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

class NoMessages final : public MessageSink {
 public:
  void ShowMessage(std::string_view) override {}
  void ShowOpenError(std::string_view) override {}
};

}  // namespace

ThumbnailSource ReadThumbnailSource(const std::string& path, FileSource& files,
                                    DocumentState& state, int size, const RenderOptions& options) {
  ThumbnailSource source;
  MergedImageResult merged = ReadMergedImageOnly(path, files, state);
  if (merged.Image && merged.Image->Width > 0 && merged.Image->Height > 0) {
    source.Merged = std::move(merged.Image);
    return source;
  }
  source.Problem = merged.Problem.empty() ? "the merged image has no pixels" : merged.Problem;
  // A file that could not be opened, or whose front sections are damaged
  // (the merged image's place was never found), has no layers to draw either.
  if (state.ImageDataOffset <= 0 || state.Header.Rows <= 0 || state.Header.Columns <= 0) {
    return source;
  }
  try {
    NoMessages messages;
    ReadChannelData(state.File, state, ReadLayerRecords(state.File, state, messages));
    // Without layers the drawing would be the merged image again.
    if (state.LayerCount == 0) return source;
    ReducedRender reduced(state, size);
    source.Omissions = RenderDocument(state, reduced, options).Omissions;
    source.Drawn = reduced.TakePicture();
  } catch (const PsdError& error) {
    source.Problem += "; the layers cannot be drawn: " + std::string(error.what());
  } catch (const std::bad_alloc&) {
    source.Problem += "; there is not enough memory to draw the layers";
  } catch (const std::exception& error) {
    source.Problem += "; the layers cannot be drawn: " + std::string(error.what());
  }
  return source;
}

}  // namespace plymark
