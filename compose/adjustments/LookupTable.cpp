#include "compose/adjustments/LookupTable.h"

#include <lcms2.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <string_view>

namespace plymark::adjustments {
namespace {

// The lines of a table's text, split on CR or LF, without comments.
std::vector<std::string_view> Lines(std::span<const std::uint8_t> text) {
  const std::string_view all(reinterpret_cast<const char*>(text.data()), text.size());
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(start, end - start);
    line = line.substr(0, line.find('#'));
    const std::size_t first = line.find_first_not_of(" \t");
    if (first != std::string_view::npos) lines.push_back(line.substr(first));
    start = end + 1;
  }
  return lines;
}

// The whitespace-separated words of a line.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t start = 0;
  while ((start = line.find_first_not_of(" \t", start)) != std::string_view::npos) {
    const std::size_t end = std::min(line.find_first_of(" \t", start), line.size());
    words.push_back(line.substr(start, end - start));
    start = end;
  }
  return words;
}

template <typename T>
std::optional<T> Number(std::string_view word) {
  T value{};
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
  if constexpr (std::is_floating_point_v<T>) {
    if (!std::isfinite(value)) return std::nullopt;
  }
  return value;
}

// Three numbers, or nothing.
template <typename T>
std::optional<std::array<T, 3>> Triple(const std::vector<std::string_view>& words,
                                       std::size_t first) {
  if (words.size() != first + 3) return std::nullopt;
  std::array<T, 3> triple{};
  for (std::size_t k = 0; k < 3; ++k) {
    const auto value = Number<T>(words[first + k]);
    if (!value) return std::nullopt;
    triple[k] = *value;
  }
  return triple;
}

LookupRead Problem(std::string text) {
  return {std::nullopt, std::move(text)};
}

std::size_t Cube(int size) {
  return static_cast<std::size_t>(size) * static_cast<std::size_t>(size) *
         static_cast<std::size_t>(size);
}

// Entries read blue fastest, reordered red fastest.
std::vector<std::array<float, 3>> RedFastest(const std::vector<std::array<float, 3>>& entries,
                                             int size) {
  std::vector<std::array<float, 3>> ordered(entries.size());
  const auto n = static_cast<std::size_t>(size);
  for (std::size_t r = 0; r < n; ++r) {
    for (std::size_t g = 0; g < n; ++g) {
      for (std::size_t b = 0; b < n; ++b)
        ordered[r + n * (g + n * b)] = entries[b + n * (g + n * r)];
    }
  }
  return ordered;
}

}  // namespace

LookupRead ReadCubeTable(std::span<const std::uint8_t> text) {
  LookupGrid grid;
  for (const std::string_view line : Lines(text)) {
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) continue;
    const std::string_view keyword = words[0];
    if (keyword == "TITLE") continue;
    if (keyword == "LUT_1D_SIZE") return Problem("a one-dimensional .cube table");
    if (keyword == "LUT_3D_SIZE") {
      const auto size = words.size() == 2 ? Number<int>(words[1]) : std::nullopt;
      if (!size || *size < 2 || *size > kLargestLookupSide) {
        return Problem("a .cube table whose side is not 2 to " +
                       std::to_string(kLargestLookupSide));
      }
      grid.Size = *size;
    } else if (keyword == "DOMAIN_MIN" || keyword == "DOMAIN_MAX") {
      const auto domain = Triple<float>(words, 1);
      if (!domain) return Problem("a .cube table with a damaged " + std::string(keyword));
      (keyword == "DOMAIN_MIN" ? grid.DomainMin : grid.DomainMax) = *domain;
    } else if (keyword == "LUT_3D_INPUT_RANGE") {
      const auto low = words.size() == 3 ? Number<float>(words[1]) : std::nullopt;
      const auto high = words.size() == 3 ? Number<float>(words[2]) : std::nullopt;
      if (!low || !high) return Problem("a .cube table with a damaged LUT_3D_INPUT_RANGE");
      grid.DomainMin = {*low, *low, *low};
      grid.DomainMax = {*high, *high, *high};
    } else {
      const auto entry = Triple<float>(words, 0);
      if (!entry || grid.Size == 0) return Problem("a .cube table with a damaged line");
      if (grid.Entries.size() < Cube(grid.Size)) grid.Entries.push_back(*entry);
    }
  }
  if (grid.Size == 0 || grid.Entries.size() != Cube(grid.Size)) {
    return Problem("a .cube table cut short");
  }
  for (std::size_t c = 0; c < 3; ++c) {
    if (!(grid.DomainMax[c] > grid.DomainMin[c]))
      return Problem("a .cube table with an empty domain");
  }
  return {std::move(grid), {}};
}

