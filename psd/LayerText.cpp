#include "psd/LayerText.h"

#include <algorithm>

#include "psd/BlockCursor.h"
#include "psd/PsdError.h"
#include "psd/TextEngineData.h"

namespace plymark {
namespace {

constexpr std::uint16_t kTypeToolVersion = 1;
constexpr std::uint16_t kTextVersion = 50;
// The transform's six doubles: xx, xy, yx, yy, tx, ty.
constexpr std::size_t kTransformBytes = 48;
// FillColor's type 1: alpha, red, green, blue.
constexpr double kRgbColour = 1;

// UTF-16 units of UTF-8 text: four-byte sequences take two units.
std::size_t Utf16Length(const std::string& text) {
  std::size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<std::uint8_t>(c);
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

const EngineValue* Path(const EngineValue& root, std::initializer_list<std::string_view> keys) {
  const EngineValue* value = &root;
  for (const std::string_view key : keys) {
    if (value == nullptr) return nullptr;
    value = value->Find(key);
  }
  return value;
}

std::optional<double> Number(const EngineValue* value) {
  const double* number = value != nullptr ? value->As<double>() : nullptr;
  return number != nullptr ? std::optional<double>(*number) : std::nullopt;
}

// A count or an index the engine data stores as a number, when it is a whole
// number a document can hold.
std::optional<std::size_t> Whole(std::optional<double> number) {
  constexpr double kLargest = 1e15;
  if (!number || !(*number >= 0 && *number <= kLargest)) return std::nullopt;
  return static_cast<std::size_t>(*number);
}

// A style value of the run's own style sheet, else of the normal one.
const EngineValue* Style(const EngineValue* own, const EngineValue* normal, std::string_view key) {
  const EngineValue* value = own != nullptr ? own->Find(key) : nullptr;
  if (value == nullptr && normal != nullptr) value = normal->Find(key);
  return value;
}

std::optional<std::array<double, 4>> RunColour(const EngineValue* colour) {
  if (colour == nullptr || Number(colour->Find("Type")) != kRgbColour) return std::nullopt;
  std::array<double, 4> argb{};
  const EngineValue* values = colour->Find("Values");
  for (std::size_t k = 0; k < argb.size(); ++k) {
    const auto component = Number(values != nullptr ? values->At(k) : nullptr);
    if (!component) return std::nullopt;
    argb[k] = *component;
  }
  return argb;
}

std::vector<TextRun> StyleRuns(const EngineValue& engine, std::size_t textLength) {
  std::vector<TextRun> runs;
  const EngineValue* styleRun = Path(engine, {"EngineDict", "StyleRun"});
  const EngineValue* resources = engine.Find("ResourceDict");
  const EngineValue* fonts = resources != nullptr ? resources->Find("FontSet") : nullptr;
  const EngineValue* normal = nullptr;
  if (const auto index =
          Whole(Number(resources ? resources->Find("TheNormalStyleSheet") : nullptr))) {
    const EngineValue* sheets = resources->Find("StyleSheetSet");
    const EngineValue* sheet = sheets != nullptr ? sheets->At(*index) : nullptr;
    normal = sheet != nullptr ? sheet->Find("StyleSheetData") : nullptr;
  }
  const EngineValue* array = styleRun != nullptr ? styleRun->Find("RunArray") : nullptr;
  const EngineValue* lengths = styleRun != nullptr ? styleRun->Find("RunLengthArray") : nullptr;
  std::size_t start = 0;
  for (std::size_t k = 0; start < textLength; ++k) {
    const auto length = Number(lengths != nullptr ? lengths->At(k) : nullptr);
    if (!length || !(*length >= 0)) break;
    const EngineValue* run = array != nullptr ? array->At(k) : nullptr;
    const EngineValue* own =
        run != nullptr ? Path(*run, {"StyleSheet", "StyleSheetData"}) : nullptr;
    TextRun text;
    text.Start = start;
    // Compared as doubles: a stored length may be beyond any size.
    const std::size_t left = textLength - start;
    text.Length = *length >= static_cast<double>(left) ? left : static_cast<std::size_t>(*length);
    if (const auto font = Whole(Number(Style(own, normal, "Font"))); font && fonts) {
      const EngineValue* entry = fonts->At(*font);
      const EngineValue* name = entry != nullptr ? entry->Find("Name") : nullptr;
      if (name != nullptr && name->As<std::string>() != nullptr)
        text.Font = *name->As<std::string>();
    }
    text.Size = Number(Style(own, normal, "FontSize"));
    text.Colour = RunColour(Style(own, normal, "FillColor"));
    start += text.Length;
    runs.push_back(std::move(text));
  }
  return runs;
}

}  // namespace

LayerText ReadLayerText(std::span<const std::uint8_t> data, std::int64_t fileOffset,
                        const std::string& context) {
  SettingsBudget budget;
  return ReadLayerText(data, fileOffset, context, budget);
}

LayerText ReadLayerText(std::span<const std::uint8_t> data, std::int64_t fileOffset,
                        const std::string& context, SettingsBudget& budget) {
  BlockCursor cursor(data, fileOffset, context);
  {
    const BlockCursor at = cursor;
    if (cursor.UInt16("type tool version") != kTypeToolVersion) {
      at.Fail("type tool version", "is not 1");
    }
  }
  cursor.Skip(kTransformBytes, "transform");
  {
    const BlockCursor at = cursor;
    if (cursor.UInt16("text version") != kTextVersion) at.Fail("text version", "is not 50");
  }
  LayerText text;
  text.Settings = ReadVersionedDescriptor(cursor, budget);
  if (const std::string* stored = text.Settings.String("Txt ")) text.Text = *stored;
  // Damaged engine data costs the runs only.
  for (DescriptorItem& item : text.Settings.Items) {
    auto* engine = std::get_if<RawData>(&item.Value.Value);
    if (item.Key != "EngineData" || engine == nullptr) continue;
    try {
      const EngineValue root = ReadTextEngineData(engine->Bytes, engine->FileOffset, context);
      text.Runs = StyleRuns(root, Utf16Length(text.Text));
      budget.Take(cursor, text.Runs.size());
    } catch (const PsdError& error) {
      text.Runs.clear();
      text.RunsProblem = error.what();
    }
    engine->Bytes = {};
    break;
  }
  return text;
}

}  // namespace plymark
