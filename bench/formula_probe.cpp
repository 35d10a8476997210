// Runs one blend formula or one adjustment over colours read from standard
// input, for scripts/formula-agreement, which compares the results with the
// maker's merged images. Colours are 0..1, one pixel per line.
//
//   formula_probe blend KEY          lines "cb0 cb1 cb2 cs0 cs1 cs2" -> "b0 b1 b2"
//   formula_probe adjust KEY FILE    lines "c0 c1 c2" -> "a0 a1 a2"; FILE holds the
//                                    settings block (8-bit RGB document)
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compose/Adjustments.h"
#include "compose/BlendFormulas.h"

namespace {

int Blend(const std::string& key) {
  const auto mode = plymark::BlendModeOfKey(key);
  if (!mode) {
    std::fprintf(stderr, "formula_probe: no blend mode '%s'\n", key.c_str());
    return 2;
  }
  float cb[3];
  float cs[3];
  while (std::scanf("%f %f %f %f %f %f", &cb[0], &cb[1], &cb[2], &cs[0], &cs[1], &cs[2]) == 6) {
    float out[3];
    plymark::blend::VisitBlendMode(*mode, [&](auto formula) {
      if constexpr (decltype(formula)::kSeparable) {
        for (int c = 0; c < 3; ++c) out[c] = formula(cb[c], cs[c]);
      } else {
        formula(cb, cs, out);
      }
    });
    std::printf("%.7f %.7f %.7f\n", out[0], out[1], out[2]);
  }
  return 0;
}

int Adjust(const std::string& key, const char* path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<std::uint8_t> block{std::istreambuf_iterator<char>(file), {}};
  const auto read = plymark::ReadAdjustment(key, block, {});
  if (read.Mapping == nullptr) {
    std::fprintf(stderr, "formula_probe: %s\n", read.Problem.c_str());
    return 1;
  }
  std::vector<float> planes[3];
  float c[3];
  while (std::scanf("%f %f %f", &c[0], &c[1], &c[2]) == 3) {
    for (int i = 0; i < 3; ++i) planes[i].push_back(c[i]);
  }
  float* const channels[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
  read.Mapping->Apply(channels, planes[0].size());
  for (std::size_t i = 0; i < planes[0].size(); ++i) {
    std::printf("%.7f %.7f %.7f\n", planes[0][i], planes[1][i], planes[2][i]);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "blend") return Blend(args[1]);
  if (args.size() == 3 && args[0] == "adjust") return Adjust(args[1], argv[3]);
  std::fprintf(stderr, "usage: formula_probe blend KEY | adjust KEY FILE\n");
  return 2;
}
