#include "app/ColourProfile.h"

#include <vector>

#include "psd/IccProfile.h"
#include "render/ColourManagement.h"

namespace plymark {

void SetUpColourProfile(FileView file, DocumentState& state, MessageSink& messages) {
  state.Colour = nullptr;
  state.ColorProfile.reset();
  const auto location =
      FindIccProfile(file, state.ImageResourcesOffset, state.ImageResourcesLength);
  std::vector<std::uint8_t> profile;
  if (location && !location->Untagged) profile = ReadIccProfile(file, *location);
  const ColourSetup setup = SetUpDocumentColour(state.Header.ColorMode, state.Header.Depth, profile,
                                                location && location->Untagged);
  state.Colour = setup.Conversion;
  state.ColorProfile = setup.ProfileDescription;
  if (!setup.Message.empty()) messages.ShowMessage(setup.Message);
}

}  // namespace plymark
