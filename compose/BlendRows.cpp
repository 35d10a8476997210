#include "compose/BlendRows.h"

#include <algorithm>

#include "compose/BlendFormulas.h"

namespace plymark {
namespace {

// Added to a divisor that may be 0 where the dividend then is 0 too: an
// addition, not a comparison, keeps the loops free of branches.
constexpr float kTiny = 1e-30f;

struct RowWeights {
  float* Source;    ///< of Cs
  float* Blended;   ///< of B(Cb, Cs')
  float* Backdrop;  ///< of Cb
};

RowWeights WeightsOf(BlendScratch& scratch, std::size_t width) {
  if (scratch.Source.size() < width) {
    scratch.Source.resize(width);
    scratch.Blended.resize(width);
    scratch.Backdrop.resize(width);
  }
  return {scratch.Source.data(), scratch.Blended.data(), scratch.Backdrop.data()};
}

// A layer's weights for one row, and the row's new alpha.
template <bool FillInside>
void WeighSource(const float* coverage, float* alpha, float fill, std::int32_t left,
                 std::int32_t right, const RowWeights& w) {
  for (std::int32_t x = left; x < right; ++x) {
    const float a = coverage[x];
    const float b = alpha[x];
    const float area = a * fill;
    const float k = FillInside ? a : area;
    const float result = b + area * (1.0f - b);
    const float inverse = 1.0f / (result + kTiny);
    w.Source[x] = area * (1.0f - b) * inverse;
    w.Blended[x] = k * b * inverse;
    w.Backdrop[x] = (1.0f - k) * b * inverse;
    alpha[x] = result;
  }
}

// An adjustment's weights: the backdrop's colour moves towards the blend.
void WeighAdjustment(const float* coverage, std::int32_t left, std::int32_t right,
                     const RowWeights& w) {
  for (std::int32_t x = left; x < right; ++x) {
    w.Source[x] = 0.0f;
    w.Blended[x] = coverage[x];
    w.Backdrop[x] = 1.0f - coverage[x];
  }
}

template <class Formula, bool FillInside>
void BlendChannelRow(const Formula& formula, const float* cs, float* cb, float fill, float neutral,
                     std::int32_t left, std::int32_t right, const RowWeights& w) {
  for (std::int32_t x = left; x < right; ++x) {
    const float s = cs[x];
    const float b = cb[x];
    const float moved = FillInside ? neutral + fill * (s - neutral) : s;
    cb[x] = w.Source[x] * s + w.Blended[x] * formula(b, moved) + w.Backdrop[x] * b;
  }
}

// Normal needs no formula: B(Cb, Cs) = Cs.
void BlendNormalRow(const float* cs, float* cb, std::int32_t left, std::int32_t right,
                    const RowWeights& w) {
  for (std::int32_t x = left; x < right; ++x) {
    cb[x] = (w.Source[x] + w.Blended[x]) * cs[x] + w.Backdrop[x] * cb[x];
  }
}

template <class Formula>
void BlendSeparable(const Formula& formula, const BlendRule& rule,
                    const std::array<const float*, 4>& source,
                    const std::array<float*, 4>& backdrop, std::size_t offset, std::int32_t left,
                    std::int32_t right, const RowWeights& w) {
  const BlendModeTraits traits = TraitsOf(rule.Mode);
  for (int c = 0; c < rule.Channels; ++c) {
    const auto k = static_cast<std::size_t>(c);
    const float* cs = source[k] + offset;
    float* cb = backdrop[k] + offset;
    if constexpr (std::is_same_v<Formula, blend::Normal>) {
      BlendNormalRow(cs, cb, left, right, w);
    } else if (traits.FillInsideFormula && rule.Fill < 1.0f) {
      BlendChannelRow<Formula, true>(formula, cs, cb, rule.Fill, traits.Neutral, left, right, w);
    } else {
      BlendChannelRow<Formula, false>(formula, cs, cb, rule.Fill, traits.Neutral, left, right, w);
    }
  }
}

template <class Formula>
void BlendNonSeparable(const Formula& formula, const BlendRule& rule,
                       const std::array<const float*, 4>& source,
                       const std::array<float*, 4>& backdrop, std::size_t offset, std::int32_t left,
                       std::int32_t right, const RowWeights& w) {
  const bool cmyk = rule.Kind == NonSeparable::Cmyk;
  for (std::int32_t x = left; x < right; ++x) {
    const auto at = offset + static_cast<std::size_t>(x);
    float blended[4] = {0, 0, 0, 0};
    float cb[4] = {0, 0, 0, 0};
    float cs[4] = {0, 0, 0, 0};
    for (std::size_t c = 0; c < static_cast<std::size_t>(rule.Channels); ++c) {
      cb[c] = backdrop[c][at];
      cs[c] = source[c][at];
    }
    if (w.Blended[x] > 0.0f) {
      formula(cb, cs, blended);
      if (cmyk) {
        // Luminosity takes the source's black, the others the backdrop's;
        // darker and lighter colour take the whole pixel they chose.
        const bool chosenSource = blended[0] == cs[0] && blended[1] == cs[1] && blended[2] == cs[2];
        const bool takesSource =
            rule.Mode == BlendMode::Luminosity ||
            ((rule.Mode == BlendMode::DarkerColor || rule.Mode == BlendMode::LighterColor) &&
             chosenSource);
        blended[3] = takesSource ? cs[3] : cb[3];
      }
    }
    for (std::size_t c = 0; c < static_cast<std::size_t>(rule.Channels); ++c) {
      backdrop[c][at] = w.Source[x] * cs[c] + w.Blended[x] * blended[c] + w.Backdrop[x] * cb[c];
    }
  }
}

// One row of a separable mode in one pass: the weights of each pixel, then
// its channels, so that each plane is read and written once. C colour
// channels (1, 3 or 4); the planes never overlap.
template <int C, bool FillInside, class Formula>
void BlendSeparableRow(const Formula& formula, const float* __restrict s0,
                       const float* __restrict s1, const float* __restrict s2,
                       const float* __restrict s3, float* __restrict b0, float* __restrict b1,
                       float* __restrict b2, float* __restrict b3, const float* __restrict coverage,
                       float* __restrict alpha, std::int32_t left, std::int32_t right, float fill,
                       float neutral) {
  for (std::int32_t x = left; x < right; ++x) {
    const float a = coverage[x];
    const float b = alpha[x];
    const float area = a * fill;
    const float k = FillInside ? a : area;
    const float result = b + area * (1.0f - b);
    const float inverse = 1.0f / (result + kTiny);
    const float ws = area * (1.0f - b) * inverse;
    const float wb = k * b * inverse;
    const float wd = (1.0f - k) * b * inverse;
    const auto mix = [&](float s, float d) {
      const float moved = FillInside ? neutral + fill * (s - neutral) : s;
      return ws * s + wb * formula(d, moved) + wd * d;
    };
    b0[x] = mix(s0[x], b0[x]);
    if constexpr (C > 1) {
      b1[x] = mix(s1[x], b1[x]);
      b2[x] = mix(s2[x], b2[x]);
    }
    if constexpr (C > 3) b3[x] = mix(s3[x], b3[x]);
    alpha[x] = result;
  }
}

template <bool FillInside, class Formula>
void BlendSeparableRows(const Formula& formula, const BlendRule& rule, const SourcePlanes& source,
                        const BandPlanes& backdrop, const BandArea& area, float neutral) {
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    std::array<const float*, 4> from{};
    std::array<float*, 4> into{};
    for (std::size_t c = 0; c < 4; ++c) {
      // Unused planes point at the first, which is only read through them.
      const std::size_t plane = c < static_cast<std::size_t>(rule.Channels) ? c : 0;
      from[c] = source.Colour[plane] + offset;
      into[c] = backdrop.Colour[plane] + offset;
    }
    const float* coverage = source.Coverage + offset;
    float* alpha = backdrop.Alpha + offset;
    switch (rule.Channels) {
      case 1:
        BlendSeparableRow<1, FillInside>(formula, from[0], from[1], from[2], from[3], into[0],
                                         into[1], into[2], into[3], coverage, alpha, area.Left,
                                         area.Right, rule.Fill, neutral);
        break;
      case 4:
        BlendSeparableRow<4, FillInside>(formula, from[0], from[1], from[2], from[3], into[0],
                                         into[1], into[2], into[3], coverage, alpha, area.Left,
                                         area.Right, rule.Fill, neutral);
        break;
      default:
        BlendSeparableRow<3, FillInside>(formula, from[0], from[1], from[2], from[3], into[0],
                                         into[1], into[2], into[3], coverage, alpha, area.Left,
                                         area.Right, rule.Fill, neutral);
        break;
    }
  }
}

// The colour channels of one row under the weights already made.
void BlendColours(const BlendRule& rule, const std::array<const float*, 4>& source,
                  const std::array<float*, 4>& backdrop, std::size_t offset, std::int32_t left,
                  std::int32_t right, const RowWeights& w) {
  const BlendMode mode = rule.Kind == NonSeparable::AsNormal && !TraitsOf(rule.Mode).Separable
                             ? BlendMode::Normal
                             : rule.Mode;
  blend::VisitBlendMode(mode, [&](const auto& formula) {
    using Formula = std::decay_t<decltype(formula)>;
    if constexpr (Formula::kSeparable) {
      BlendSeparable(formula, rule, source, backdrop, offset, left, right, w);
    } else {
      BlendNonSeparable(formula, rule, source, backdrop, offset, left, right, w);
    }
  });
}

}  // namespace

