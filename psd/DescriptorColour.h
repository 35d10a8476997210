#pragma once

#include <optional>
#include <string>
#include <vector>

#include "psd/Descriptor.h"

namespace plymark {

// A colour as the maker's descriptors store it (an effect's 'Clr ', a fill's
// colour), by the class of its object.
struct DescriptorColour {
  std::string Model;  ///< "RGBC", "HSBC", "CMYC", "LbCl" or "Grsc"
  /// RGB red, green, blue 0 to 255; HSB hue in degrees, saturation and
  /// brightness in percent; CMYK inks in percent; Lab L 0 to 100, a, b;
  /// grey in percent (of black).
  std::vector<double> Components;
};

// The colour `colour` describes, or nothing when its class is none of these
// or a component is missing. RGB stored as 0-to-1 floats ('redFloat', ...)
// is scaled to 0 to 255.
std::optional<DescriptorColour> ReadColour(const Descriptor& colour);

}  // namespace plymark
