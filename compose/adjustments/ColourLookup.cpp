#include "compose/adjustments/AdjustmentReaders.h"
#include "compose/adjustments/LookupTable.h"
#include "compose/adjustments/ReaderSupport.h"
#include "psd/Descriptor.h"

namespace plymark::adjustments {
namespace {

std::string EnumValue(const Descriptor& settings, const char* key) {
  const auto* value = settings.Get<Enumerated>(key);
  return value != nullptr ? value->Value : std::string();
}

std::span<const std::uint8_t> RawBytes(const Descriptor& settings, const char* key) {
  const auto* raw = settings.Get<RawData>(key);
  return raw != nullptr ? std::span<const std::uint8_t>(raw->Bytes)
                        : std::span<const std::uint8_t>();
}

}  // namespace

// The `clrL` block: a 2-byte version, then a descriptor. A 3D lookup keeps
// the table file it was loaded from ('LUT3DFileData', its kind in
// 'LUTFormat') and an ICC profile made from it ('profile'); an abstract or
// device link profile only the profile. The table file is drawn where it is
// a .cube or .3dl, else the profile; a layer that names no table changes
// nothing, as in the maker's dialog before a table is chosen.
AdjustmentRead ReadColourLookup(std::span<const std::uint8_t> data, const AdjustmentSpace& space) {
  BlockCursor cursor = SettingsCursor(data);
  cursor.Skip(2, "version");
  const Descriptor settings = ReadVersionedDescriptor(cursor);
  const std::span<const std::uint8_t> table = RawBytes(settings, "LUT3DFileData");
  const std::span<const std::uint8_t> profile = RawBytes(settings, "profile");
  if (table.empty() && profile.empty()) {
    if (settings.Find("lookupType") == nullptr) return LeavesAsIs();
    return {nullptr, "colour lookup adjustment (its table is not embedded)"};
  }
  if (space.ColorMode != color_mode::kRgb) return NotDrawnIn("colour lookup", space);

  const std::string format = EnumValue(settings, "LUTFormat");
  LookupRead read;
  if (!table.empty() && format == "LUTFormatCUBE") read = ReadCubeTable(table);
  if (!table.empty() && format == "LUTFormat3DL") read = Read3dlTable(table);
  if (!read.Grid && !profile.empty()) read = ReadProfileTable(profile);
  if (!read.Grid) {
    const std::string why =
        read.Problem.empty() ? "a table of kind '" + format + "'" : read.Problem;
    return {nullptr, "colour lookup adjustment (" + why + ")"};
  }
  return {std::make_unique<LookupAdjustment>(std::move(*read.Grid)), {}};
}

}  // namespace plymark::adjustments
