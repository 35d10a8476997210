#include "psd/LayerGroups.h"

namespace plymark {

std::vector<LayerPlace> PlaceLayers(const std::vector<LayerRecord>& layers) {
  std::vector<LayerPlace> places(layers.size());
  std::vector<int> openGroups;  // records of the groups around the current one, innermost last
  for (std::size_t k = layers.size(); k-- > 0;) {
    LayerPlace& place = places[k];
    const std::int32_t setting = layers[k].SectionDividerSetting;
    if (setting == 3) {
      place.Kind = LayerKind::GroupEnd;
      if (!openGroups.empty()) openGroups.pop_back();
      place.Parent = openGroups.empty() ? -1 : openGroups.back();
      continue;
    }
    place.Parent = openGroups.empty() ? -1 : openGroups.back();
    if (setting == 1 || setting == 2) {
      place.Kind = LayerKind::Group;
      openGroups.push_back(static_cast<int>(k));
    }
  }
  return places;
}

std::string GroupPath(const std::vector<LayerRecord>& layers, const std::vector<LayerPlace>& places,
                      int layer) {
  const auto index = static_cast<std::size_t>(layer);
  if (index >= places.size() || places[index].Parent < 0) return {};
  std::string path = layers[index].Name;
  // Parents always lie above their members in the file, so the walk ends.
  for (int parent = places[index].Parent; parent >= 0;
       parent = places[static_cast<std::size_t>(parent)].Parent) {
    path = layers[static_cast<std::size_t>(parent)].Name + " / " + path;
  }
  return path;
}

}  // namespace plymark
