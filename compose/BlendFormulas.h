#pragma once

// Each blend mode's B(Cb, Cs) as a small function object, in the terms of the
// W3C Compositing and Blending text: backdrop Cb, source Cs, values 0..1.
// Separable modes take one component: float operator()(float cb, float cs).
// Non-separable modes take the three colour components together:
// void operator()(const float* cb, const float* cs, float* out). The generic
// compositing loop is instantiated once per function object, so that each
// mode's inner loop is compiled on its own.

#include "compose/BlendModes.h"

namespace plymark::blend {

struct Normal {
  static constexpr bool kSeparable = true;
  float operator()(float, float cs) const { return cs; }
};

struct Multiply {
  static constexpr bool kSeparable = true;
  float operator()(float cb, float cs) const { return cb * cs; }
};

// Calls `visit` with the function object of `mode`. Pass-through and
// dissolve are drawn as Normal.
template <class Visit>
decltype(auto) VisitBlendMode(BlendMode mode, Visit&& visit) {
  switch (mode) {
    case BlendMode::Multiply:
      return visit(Multiply{});
    default:
      return visit(Normal{});
  }
}

}  // namespace plymark::blend
