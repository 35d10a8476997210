#include "compose/RenderDocument.h"

#include <algorithm>
#include <new>
#include <string>

#include "compose/BandDrawer.h"
#include "compose/MergedBands.h"
#include "compose/RenderTree.h"
#include "compose/effects/EffectDrawing.h"
#include "psd/ColorModeCodes.h"
#include "psd/PsdError.h"
#include "render/ColourModes.h"
#include "render/DeepSamples.h"
#include "render/LayerLoop.h"

namespace plymark {
namespace {

// Pixels a band takes at most: enough that sharing each layer's work between
// two threads costs little, few enough that a band's planes stay in the
// processor's last cache while each layer is blended into them.
constexpr std::size_t kBandPixels = std::size_t{1} << 19;

PsdError RenderRefusal(const std::string& problem) {
  return PsdError::Damaged(0, "document", problem);
}

// Refuses what cannot be drawn before anything is allocated.
void CheckDrawable(const DocumentState& state, const RenderOptions& options) {
  const FileHeader& header = state.Header;
  if (header.Rows <= 0 || header.Columns <= 0) throw RenderRefusal("has no pixels to draw");
  const std::int64_t pixels = static_cast<std::int64_t>(header.Rows) * header.Columns;
  const std::string size = std::to_string(header.Columns) + " x " + std::to_string(header.Rows);
  if (options.LargestPixels > 0 && pixels > options.LargestPixels) {
    throw RenderRefusal("measures " + size + " pixels, more than the " +
                        std::to_string(options.LargestPixels) + " this render draws");
  }
  // However the file codes its pixels, each stored byte gives at most this many.
  if (pixels > kPixelAllowance + state.File.size() * GreatestExpansion(2)) {
    throw RenderRefusal("measures " + size + " pixels, more than its " +
                        std::to_string(state.File.size()) + " bytes can fill");
  }
  const bool flat = state.LayerCount == 0;
  if (BytesPerSample(header.Depth) == 0 && !(flat && header.Depth == 1)) {
    throw RenderRefusal("has " + std::to_string(header.Depth) +
                        " bits per channel, which cannot be drawn");
  }
  if (ModelOfColorMode(header.ColorMode) == ColourModel::Unshowable &&
      !(flat && header.ColorMode == color_mode::kBitmap)) {
    throw RenderRefusal("has colour mode " + std::to_string(header.ColorMode) +
                        ", which cannot be drawn");
  }
}

NonSeparable NonSeparableOf(std::int16_t colorMode) {
  switch (colorMode) {
    case color_mode::kRgb:
    case color_mode::kLab:
      return NonSeparable::ThreeComponents;
    case color_mode::kCmyk:
      return NonSeparable::Cmyk;
    default:
      return NonSeparable::AsNormal;
  }
}

int ColourChannelsOf(std::int16_t colorMode) {
  switch (ModelOfColorMode(colorMode)) {
    case ColourModel::Cmyk:
      return 4;
    case ColourModel::Gray:
    case ColourModel::Indexed:
      return 1;
    default:
      return 3;
  }
}

// Rows a band may take so that every buffer fits the budget, with
// `extraPlanes` beside the levels' (the planes layer effects are painted in).
std::int32_t BandRows(std::int32_t width, int channels, int levels, const RenderOptions& options,
                      std::size_t extraPlanes = 0) {
  const std::size_t rowBytes = (BandLayout::PlanesFor(channels, levels) + extraPlanes) *
                               static_cast<std::size_t>(width) * sizeof(float);
  const std::size_t fitting = options.BandBudgetBytes / rowBytes;
  if (fitting == 0) {
    throw RenderRefusal("is too wide to draw: one row of its " + std::to_string(levels) +
                        " drawing levels takes " + std::to_string(rowBytes) +
                        " bytes, more than the band budget of " +
                        std::to_string(options.BandBudgetBytes));
  }
  const std::size_t preferred =
      std::max<std::size_t>(1, kBandPixels / static_cast<std::size_t>(width));
  return static_cast<std::int32_t>(std::min(fitting, preferred));
}

RenderResult Render(DocumentState& state, RenderSink& sink, const RenderOptions& options) {
  CheckDrawable(state, options);
  const FileHeader& header = state.Header;
  if (state.LayerCount == 0) {
    RenderMergedImage(state, sink, BandRows(header.Columns, 4, 0, options));
    return {};
  }
  RenderTree tree = BuildRenderTree(state);
  RenderResult result;
  result.Omissions = std::move(tree.Omissions);
  tree.Omissions.clear();
  BandLayout layout;
  layout.Width = header.Columns;
  layout.ColourChannels = ColourChannelsOf(header.ColorMode);
  layout.Levels = tree.Root.Buffers;
  layout.Rows = std::min(BandRows(layout.Width, layout.ColourChannels, layout.Levels, options,
                                  EffectPlanes(tree, layout.ColourChannels)),
                         header.Rows);
  FitEffectsToBudget(tree, state, layout.Width, layout.Rows, options.BandBudgetBytes,
                     result.Omissions);
  BandDrawer drawer(state, tree, layout, NonSeparableOf(header.ColorMode), result.Omissions);
  RenderedBand band;
  band.Width = layout.Width;
  band.ColourChannels = layout.ColourChannels;
  const BandPlanes& document = drawer.Document();
  for (std::size_t c = 0; c < 4; ++c) band.Colour[c] = document.Colour[c];
  band.Alpha = document.Alpha;
  for (std::int32_t top = 0; top < header.Rows; top += layout.Rows) {
    band.Top = top;
    band.Rows = std::min(layout.Rows, header.Rows - top);
    drawer.DrawBand(top, band.Rows);
    sink.TakeBand(band);
  }
  return result;
}

}  // namespace

RenderResult RenderDocument(DocumentState& state, RenderSink& sink, const RenderOptions& options) {
  try {
    return Render(state, sink, options);
  } catch (const std::bad_alloc&) {
    throw RenderRefusal("cannot be drawn: there is not enough memory");
  }
}

}  // namespace plymark
