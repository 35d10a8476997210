#include <algorithm>
#include <array>
#include <cmath>

#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/ChannelTables.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/BinaryAdjustments.h"

namespace plymark::adjustments {
namespace {

// One channel's levels, in the 0..255 of the maker's dialog whatever the
// document's depth.
struct LevelRecord {
  float InFloor = 0;
  float InCeiling = 255;
  float OutFloor = 0;
  float OutCeiling = 255;
  float Gamma = 1;
};

// The block holds 29 records (the master, then one per channel; the last
// two reserved), and since CS a "Lvls" tail of more for documents of more
// channels, which is not read: their channels take the master alone.
constexpr int kRecords = 29;
constexpr int kChannelRecords = 27;

// Levels clamped to the dialog's 0..255; the gamma is stored in hundredths,
// 0.10 to 9.99 in the dialog.
LevelRecord Clamped(const LevelsRecord& stored) {
  auto level = [](std::int16_t value) {
    return static_cast<float>(std::clamp<int>(value, 0, 255));
  };
  LevelRecord record;
  record.InFloor = level(stored.InputFloor);
  record.InCeiling = level(stored.InputCeiling);
  record.OutFloor = level(stored.OutputFloor);
  record.OutCeiling = level(stored.OutputCeiling);
  record.Gamma = static_cast<float>(std::clamp<int>(stored.Gamma, 10, 999)) / 100.0f;
  return record;
}

// Input range stretched to 0..1, the gamma, then the output range.
float MapLevel(const LevelRecord& record, float value) {
  const float x = value * 255.0f;
  float t = 0.0f;
  if (record.InCeiling > record.InFloor) {
    t = std::clamp((x - record.InFloor) / (record.InCeiling - record.InFloor), 0.0f, 1.0f);
  } else {
    t = x >= record.InFloor ? 1.0f : 0.0f;
  }
  if (record.Gamma != 1.0f) t = std::pow(t, 1.0f / record.Gamma);
  return (record.OutFloor + t * (record.OutCeiling - record.OutFloor)) / 255.0f;
}

}  // namespace

// Measured on the maker's merged images: each channel's record first, then
// the master's, exact at 8 bits except just above an input floor with a
// gamma other than 1, where the maker is up to 5/255 darker.
AdjustmentRead ReadLevels(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  const LevelsFields fields = ReadLevelsFields(cursor);
  if (fields.Version != 2) return UnknownVersion("levels", fields.Version);
  if (fields.Records.size() < kRecords) {
    return {nullptr, "levels adjustment (its settings hold " +
                         std::to_string(fields.Records.size()) + " of the 29 records)"};
  }
  std::array<LevelRecord, kRecords> records;
  for (std::size_t k = 0; k < records.size(); ++k) records[k] = Clamped(fields.Records[k]);

  const int intervals = ToneTableIntervals(space.Depth);
  std::vector<std::vector<float>> tables;
  for (int c = 0; c < space.ColourChannels; ++c) {
    const LevelRecord channel = c + 1 < kChannelRecords ? records[c + 1] : LevelRecord{};
    tables.push_back(SampleToneTable(
        intervals, [&](float v) { return MapLevel(records[0], MapLevel(channel, v)); }));
  }
  return {std::make_unique<ChannelTables>(std::move(tables)), {}};
}

}  // namespace plymark::adjustments
