#include "app/OpenWorkflow.h"

#include <string_view>

#include "app/ReadLayerSection.h"
#include "app/ReadMergedImage.h"
#include "psd/CodePage.h"
#include "psd/FileHeader.h"
#include "psd/PsdError.h"
#include "render/LayerLoop.h"

namespace plymark {
namespace {

// A file that fails to open and does not start as every PSD and PSB does is
// most likely no such file at all: say so beside what went wrong.
std::string WithSignatureHint(const FileView& file, std::string problem) {
  constexpr std::string_view kSignature = "8BPS";
  std::string_view start;
  try {
    const auto bytes = file.BytesUpTo(0, kSignature.size());
    start = std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  } catch (const PsdError&) {
    return problem;  // the start cannot be read again: nothing to add
  }
  if (start != kSignature) {
    problem += "; the file does not look like a PSD or PSB file, which starts with \"8BPS\"";
  }
  return problem;
}

// A document without layers shows its merged image in tile 0, sized and
// painted as a layer would be. True when the tile shows it.
bool ShowMergedImage(DocumentState& state, MessageSink& messages, TileSurface& tiles) {
  if (state.Header.Rows <= 0 || state.Header.Columns <= 0) return false;
  const MergedImageResult merged = ReadMergedImage(state);
  if (!merged.Image) {
    messages.ShowMessage("The merged image cannot be shown: " + merged.Problem + ".");
    return false;
  }
  const MergedImage& image = *merged.Image;
  tiles.ResizeTile(0, image.Width, image.Height);
  tiles.DescribeTile(0, "Merged image (the document has no layers)");
  for (std::int32_t y = 0; y < image.Height; ++y) {
    OpaqueRow(image, y, {tiles.ImageRow(0, y), static_cast<std::size_t>(image.Width)});
  }
  tiles.ShowImage(0);
  return true;
}

// Opens the file at `path` and reads it up to and including its layer
// section: painted into `tiles`, or, without tiles, its structure alone.
std::optional<OpenFailure> ReadDocument(const std::string& path, DocumentState& state,
                                        FileSource& files, MessageSink& messages,
                                        TileSurface* tiles, StageClock* clock) {
  state.FileName = path;
  // The previous file's blocks and pixels go before the next file is read,
  // so that two files never take memory at once; the channel buffer is
  // reused.
  state.ChannelData.clear();
  state.LoadedLayer = -1;
  state.Pixels = {};
  state.File = FileView();
  OpenedFile opened;
  {
    const StageTimer timer(clock, Stage::FileRead);
    opened = files.Open(path);
  }
  if (!opened.File) return OpenFailure{"the file cannot be opened: " + opened.Error};

  state.File = FileView(opened.File);
  const FileView file = state.File;
  try {
    {
      const StageTimer timer(clock, Stage::Parsing);
      if (const auto refusal = ReadFrontSections(file, state, messages)) {
        return OpenFailure{"the file cannot be opened: " + *refusal};
      }
    }
    if (tiles != nullptr) {
      ReadLayerSection(file, state, messages, *tiles, clock);
    } else {
      ReadLayerStructure(file, state, messages, clock);
    }
  } catch (const PsdError& error) {
    return OpenFailure{WithSignatureHint(file, error.what()), error.Offset()};
  } catch (const std::bad_alloc&) {
    return OpenFailure{"there is not enough memory to show it"};
  }
  return std::nullopt;
}

}  // namespace

std::optional<OpenFailure> OpenDocument(const std::string& path, DocumentState& state,
                                        FileSource& files, MessageSink& messages,
                                        TileSurface& tiles, StageClock* clock,
                                        bool mergedImageOfFlatDocument) {
  if (auto failure = ReadDocument(path, state, files, messages, &tiles, clock)) return failure;
  int firstUnused = state.LayerCount;
  if (state.LayerCount == 0 && mergedImageOfFlatDocument && tiles.TileCount() > 0) {
    const StageTimer timer(clock, Stage::PlaneDecoding);
    if (ShowMergedImage(state, messages, tiles)) firstUnused = 1;
  }
  tiles.ResetTilesFrom(firstUnused);
  return std::nullopt;
}

std::optional<OpenFailure> OpenDocumentStructure(const std::string& path, DocumentState& state,
                                                 FileSource& files, MessageSink& messages) {
  return ReadDocument(path, state, files, messages, nullptr, nullptr);
}

std::vector<std::string> SummaryItems(const DocumentState& state) {
  const FileHeader& header = state.Header;
  return {
      Windows1252ToUtf8(header.Signature),         "Channels" + std::to_string(header.Channels),
      "Depth   " + std::to_string(header.Depth),   "Rows    " + std::to_string(header.Rows),
      "Columns " + std::to_string(header.Columns), "Layers  " + std::to_string(state.LayerCount),
  };
}

std::string OpenErrorText(const std::string& path, const OpenFailure& failure) {
  return "Plymark cannot open \"" + path + "\": " + failure.Problem + ".";
}

}  // namespace plymark
