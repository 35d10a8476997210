#include "compose/effects/ShapeFilters.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "compose/HelperThread.h"

namespace plymark {
namespace {

// Alpha this close to 0 or 1 counts as outside or inside the shape: 16-bit
// and 32-bit shapes carry noise below an 8-bit step.
constexpr float kEdge = 1.0f / 512.0f;

std::size_t Size(const PlaneView& plane) {
  return static_cast<std::size_t>(plane.Width) * static_cast<std::size_t>(plane.Height);
}

// One box of width 2 half + 1 across rows of `in`, into `out` (both Width
// apart); 0 beyond the rows' ends. `Rows` rows at once, each its own running
// sum, so that the sums do not wait on one another.
template <int Rows>
void BoxAcrossRows(const float* in, float* out, std::int32_t width, std::int32_t half) {
  const float scale = 1.0f / static_cast<float>(2 * half + 1);
  const auto w = static_cast<std::size_t>(width);
  float sum[Rows] = {};
  for (std::int32_t x = 0; x < std::min(half, width); ++x) {
    for (int k = 0; k < Rows; ++k) sum[k] += in[static_cast<std::size_t>(k) * w + x];
  }
  for (std::int32_t x = 0; x < width; ++x) {
    for (int k = 0; k < Rows; ++k) {
      const float* row = in + static_cast<std::size_t>(k) * w;
      if (x + half < width) sum[k] += row[x + half];
      out[static_cast<std::size_t>(k) * w + static_cast<std::size_t>(x)] = sum[k] * scale;
      if (x - half >= 0) sum[k] -= row[x - half];
    }
  }
}

void BoxAcross(const float* in, float* out, std::int32_t width, std::int32_t height,
               std::int32_t half) {
  const auto w = static_cast<std::size_t>(width);
  std::int32_t y = 0;
  for (; y + 4 <= height; y += 4) {
    BoxAcrossRows<4>(in + static_cast<std::size_t>(y) * w, out + static_cast<std::size_t>(y) * w,
                     width, half);
  }
  for (; y < height; ++y) {
    BoxAcrossRows<1>(in + static_cast<std::size_t>(y) * w, out + static_cast<std::size_t>(y) * w,
                     width, half);
  }
}

// One box of width 2 half + 1 down each of `width` columns (rows `stride`
// apart), a row at a time so that the loops over columns are vectorised.
void BoxDown(const float* in, float* out, std::int32_t width, std::size_t stride,
             std::int32_t height, std::int32_t half, std::vector<float>& sums) {
  const auto w = static_cast<std::size_t>(width);
  const float scale = 1.0f / static_cast<float>(2 * half + 1);
  sums.assign(w, 0.0f);
  float* sum = sums.data();
  for (std::int32_t y = 0; y < std::min(half, height); ++y) {
    const float* row = in + static_cast<std::size_t>(y) * stride;
    for (std::size_t x = 0; x < w; ++x) sum[x] += row[x];
  }
  for (std::int32_t y = 0; y < height; ++y) {
    if (y + half < height) {
      const float* entering = in + static_cast<std::size_t>(y + half) * stride;
      for (std::size_t x = 0; x < w; ++x) sum[x] += entering[x];
    }
    float* result = out + static_cast<std::size_t>(y) * stride;
    for (std::size_t x = 0; x < w; ++x) result[x] = sum[x] * scale;
    if (y - half >= 0) {
      const float* leaving = in + static_cast<std::size_t>(y - half) * stride;
      for (std::size_t x = 0; x < w; ++x) sum[x] -= leaving[x];
    }
  }
}

// For each pixel, the squared distance to the nearest pixel where
// `feature` holds and that pixel's index (-1 for none), by the lower
// envelope of parabolas (Felzenszwalb and Huttenlocher): along each column,
// then along each row.
template <class Feature>
void NearestFeature(const PlaneView& shape, Feature feature, FilterScratch& scratch) {
  const std::int32_t width = shape.Width;
  const std::int32_t height = shape.Height;
  const auto w = static_cast<std::size_t>(width);
  constexpr float kFar = 1e20f;
  scratch.Squared.resize(Size(shape));
  scratch.Nearest.resize(Size(shape));
  float* squared = scratch.Squared.data();
  std::int32_t* nearest = scratch.Nearest.data();
  // Down the columns: the nearest feature row, kept in `nearest`.
  std::vector<std::int32_t>& last = scratch.Last;
  last.assign(w, -1);
  for (std::int32_t y = 0; y < height; ++y) {
    const float* row = shape.Row(y);
    for (std::int32_t x = 0; x < width; ++x) {
      if (feature(row[x])) last[static_cast<std::size_t>(x)] = y;
      nearest[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)] =
          last[static_cast<std::size_t>(x)];
    }
  }
  last.assign(w, -1);
  for (std::int32_t y = height - 1; y >= 0; --y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
      if (feature(shape.Row(y)[x])) last[static_cast<std::size_t>(x)] = y;
      const std::int32_t below = last[static_cast<std::size_t>(x)];
      const std::int32_t above = nearest[at];
      if (below >= 0 && (above < 0 || below - y < y - above)) nearest[at] = below;
    }
  }
  // Along the rows: f(x') = the column distance squared at x'.
  scratch.Parabolas.resize(w);
  scratch.Bounds.resize(w + 1);
  scratch.Vertices.resize(w);
  scratch.Rows.resize(w);
  float* f = scratch.Parabolas.data();
  float* bounds = scratch.Bounds.data();
  std::int32_t* vertices = scratch.Vertices.data();
  std::vector<std::int32_t>& rows = scratch.Rows;
  for (std::int32_t y = 0; y < height; ++y) {
    const std::size_t offset = static_cast<std::size_t>(y) * w;
    std::int32_t k = -1;
    for (std::int32_t x = 0; x < width; ++x) {
      const std::int32_t row = nearest[offset + static_cast<std::size_t>(x)];
      rows[static_cast<std::size_t>(x)] = row;
      if (row < 0) continue;
      const auto dy = static_cast<float>(row - y);
      const float fx = dy * dy;
      f[x] = fx;
      // Drop the parabolas this one hides.
      float s = 0.0f;
      while (k >= 0) {
        const std::int32_t v = vertices[k];
        const double xx = static_cast<double>(x) * x;
        const double vv = static_cast<double>(v) * v;
        s = static_cast<float>(((fx + xx) - (f[v] + vv)) / (2.0 * (x - v)));
        if (s > bounds[k]) break;
        --k;
      }
      ++k;
      vertices[k] = x;
      bounds[k] = k == 0 ? -kFar : s;
      bounds[k + 1] = kFar;
    }
    if (k < 0) {
      for (std::int32_t x = 0; x < width; ++x) {
        squared[offset + static_cast<std::size_t>(x)] = kFar;
        nearest[offset + static_cast<std::size_t>(x)] = -1;
      }
      continue;
    }
    std::int32_t j = 0;
    for (std::int32_t x = 0; x < width; ++x) {
      while (bounds[j + 1] < static_cast<float>(x)) ++j;
      const std::int32_t v = vertices[j];
      const auto dx = static_cast<float>(x - v);
      squared[offset + static_cast<std::size_t>(x)] = dx * dx + f[v];
      nearest[offset + static_cast<std::size_t>(x)] = rows[static_cast<std::size_t>(v)] * width + v;
    }
  }
}

