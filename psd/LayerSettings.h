#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "psd/Descriptor.h"
#include "psd/DocumentState.h"
#include "psd/LayerText.h"
#include "psd/LegacyEffects.h"
#include "psd/LinkedFiles.h"

namespace plymark {

// A settings block of a layer: its key and what it holds.
struct SettingsBlock {
  std::string Key;
  /// The block's descriptor; for an adjustment stored as fixed fields, those
  /// fields in a descriptor's shape (ReadBinaryAdjustment); nothing for
  /// "curv" and "grdm".
  std::optional<Descriptor> Settings;
};

// What a layer's settings blocks say. They are read when asked for, after
// the Open, and each on its own: a damaged block costs only itself.
struct LayerSettings {
  std::optional<std::int32_t> Id;  ///< 'lyid'
  std::optional<LayerText> Text;   ///< 'TySh'
  /// The unique id of the linked file a smart object shows ('SoLd', 'SoLE',
  /// 'PlLd'), to be found in DocumentSettings::Linked.
  std::optional<std::string> SmartObjectId;
  /// The layer effects: 'lmfx' (which can hold several effects of one kind),
  /// else 'lfx2'.
  std::optional<SettingsBlock> Effects;
  /// 'lrFX', when none of those is there or can be read.
  std::optional<LegacyEffects> OldEffects;
  /// An adjustment layer's settings: the key of its kind ("levl", "vibA",
  /// ...); for "brit" the 'CgEd' descriptor where there is one.
  std::optional<SettingsBlock> Adjustment;
  /// A fill layer's settings ('SoCo', 'GdFl', 'PtFl'), or a shape's fill
  /// ('vscg', whose descriptor's class says which).
  std::optional<SettingsBlock> Fill;
  /// A shape's vector stroke ('vstk': 'strokeStyleLineWidth', its alignment
  /// and paint); not in layers.json.
  std::optional<Descriptor> VectorStroke;
  /// An artboard's settings ('artb', or the older 'artd' and 'abdd'): its
  /// rectangle ('artboardRect') and background; not in layers.json.
  std::optional<Descriptor> Artboard;
  std::vector<std::string> Problems;  ///< "KEY: what is wrong", one per damaged block
};

struct DocumentSettings {
  std::vector<LayerSettings> Layers;  ///< one per layer record
  LinkedFiles Linked;
};

// The settings blocks of layer `layer`, read through the document's file;
// what they hold comes out of `budget` (without one: a document's whole).
LayerSettings ReadLayerSettings(const DocumentState& state, int layer, SettingsBudget& budget);
LayerSettings ReadLayerSettings(const DocumentState& state, int layer);

// The text of layer `layer` when it is a text layer whose 'TySh' block can
// be read within `budget`; nothing otherwise.
std::optional<LayerText> ReadTextOfLayer(const DocumentState& state, int layer,
                                         SettingsBudget& budget);

// Every layer's settings, out of one budget, and the document's linked files.
DocumentSettings ReadDocumentSettings(const DocumentState& state);

// The linked file of `id` among `linked`, or null.
const LinkedFile* FindLinkedFile(const LinkedFiles& linked, const std::string& id);

}  // namespace plymark
