#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "plymark/Document.h"
#include "plymark/Error.h"
#include "plymark/Layer.h"
#include "psd/DocumentState.h"
#include "psd/LayerSettings.h"
#include "psd/PsdError.h"
#include "render/LayerLoop.h"
#include "render/LayerRows.h"

namespace plymark {
inline namespace v0 {
namespace detail {

// What the layer loop decided about one layer when the document was opened.
struct LayerCheck {
  LayerSize Size;
  std::optional<PsdError> Refusal;  ///< why the layer cannot be decoded
};

// An open document behind its handles.
struct DocumentData {
  /// The document's reads take turns; a receiver called during the Open may
  /// read the layer it was handed on the same thread.
  mutable std::recursive_mutex Lock;
  DocumentState State;
  std::vector<LayerCheck> Checks;  ///< one per layer record
  LayerRows Rows;                  ///< kept from layer to layer
  /// Why an Open of the merged image alone read no merged image (damage
  /// before it); MergedImage gives it as its problem.
  std::optional<std::string> MergedImageProblem;
  std::vector<std::string> Notices;
  std::function<void(const std::string&)> OnNotice;
  /// An Open of the merged image alone whose front sections were read: the
  /// layer records are read when first asked for (ReadLayers).
  bool LayersUnread = false;
  std::optional<Error> LayersFailure;  ///< why they could not be read
  /// Every layer's settings blocks, read when first asked for.
  std::optional<DocumentSettings> Settings;
};

// The document's settings, read now if they have not been. Called with the
// document's lock held.
const DocumentSettings& SettingsOf(DocumentData& data);

// Reads the layer records of an Open of the merged image alone, if they have
// not been; throws Error when they cannot be. Called with the lock held.
void ReadLayersOf(DocumentData& data);

}  // namespace detail

// Makes the handles that only the library makes.
class LayerAccess {
 public:
  static Layer Make(std::shared_ptr<detail::DocumentData> data, int index) {
    return Layer(std::move(data), index);
  }
};

// The library's error for a damaged file.
inline Error ErrorOf(const PsdError& error) {
  return Error(error.what(), error.Offset());
}

}  // namespace v0
}  // namespace plymark