LookupRead Read3dlTable(std::span<const std::uint8_t> text) {
  int size = 0;
  int largest = 0;
  std::vector<std::array<int, 3>> entries;
  for (const std::string_view line : Lines(text)) {
    const std::vector<std::string_view> words = Words(line);
    if (words.empty() || !Number<int>(words[0])) continue;  // keywords such as "3DMESH"
    if (size == 0) {
      // The input levels: one per grid point.
      if (words.size() < 2 || words.size() > static_cast<std::size_t>(kLargestLookupSide)) {
        return Problem("a .3dl table whose side is not 2 to " + std::to_string(kLargestLookupSide));
      }
      size = static_cast<int>(words.size());
      continue;
    }
    const auto entry = Triple<int>(words, 0);
    if (!entry) return Problem("a .3dl table with a damaged line");
    if (entries.size() < Cube(size)) entries.push_back(*entry);
    for (const int v : *entry) largest = std::max(largest, v);
  }
  if (size == 0 || entries.size() != Cube(size)) return Problem("a .3dl table cut short");
  // The output depth the values fill: 10, 12 or 16 bits (8 bits for small ones).
  float scale = 255.0f;
  for (const int bits : {10, 12, 16}) {
    if (largest > static_cast<int>(scale)) scale = static_cast<float>((1 << bits) - 1);
  }
  std::vector<std::array<float, 3>> values;
  values.reserve(entries.size());
  for (const auto& entry : entries) {
    values.push_back({static_cast<float>(entry[0]) / scale, static_cast<float>(entry[1]) / scale,
                      static_cast<float>(entry[2]) / scale});
  }
  LookupGrid grid;
  grid.Size = size;
  grid.Entries = RedFastest(values, size);
  return {std::move(grid), {}};
}

LookupRead ReadProfileTable(std::span<const std::uint8_t> profile) {
  using Profile = std::unique_ptr<void, decltype(&cmsCloseProfile)>;
  const Profile link(
      cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())),
      cmsCloseProfile);
  if (!link) return Problem("an ICC profile Little CMS cannot read");
  const cmsProfileClassSignature kind = cmsGetDeviceClass(link.get());
  std::unique_ptr<void, decltype(&cmsDeleteTransform)> transform(nullptr, cmsDeleteTransform);
  if (kind == cmsSigLinkClass && cmsGetColorSpace(link.get()) == cmsSigRgbData &&
      cmsGetPCS(link.get()) == cmsSigRgbData) {
    transform.reset(cmsCreateTransform(link.get(), TYPE_RGB_FLT, nullptr, TYPE_RGB_FLT,
                                       INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
  } else if (kind == cmsSigAbstractClass) {
    const Profile srgb(cmsCreate_sRGBProfile(), cmsCloseProfile);
    cmsHPROFILE chain[3] = {srgb.get(), link.get(), srgb.get()};
    transform.reset(cmsCreateMultiprofileTransform(chain, 3, TYPE_RGB_FLT, TYPE_RGB_FLT,
                                                   INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE));
  } else {
    return Problem("an ICC profile that is neither an RGB device link nor abstract");
  }
  if (!transform) return Problem("an ICC profile Little CMS cannot use");
  constexpr int kSide = 33;
  LookupGrid grid;
  grid.Size = kSide;
  grid.Entries.resize(Cube(kSide));
  for (std::size_t k = 0; k < grid.Entries.size(); ++k) {
    const float in[3] = {static_cast<float>(k % kSide) / (kSide - 1),
                         static_cast<float>(k / kSide % kSide) / (kSide - 1),
                         static_cast<float>(k / kSide / kSide) / (kSide - 1)};
    cmsDoTransform(transform.get(), in, grid.Entries[k].data(), 1);
  }
  return {std::move(grid), {}};
}

void LookupAdjustment::Apply(std::span<float* const> channels, std::size_t count) const {
  if (channels.size() < 3 || grid_.Size < 2) return;
  const auto n = static_cast<std::size_t>(grid_.Size);
  const float last = static_cast<float>(grid_.Size - 1);
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t base[3];
    float frac[3];
    for (std::size_t c = 0; c < 3; ++c) {
      const float v = channels[c][i];
      float x = (v - grid_.DomainMin[c]) / (grid_.DomainMax[c] - grid_.DomainMin[c]) * last;
      x = std::isnan(x) ? 0.0f : std::clamp(x, 0.0f, last);
      base[c] = std::min(static_cast<std::size_t>(x), n - 2);
      frac[c] = x - static_cast<float>(base[c]);
    }
    float out[3] = {0, 0, 0};
    for (int corner = 0; corner < 8; ++corner) {
      float weight = 1.0f;
      std::size_t at[3];
      for (std::size_t c = 0; c < 3; ++c) {
        const bool up = (corner >> c) & 1;
        weight *= up ? frac[c] : 1.0f - frac[c];
        at[c] = base[c] + (up ? 1 : 0);
      }
      if (weight == 0.0f) continue;
      const auto& entry = grid_.Entries[at[0] + n * (at[1] + n * at[2])];
      for (std::size_t c = 0; c < 3; ++c) out[c] += weight * entry[c];
    }
    for (std::size_t c = 0; c < 3; ++c) {
      channels[c][i] = std::isnan(out[c]) ? 0.0f : std::clamp(out[c], 0.0f, 1.0f);
    }
  }
}

}  // namespace plymark::adjustments
