// libFuzzer target: the readers of the maker's settings blocks. The first
// input byte picks the reader, the rest is the block's data: a versioned
// descriptor (fill layers, newer adjustments), an effects block ('lfx2'),
// text ('TySh'), text engine data alone, the older effects ('lrFX'), a
// linked-files block ('lnk2'), a smart object's id block ('SoLd', 'PlLd'), or
// an adjustment stored as fixed fields (the next byte picks its key).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "psd/BinaryAdjustments.h"
#include "psd/BlockCursor.h"
#include "psd/Descriptor.h"
#include "psd/LayerText.h"
#include "psd/LegacyEffects.h"
#include "psd/LinkedFiles.h"
#include "psd/PsdError.h"
#include "psd/TextEngineData.h"

namespace {

using plymark::BlockCursor;

void Read(std::uint8_t reader, std::span<const std::uint8_t> data) {
  const std::string context = "the fuzzed block";
  BlockCursor cursor(data, 0, context);
  switch (reader % 9) {
    case 0:
      plymark::ReadVersionedDescriptor(cursor);
      break;
    case 1:
      cursor.Skip(4, "effects version");
      plymark::ReadVersionedDescriptor(cursor);
      break;
    case 2:
      plymark::ReadLayerText(data, 0, context);
      break;
    case 3:
      plymark::ReadTextEngineData(data, 0, context);
      break;
    case 4: {
      plymark::SettingsBudget budget;
      plymark::ReadLegacyEffects(data, 0, context, budget);
      break;
    }
    case 5: {
      // The block as the document's only global block, viewed in memory.
      const plymark::FileView file(data);
      const std::vector<plymark::TaggedBlockRef> blocks = {
          {"lnk2", 0, static_cast<std::int64_t>(data.size())}};
      plymark::ReadLinkedFiles(file, blocks);
      break;
    }
    case 6:
      plymark::ReadSmartObjectId("SoLd", data, 0, context);
      break;
    case 7:
      plymark::ReadSmartObjectId("PlLd", data, 0, context);
      break;
    default: {
      static constexpr std::array<std::string_view, 12> kKeys = {"brit", "levl", "hue2", "hue ",
                                                                 "expA", "nvrt", "post", "thrs",
                                                                 "blnc", "phfl", "mixr", "selc"};
      const std::string_view key = kKeys[cursor.UInt8("adjustment") % kKeys.size()];
      plymark::ReadBinaryAdjustment(key, cursor);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  try {
    Read(data[0], std::span(data + 1, size - 1));
  } catch (const plymark::PsdError&) {
    // A damaged block is reported, never a crash.
  }
  return 0;
}
