#include "app/OpenWorkflow.h"

#include "app/ReadLayerSection.h"
#include "psd/CodePage.h"
#include "psd/FileHeader.h"
#include "psd/PsdError.h"

namespace plymark {

std::optional<OpenFailure> OpenDocument(const std::string& path, DocumentState& state,
                                        FileSource& files, MessageSink& messages,
                                        TileSurface& tiles, StageClock* clock) {
  state.FileName = path;
  // The previous file's bytes and the blocks that view them go before the
  // next file is read, so that two files never take memory at once.
  state.ChannelData.clear();
  state.File.reset();
  OpenedFile opened;
  {
    const StageTimer timer(clock, Stage::FileRead);
    opened = files.Open(path);
  }
  if (!opened.Bytes) return OpenFailure{"the file cannot be opened: " + opened.Error};

  // The document keeps the bytes alive: the channel blocks view them.
  state.File = opened.Bytes;
  const FileView file = opened.Bytes->View();
  try {
    {
      const StageTimer timer(clock, Stage::Parsing);
      ReadFileHeader(file, state);
      ReadColorModeSection(file, state, messages);
      ReadImageResourceSection(file, state);
    }
    ReadLayerSection(file, state, messages, tiles, clock);
  } catch (const PsdError& error) {
    return OpenFailure{error.what()};
  } catch (const std::bad_alloc&) {
    return OpenFailure{"there is not enough memory to show it"};
  }
  tiles.ResetTilesFrom(state.LayerCount);
  return std::nullopt;
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
