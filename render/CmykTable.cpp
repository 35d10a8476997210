#include "render/CmykTable.h"

#include <algorithm>
#include <array>
#include <system_error>
#include <thread>

namespace plymark {
namespace {

constexpr std::size_t kGrid = CmykTable::kGrid;
constexpr std::size_t kNodes = kGrid * kGrid * kGrid * kGrid;
// Strides of the node index per ink: yellow varies fastest, black slowest.
constexpr std::size_t kYellow = 1;
constexpr std::size_t kMagenta = kGrid;
constexpr std::size_t kCyan = kGrid * kGrid;
constexpr std::size_t kBlack = kGrid * kGrid * kGrid;

// By the order of the weights, as bits (c >= m) 4, (m >= y) 2, (c >= y) 1:
// the corner one step along the heaviest ink, and the one along the two
// heaviest. Orders 1 and 6 contradict themselves.
constexpr std::size_t kFirstCorner[8] = {kYellow, 0, kMagenta, kMagenta, kYellow, kCyan, 0, kCyan};
constexpr std::size_t kSecondCorner[8] = {
    kMagenta + kYellow, 0, kMagenta + kYellow, kCyan + kMagenta, kCyan + kYellow,
    kCyan + kYellow,    0, kCyan + kMagenta};

}  // namespace

CmykTable::CmykTable(const Sampler& sample) : nodes_(kNodes) {
  for (int v = 0; v < 256; ++v) {
    // v lies (v x 24 / 255) steps up; the last step keeps its upper node inside.
    const int position = v * (kGrid - 1) * 256 / 255;
    const int below = std::min(position / 256, static_cast<int>(kGrid) - 2);
    cell_[v] = static_cast<std::uint32_t>(below);
    weight_[v] = static_cast<std::uint16_t>(position - below * 256);
  }
  const auto fill = [&](std::size_t first, std::size_t last) {
    constexpr std::size_t kChunk = 4096;
    std::vector<std::uint16_t> cmyk(4 * kChunk);
    std::vector<std::uint16_t> rgb(3 * kChunk);
    for (std::size_t start = first; start < last; start += kChunk) {
      const std::size_t n = std::min(kChunk, last - start);
      for (std::size_t k = 0; k < n; ++k) {
        const std::size_t node = start + k;
        const std::array<std::size_t, 4> steps = {node / kCyan % kGrid, node / kMagenta % kGrid,
                                                  node % kGrid, node / kBlack};
        for (std::size_t c = 0; c < 4; ++c) {
          cmyk[4 * k + c] =
              static_cast<std::uint16_t>((steps[c] * 65535 + (kGrid - 1) / 2) / (kGrid - 1));
        }
      }
      sample(cmyk.data(), rgb.data(), n);
      for (std::size_t k = 0; k < n; ++k) {
        // 16-bit sRGB to 8.8 fixed point: x 255 x 256 / 65535 = x 256 / 257.
        const auto fixed = [&](std::size_t c) {
          return static_cast<std::uint16_t>((rgb[3 * k + c] * 256u + 128u) / 257u);
        };
        nodes_[start + k] = Node{fixed(0), fixed(1), fixed(2)};
      }
    }
  };
  std::thread helper;
  std::size_t middle = kNodes;
  try {
    helper = std::thread(fill, kNodes / 2, kNodes);
    middle = kNodes / 2;
  } catch (const std::system_error&) {
  }
  fill(0, middle);
  if (helper.joinable()) helper.join();
}

void CmykTable::Convert(PixelRecord* pixels, const PixelRecord* black, std::size_t count,
                        int depth) const {
  if (depth == 16) {
    ConvertWith(pixels, black, count, [](std::int16_t stored) {
      // v x 24 / 65535 steps up, in 256ths of a step.
      const std::uint32_t position =
          (static_cast<std::uint16_t>(stored) * std::uint32_t{(kGrid - 1) * 256} + 32767) / 65535;
      const std::uint32_t below = std::min<std::uint32_t>(position / 256, kGrid - 2);
      return Place{below, position - below * 256};
    });
    return;
  }
  ConvertWith(pixels, black, count, [this](std::int16_t stored) {
    const auto v = static_cast<std::uint8_t>(stored);
    return Place{cell_[v], weight_[v]};
  });
}

template <typename Locate>
void CmykTable::ConvertWith(PixelRecord* pixels, const PixelRecord* black, std::size_t count,
                            Locate locate) const {
  const Node* nodes = nodes_.data();
  for (std::size_t k = 0; k < count; ++k) {
    PixelRecord& pixel = pixels[k];
    const Place c = locate(pixel.Red);
    const Place m = locate(pixel.Green);
    const Place y = locate(pixel.Blue);
    const Place b = locate(black != nullptr ? black[k].Red : std::int16_t{0});
    const std::uint32_t rc = c.Weight;
    const std::uint32_t rm = m.Weight;
    const std::uint32_t ry = y.Weight;
    const std::uint32_t rk = b.Weight;
    const Node* base =
        nodes + c.Cell * kCyan + m.Cell * kMagenta + y.Cell * kYellow + b.Cell * kBlack;
    // The tetrahedron of the cube that holds the point: from the lowest
    // corner along the inks in falling order of their weights. Chosen without
    // branches, which noisy pixels would mispredict.
    const std::uint32_t order = (rc >= rm ? 4u : 0u) | (rm >= ry ? 2u : 0u) | (rc >= ry ? 1u : 0u);
    const std::uint32_t high = std::max(rc, std::max(rm, ry));
    const std::uint32_t low = std::min(rc, std::min(rm, ry));
    const std::uint32_t middle = rc + rm + ry - high - low;
    const std::size_t first = kFirstCorner[order];
    const std::size_t second = kSecondCorner[order];
    const std::uint32_t w0 = 256 - high;
    const std::uint32_t w1 = high - middle;
    const std::uint32_t w2 = middle - low;
    const std::uint32_t w3 = low;
    constexpr std::size_t kLast = kCyan + kMagenta + kYellow;
    // 8.8 fixed point times two weights of 256 each: 8.24, which at most
    // 255 x 2^24 still fits 32 bits.
    std::array<std::uint32_t, 3> sum{};
    for (int slice = 0; slice < 2; ++slice) {
      const Node* at = base + (slice == 0 ? 0 : kBlack);
      const std::uint32_t share = slice == 0 ? 256 - rk : rk;
      const Node& n0 = at[0];
      const Node& n1 = at[first];
      const Node& n2 = at[second];
      const Node& n3 = at[kLast];
      sum[0] += share * (w0 * n0.Red + w1 * n1.Red + w2 * n2.Red + w3 * n3.Red);
      sum[1] += share * (w0 * n0.Green + w1 * n1.Green + w2 * n2.Green + w3 * n3.Green);
      sum[2] += share * (w0 * n0.Blue + w1 * n1.Blue + w2 * n2.Blue + w3 * n3.Blue);
    }
    const auto component = [&](std::size_t channel) {
      return static_cast<std::int16_t>(
          std::min<std::uint32_t>(255, (sum[channel] + (1u << 23)) >> 24));
    };
    pixel = PixelRecord{component(0), component(1), component(2)};
  }
}

}  // namespace plymark
