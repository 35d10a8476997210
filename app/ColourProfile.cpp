#include "app/ColourProfile.h"

#include <vector>

#include "psd/IccProfile.h"
#include "render/ColourManagement.h"

namespace plymark {

void SetUpColourProfile(FileView file, DocumentState& state, MessageSink& messages) {
  state.Colour = nullptr;
  state.ColorProfile.reset();
  const ImageResources& resources = state.Resources;
  std::vector<std::uint8_t> profile;
  if (resources.IccProfile && !resources.IccUntagged) {
    profile = ReadIccProfile(file, *resources.IccProfile);
  }
  const ColourSetup setup = SetUpDocumentColour(state.Header.ColorMode, state.Header.Depth, profile,
                                                resources.IccUntagged);
  state.Colour = setup.Conversion;
  state.ColorProfile = setup.ProfileDescription;
  if (!setup.Message.empty()) messages.ShowMessage(setup.Message);
}

}  // namespace plymark
