#pragma once

#include <string>
#include <string_view>

#include "psd/Descriptor.h"
#include "psd/LegacyEffects.h"

namespace plymark {
inline namespace v0 {

// `bytes` as UTF-8: every byte that does not belong to a well-formed UTF-8
// sequence becomes U+FFFD, one for each byte, as Qt's and the export's
// reading of such text does.
std::string ValidUtf8(std::string_view bytes);

// A descriptor as compact JSON text, as layers.json gives it: an object's
// items under their stored keys beside "_class" (and "_name" when the class
// has one), the first of two items of one key kept; lists as arrays;
// numbers, booleans and strings as themselves (a double always with a point
// or an exponent, so that it is read back as a double; null where it is not
// finite); unit floats as {"unit", "value"}, enumerated values as {"type",
// "value"}; the rarer types as objects that name them ("class",
// "reference", "rawData" in base64 up to 64 KiB, else "rawDataLength",
// "alias", "path", an object array's "_count").
std::string DescriptorJsonText(const Descriptor& descriptor);

// An 'lrFX' block as {"version", "effects": [...]}: each effect its key,
// version, enabled flag and the fields its kind stores.
std::string LegacyEffectsJsonText(const LegacyEffects& effects);

}  // namespace v0
}  // namespace plymark
