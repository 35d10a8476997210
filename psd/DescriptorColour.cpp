#include "psd/DescriptorColour.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace plymark {
namespace {

struct ColourModel {
  std::string_view ClassId;
  std::array<std::string_view, 4> Keys;  ///< empty beyond the model's components
  double Scale = 1;
};

constexpr std::array<ColourModel, 6> kModels = {{
    {"RGBC", {"Rd  ", "Grn ", "Bl  ", ""}},
    {"RGBC", {"redFloat", "greenFloat", "blueFloat", ""}, 255},
    {"HSBC", {"H   ", "Strt", "Brgh", ""}},
    {"CMYC", {"Cyn ", "Mgnt", "Ylw ", "Blck"}},
    {"LbCl", {"Lmnc", "A   ", "B   ", ""}},
    {"Grsc", {"Gry ", "", "", ""}},
}};

}  // namespace

std::optional<DescriptorColour> ReadColour(const Descriptor& colour) {
  for (const ColourModel& model : kModels) {
    if (colour.ClassId != model.ClassId) continue;
    DescriptorColour read{std::string(model.ClassId), {}};
    for (const std::string_view key : model.Keys) {
      if (key.empty()) break;
      const auto component = colour.Number(key);
      if (!component) break;
      read.Components.push_back(*component * model.Scale);
    }
    if (read.Components.size() == static_cast<std::size_t>(std::count_if(
                                      model.Keys.begin(), model.Keys.end(),
                                      [](std::string_view key) { return !key.empty(); }))) {
      return read;
    }
  }
  return std::nullopt;
}

}  // namespace plymark