// Spans of columns [From, To) of a plane.
struct ColumnSpan {
  std::int32_t From = 0;
  std::int32_t To = 0;
};

// The columns where anything happens: those whose values change down the
// plane, or differ from a neighbour's, grown by `margin` on each side and
// merged. Elsewhere each column holds one value all the way down, as do its
// neighbours within `margin`, and a filter that reaches no further leaves it
// as it is.
std::vector<ColumnSpan> BusyColumns(const PlaneView& plane, std::int32_t margin,
                                    FilterScratch& scratch) {
  const auto w = static_cast<std::size_t>(plane.Width);
  // Each half of the rows its own least and greatest values, then both.
  scratch.Low.resize(2 * w);
  scratch.High.resize(2 * w);
  float* low = scratch.Low.data();
  float* high = scratch.High.data();
  SplitRows(scratch, plane.Height, [&](std::int32_t from, std::int32_t to) {
    float* least = low + (from == 0 ? 0 : w);
    float* most = high + (from == 0 ? 0 : w);
    std::copy_n(plane.Row(from), w, least);
    std::copy_n(plane.Row(from), w, most);
    for (std::int32_t y = from + 1; y < to; ++y) {
      const float* row = plane.Row(y);
      for (std::size_t x = 0; x < w; ++x) {
        least[x] = std::min(least[x], row[x]);
        most[x] = std::max(most[x], row[x]);
      }
    }
  });
  if (plane.Height >= 2 && scratch.Helper != nullptr) {
    for (std::size_t x = 0; x < w; ++x) {
      low[x] = std::min(low[x], low[w + x]);
      high[x] = std::max(high[x], high[w + x]);
    }
  }
  std::vector<ColumnSpan> spans;
  for (std::int32_t x = 0; x < plane.Width; ++x) {
    const auto at = static_cast<std::size_t>(x);
    const bool busy = low[at] != high[at] || (x > 0 && low[at] != low[at - 1]) ||
                      (x + 1 < plane.Width && low[at] != low[at + 1]);
    if (!busy) continue;
    const std::int32_t from = std::max(0, x - margin);
    const std::int32_t to = static_cast<std::int32_t>(
        std::min<std::int64_t>(plane.Width, static_cast<std::int64_t>(x) + margin + 1));
    if (!spans.empty() && from <= spans.back().To) {
      spans.back().To = std::max(spans.back().To, to);
    } else {
      spans.push_back({from, to});
    }
  }
  return spans;
}