void BlendSource(const BlendRule& rule, const SourcePlanes& source, const BandPlanes& backdrop,
                 const BandArea& area, BlendScratch& scratch) {
  if (area.Left >= area.Right) return;
  const BlendModeTraits traits = TraitsOf(rule.Mode);
  if (traits.Separable) {
    const bool fillInside = traits.FillInsideFormula && rule.Fill < 1.0f;
    blend::VisitBlendMode(rule.Mode, [&](const auto& formula) {
      using Formula = std::decay_t<decltype(formula)>;
      if constexpr (Formula::kSeparable) {
        if (fillInside) {
          BlendSeparableRows<true>(formula, rule, source, backdrop, area, traits.Neutral);
        } else {
          BlendSeparableRows<false>(formula, rule, source, backdrop, area, traits.Neutral);
        }
      }
    });
    return;
  }
  const RowWeights w = WeightsOf(scratch, static_cast<std::size_t>(area.Right));
  const bool fillInside = TraitsOf(rule.Mode).FillInsideFormula;
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    if (fillInside) {
      WeighSource<true>(source.Coverage + offset, backdrop.Alpha + offset, rule.Fill, area.Left,
                        area.Right, w);
    } else {
      WeighSource<false>(source.Coverage + offset, backdrop.Alpha + offset, rule.Fill, area.Left,
                         area.Right, w);
    }
    BlendColours(rule, source.Colour, backdrop.Colour, offset, area.Left, area.Right, w);
  }
}

