#pragma once

#include <string>
#include <vector>

#include "psd/DocumentState.h"

namespace plymark {

// Each record's kind and enclosing group, from the records' section divider
// settings: 1 or 2 is a group's own record, 3 the divider that bounds a group.
// Read from the top-most record down, a group's record opens the group and
// its divider closes it; a divider's parent is that of the group it closes.
// Unmatched records are lenient: a divider with no open group sits at the top
// level, a group never closed holds every record below it.
std::vector<LayerPlace> PlaceLayers(const std::vector<LayerRecord>& layers);

// The names of the groups that hold layer `layer`, outermost first, and the
// layer's own name, joined by " / "; empty for a layer at the top level.
std::string GroupPath(const std::vector<LayerRecord>& layers, const std::vector<LayerPlace>& places,
                      int layer);

}  // namespace plymark
