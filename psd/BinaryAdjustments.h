#pragma once

#include <optional>
#include <string_view>

#include "psd/Descriptor.h"

namespace plymark {

class BlockCursor;

// The settings of the adjustments stored as fixed fields rather than as a
// descriptor, given the same face as a descriptor: an object whose class is
// the block's key and whose items are the fields, named as the format
// describes them. What each holds:
//   "brit" brightness, contrast, mean (long), labOnly (bool);
//   "levl" version (long), records (list of objects "LvlR": inputFloor,
//     inputCeiling, outputFloor, outputCeiling, gamma (long, gamma x 100));
//     the composite first, then one per channel;
//   "hue2", "hue " version, colorize (bool), colorization and master (objects
//     "HStL": hue, saturation, lightness), ranges (list of six objects
//     "HRng": begin, beginRamp, endRamp, end, hue, saturation, lightness);
//   "expA" version, exposure, offset, gamma (doub);
//   "nvrt" nothing; "post" levels; "thrs" level (long);
//   "blnc" shadows, midtones, highlights (lists of three: cyan-red,
//     magenta-green, yellow-blue), preserveLuminosity (bool);
//   "phfl" version, colour ("XYZ " object x, y, z; or an object of its
//     colour space and four components), density (long, percent),
//     preserveLuminosity (bool);
//   "mixr" version, monochrome (bool), channels (list of four objects
//     "ChMx", one per output channel: sources, the percentages of the four
//     colour channels it takes, and constant);
//   "selc" version, method (long: 0 relative, 1 absolute), colours (list of
//     nine objects "SlcC" cyan, magenta, yellow, black for reds, yellows,
//     greens, cyans, blues, magentas, whites, neutrals and blacks).
// Other keys ("curv", "grdm") give nothing. Throws PsdError when the data is
// shorter than its fields.
std::optional<Descriptor> ReadBinaryAdjustment(std::string_view key, BlockCursor& cursor);

}  // namespace plymark
