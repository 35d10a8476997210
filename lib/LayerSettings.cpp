// What each layer's settings blocks say, through the Layer handle.

#include <algorithm>
#include <cmath>
#include <new>

#include "lib/DocumentData.h"
#include "lib/SettingsJson.h"
#include "plymark/Layer.h"

namespace plymark {
inline namespace v0 {
namespace {

// Embedded files are read in pieces of this size.
constexpr std::size_t kFilePiece = std::size_t{4} << 20;
constexpr const char* kEmbedded = "liFD";

// A colour component of the engine data (0 to 1) as 0 to 255.
std::uint8_t EightBit(double component) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(component, 0.0, 1.0) * 255));
}

// Four characters as stored, from Latin-1, without the spaces and zero
// bytes that pad them; none when nothing is left.
std::optional<std::string> FourCharacters(const std::string& stored) {
  std::string text;
  for (const char c : stored) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  if (text.empty()) return std::nullopt;
  return text;
}

std::string LinkKind(const std::string& type) {
  if (type == kEmbedded) return "embedded";
  if (type == "liFE") return "external";
  return "alias";
}

std::optional<SettingsJson> JsonOf(const std::optional<SettingsBlock>& block) {
  if (!block) return std::nullopt;
  SettingsJson json{ValidUtf8(block->Key), std::nullopt};
  if (block->Settings) json.Json = DescriptorJsonText(*block->Settings);
  return json;
}

// Runs `read` on the layer's settings and the document's linked files, the
// document's reads taking turns.
template <typename Read>
auto WithSettings(detail::DocumentData& data, int layer, const Read& read) {
  const std::lock_guard lock(data.Lock);
  const DocumentSettings& settings = detail::SettingsOf(data);
  return read(settings.Layers[static_cast<std::size_t>(layer)], settings.Linked);
}

// The embedded file of a layer's smart object, or null.
const LinkedFile* EmbeddedOf(const LayerSettings& own, const LinkedFiles& linked) {
  if (!own.SmartObjectId) return nullptr;
  const LinkedFile* file = FindLinkedFile(linked, *own.SmartObjectId);
  return file != nullptr && file->Type == kEmbedded ? file : nullptr;
}

}  // namespace

namespace detail {

const DocumentSettings& SettingsOf(DocumentData& data) {
  if (!data.Settings) {
    try {
      data.Settings = ReadDocumentSettings(data.State);
    } catch (const std::bad_alloc&) {
      throw Error("there is not enough memory for the layers' settings");
    }
  }
  return *data.Settings;
}

}  // namespace detail

std::optional<std::int32_t> Layer::Id() const {
  return WithSettings(*data_, index_,
                      [](const LayerSettings& own, const LinkedFiles&) { return own.Id; });
}

std::optional<LayerTextContent> Layer::Text() const {
  return WithSettings(
      *data_, index_,
      [](const LayerSettings& own, const LinkedFiles&) -> std::optional<LayerTextContent> {
        if (!own.Text) return std::nullopt;
        LayerTextContent text{ValidUtf8(own.Text->Text), {}};
        for (const TextRun& run : own.Text->Runs) {
          std::optional<Rgba8Color> colour;
          if (run.Colour) {
            const auto& argb = *run.Colour;
            colour = Rgba8Color{EightBit(argb[1]), EightBit(argb[2]), EightBit(argb[3]),
                                EightBit(argb[0])};
          }
          text.Runs.push_back({static_cast<std::int64_t>(run.Start),
                               static_cast<std::int64_t>(run.Length), ValidUtf8(run.Font), run.Size,
                               colour});
        }
        return text;
      });
}

std::optional<SmartObjectInfo> Layer::SmartObject() const {
  return WithSettings(
      *data_, index_,
      [](const LayerSettings& own, const LinkedFiles& linked) -> std::optional<SmartObjectInfo> {
        if (!own.SmartObjectId) return std::nullopt;
        SmartObjectInfo info;
        info.UniqueId = ValidUtf8(*own.SmartObjectId);
        if (const LinkedFile* file = FindLinkedFile(linked, *own.SmartObjectId)) {
          info.LinkKind = LinkKind(file->Type);
          info.FileName = ValidUtf8(file->FileName);
          info.FileType = FourCharacters(file->FileType);
          info.Embedded = file->Type == kEmbedded;
          if (info.Embedded) info.EmbeddedSize = file->DataLength;
        }
        return info;
      });
}

std::optional<SettingsJson> Layer::Effects() const {
  return WithSettings(
      *data_, index_,
      [](const LayerSettings& own, const LinkedFiles&) -> std::optional<SettingsJson> {
        if (own.Effects) return JsonOf(own.Effects);
        if (!own.OldEffects) return std::nullopt;
        return SettingsJson{"lrFX", LegacyEffectsJsonText(*own.OldEffects)};
      });
}

std::optional<SettingsJson> Layer::Adjustment() const {
  return WithSettings(*data_, index_, [](const LayerSettings& own, const LinkedFiles&) {
    return JsonOf(own.Adjustment);
  });
}

std::optional<SettingsJson> Layer::Fill() const {
  return WithSettings(*data_, index_, [](const LayerSettings& own, const LinkedFiles&) {
    return JsonOf(own.Fill);
  });
}

std::vector<std::string> Layer::BlockProblems() const {
  return WithSettings(*data_, index_, [](const LayerSettings& own, const LinkedFiles&) {
    std::vector<std::string> problems;
    for (const std::string& problem : own.Problems) problems.push_back(ValidUtf8(problem));
    if (own.Text && !own.Text->RunsProblem.empty()) {
      problems.push_back(ValidUtf8("TySh: " + own.Text->RunsProblem));
    }
    return problems;
  });
}

bool Layer::ReadEmbeddedFile(
    const std::function<void(const std::uint8_t* bytes, std::size_t count)>& take) const {
  std::int64_t offset = 0;
  std::int64_t length = 0;
  {
    const bool embedded =
        WithSettings(*data_, index_, [&](const LayerSettings& own, const LinkedFiles& linked) {
          const LinkedFile* file = EmbeddedOf(own, linked);
          if (file == nullptr) return false;
          offset = file->DataOffset;
          length = file->DataLength;
          return true;
        });
    if (!embedded) return false;
  }
  std::vector<std::uint8_t> piece;
  for (std::int64_t done = 0; done < length;) {
    const auto count = static_cast<std::size_t>(
        std::min<std::int64_t>(length - done, static_cast<std::int64_t>(kFilePiece)));
    try {
      piece.resize(count);
      const std::lock_guard lock(data_->Lock);
      data_->State.File.ReadInto(offset + done, piece, "embedded file");
    } catch (const PsdError& error) {
      throw ErrorOf(error);
    } catch (const std::bad_alloc&) {
      throw Error("there is not enough memory for the embedded file");
    }
    take(piece.data(), count);
    done += static_cast<std::int64_t>(count);
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> Layer::EmbeddedFile() const {
  std::vector<std::uint8_t> bytes;
  try {
    const bool embedded = ReadEmbeddedFile([&bytes](const std::uint8_t* piece, std::size_t count) {
      bytes.insert(bytes.end(), piece, piece + count);
    });
    if (!embedded) return std::nullopt;
  } catch (const std::bad_alloc&) {
    throw Error("there is not enough memory for the embedded file");
  }
  return bytes;
}

}  // namespace v0
}  // namespace plymark