PlaneView Columns(const PlaneView& plane, const ColumnSpan& span) {
  return {plane.Data + span.From, span.To - span.From, plane.Height, plane.Stride};
}

// Blurs all of `plane`, writing back only columns [keepFrom, keepTo).
void BlurWhole(const PlaneView& plane, const BoxBlur& blur, std::int32_t keepFrom,
               std::int32_t keepTo, FilterScratch& scratch) {
  if (blur.Radius <= 0 || plane.Width <= 0 || plane.Height <= 0) return;
  const std::size_t size = Size(plane);
  const auto w = static_cast<std::size_t>(plane.Width);
  scratch.Floats.resize(2 * size + w);
  float* a = scratch.Floats.data();
  float* b = a + size;
  for (std::int32_t y = 0; y < plane.Height; ++y)
    std::copy_n(plane.Row(y), w, a + static_cast<std::size_t>(y) * w);
  // Rows across, then columns down, each half on its own thread.
  const auto share = [&](const auto& work) {
    if (scratch.Helper != nullptr) {
      scratch.Helper->Share(work);
    } else {
      work(0);
      work(1);
    }
  };
  const std::int32_t middleRow = plane.Height / 2;
  const std::int32_t middleColumn = plane.Width / 2;
  for (const std::int32_t width : blur.Widths) {
    if (width <= 1) continue;
    share([&](int part) {
      const std::int32_t from = part == 0 ? 0 : middleRow;
      const std::int32_t to = part == 0 ? middleRow : plane.Height;
      const std::size_t offset = static_cast<std::size_t>(from) * w;
      BoxAcross(a + offset, b + offset, plane.Width, to - from, width / 2);
    });
    std::swap(a, b);
  }
  for (const std::int32_t width : blur.Widths) {
    if (width <= 1) continue;
    share([&](int part) {
      const std::int32_t from = part == 0 ? 0 : middleColumn;
      const std::int32_t to = part == 0 ? middleColumn : plane.Width;
      const auto offset = static_cast<std::size_t>(from);
      BoxDown(a + offset, b + offset, to - from, w, plane.Height, width / 2,
              scratch.Sums[static_cast<std::size_t>(part)]);
    });
    std::swap(a, b);
  }
  for (std::int32_t y = 0; y < plane.Height; ++y) {
    const float* row = a + static_cast<std::size_t>(y) * w;
    std::copy(row + keepFrom, row + keepTo, plane.Row(y) + keepFrom);
  }
}