void BlendAdjusted(const BlendRule& rule, const SourcePlanes& adjusted, const BandPlanes& backdrop,
                   const BandArea& area, BlendScratch& scratch) {
  if (area.Left >= area.Right) return;
  const RowWeights w = WeightsOf(scratch, static_cast<std::size_t>(area.Right));
  BlendRule whole = rule;
  whole.Fill = 1.0f;  // fill is in the coverage already
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    WeighAdjustment(adjusted.Coverage + offset, area.Left, area.Right, w);
    BlendColours(whole, adjusted.Colour, backdrop.Colour, offset, area.Left, area.Right, w);
  }
}

void MixWithSaved(const BandPlanes& drawn, const BandPlanes& saved, int channels,
                  const float* amount, const BandArea& area) {
  for (std::int32_t row = area.FirstRow; row < area.EndRow; ++row) {
    const std::size_t offset = static_cast<std::size_t>(row) * area.Stride;
    for (std::int32_t x = area.Left; x < area.Right; ++x) {
      const std::size_t at = offset + static_cast<std::size_t>(x);
      const float m = amount[at];
      const float before = saved.Alpha[at];
      const float after = drawn.Alpha[at];
      const float alpha = before + m * (after - before);
      const float inverse = 1.0f / (alpha + kTiny);
      for (std::size_t c = 0; c < static_cast<std::size_t>(channels); ++c) {
        const float kept = before * saved.Colour[c][at];
        drawn.Colour[c][at] = (kept + m * (after * drawn.Colour[c][at] - kept)) * inverse;
      }
      drawn.Alpha[at] = alpha;
    }
  }
}

}  // namespace plymark