void DistanceWhole(const PlaneView& shape, const PlaneView& distance, float limit, bool outside,
                   bool inside, FilterScratch& scratch) {
  const std::size_t size = Size(shape);
  const auto w = static_cast<std::size_t>(shape.Width);
  if (size == 0) return;
  for (std::int32_t y = 0; y < shape.Height; ++y) {
    const float* a = shape.Row(y);
    float* d = distance.Row(y);
    for (std::int32_t x = 0; x < shape.Width; ++x) d[x] = 0.5f - a[x];
  }
  const auto side = [&](auto feature, bool wanted, float sign, auto applies) {
    if (!wanted) return;
    NearestFeature(shape, feature, scratch);
    const float* squared = scratch.Squared.data();
    const std::int32_t* nearest = scratch.Nearest.data();
    for (std::int32_t y = 0; y < shape.Height; ++y) {
      const float* a = shape.Row(y);
      float* d = distance.Row(y);
      for (std::int32_t x = 0; x < shape.Width; ++x) {
        if (!applies(a[x])) continue;
        const std::size_t at = static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
        const std::int32_t q = nearest[at];
        if (q < 0) {
          d[x] = sign * limit * 2.0f;
          continue;
        }
        const float edge = shape.Row(q / shape.Width)[q % shape.Width];
        // The edge lies within the nearest edge pixel, by its alpha.
        d[x] = sign * (std::sqrt(squared[at]) + sign * (0.5f - edge));
      }
    }
  };
  side([](float a) { return a > kEdge; }, outside, 1.0f, [](float a) { return a <= kEdge; });
  side([](float a) { return a < 1.0f - kEdge; }, inside, -1.0f,
       [](float a) { return a >= 1.0f - kEdge; });
  if (!outside || !inside) {
    for (std::int32_t y = 0; y < shape.Height; ++y) {
      const float* a = shape.Row(y);
      float* d = distance.Row(y);
      for (std::int32_t x = 0; x < shape.Width; ++x) {
        if (!outside && a[x] <= kEdge) d[x] = 2.0f * limit;
        if (!inside && a[x] >= 1.0f - kEdge) d[x] = -2.0f * limit;
      }
    }
  }
}

}  // namespace

void SplitRows(const FilterScratch& scratch, std::int32_t rows,
               const std::function<void(std::int32_t, std::int32_t)>& work) {
  const std::int32_t middle = rows / 2;
  if (scratch.Helper == nullptr || rows < 2) {
    work(0, rows);
    return;
  }
  scratch.Helper->Share([&](int part) {
    if (part == 0) {
      work(0, middle);
    } else {
      work(middle, rows);
    }
  });
}

void BlurPlane(const PlaneView& plane, const BoxBlur& blur, FilterScratch& scratch) {
  if (blur.Radius <= 0 || plane.Width <= 0 || plane.Height <= 0) return;
  // Blurred over twice its reach around the busy columns, kept over once:
  // the columns cut off are at least that far from anything that changes.
  const std::int32_t reach = blur.Radius;
  for (const ColumnSpan& span : BusyColumns(plane, 2 * reach, scratch)) {
    const std::int32_t keepFrom = span.From == 0 ? 0 : reach;
    const std::int32_t keepTo = span.To - span.From - (span.To == plane.Width ? 0 : reach);
    BlurWhole(Columns(plane, span), blur, keepFrom, keepTo, scratch);
  }
}

void SignedDistance(const PlaneView& shape, const PlaneView& distance, float limit, bool outside,
                    bool inside, FilterScratch& scratch) {
  if (shape.Width <= 0 || shape.Height <= 0) return;
  // Away from the busy columns, edge pixels take their distance from their
  // alpha and the rest lie farther than `limit` from any edge.
  SplitRows(scratch, shape.Height, [&](std::int32_t from, std::int32_t to) {
    for (std::int32_t y = from; y < to; ++y) {
      const float* a = shape.Row(y);
      float* d = distance.Row(y);
      for (std::int32_t x = 0; x < shape.Width; ++x) {
        d[x] = a[x] <= kEdge ? 2.0f * limit : a[x] >= 1.0f - kEdge ? -2.0f * limit : 0.5f - a[x];
      }
    }
  });
  const auto reach = static_cast<std::int32_t>(std::min(std::ceil(limit), 1e6f)) + 1;
  for (const ColumnSpan& span : BusyColumns(shape, 2 * reach, scratch)) {
    DistanceWhole(Columns(shape, span), Columns(distance, span), limit, outside, inside, scratch);
  }
}

void Dilate(const PlaneView& shape, float radius, FilterScratch& scratch) {
  if (!(radius > 0.0f)) return;
  scratch.Distance.resize(Size(shape));
  const PlaneView field{scratch.Distance.data(), shape.Width, shape.Height,
                        static_cast<std::size_t>(shape.Width)};
  SignedDistance(shape, field, radius + 1.0f, true, false, scratch);
  for (std::int32_t y = 0; y < shape.Height; ++y) {
    float* a = shape.Row(y);
    const float* d = field.Row(y);
    for (std::int32_t x = 0; x < shape.Width; ++x) {
      a[x] = std::max(a[x], std::clamp(radius + 0.5f - d[x], 0.0f, 1.0f));
    }
  }
}

}  // namespace plymark
