// Writes deterministic layered PSD and PSB files (8-bit, RGB) for read benchmarks.
//
// Usage: make_bench_psd CASE OUT.psd
//   big-rle       4 layers of 4000 x 3000, PackBits per row, gradients plus noise
//   big-raw       the same pixels stored raw
//   small-200     200 layers of 64 x 64, PackBits, on a 1024 x 768 canvas
//   gradient-rle  4 layers of 4000 x 3000, PackBits, noise-free gradients (long runs)
//   big-psb       a PSB (version 2) of 5.8 GB: 6 layers of 20000 x 12000, RGBA, raw
//   cmyk-swop     as big-rle, but CMYK with Ghostscript's "Artifex CMYK SWOP" profile embedded
//                 (read from PLYMARK_BENCH_CMYK_PROFILE, by default libgs-common's
//                 default_cmyk.icc)
//   mixed-modes   13 records on 4000 x 3000, PackBits: layers in mixed blend modes, nested
//                 pass-through groups (one with a mask), an isolated multiply group, user
//                 masks and a clipped layer
//   effects       a background and a 4000 x 3000 layer whose transparency is an ellipse, with a
//                 drop shadow of size 50 and an outside stroke of 10 ('lfx2'), PackBits
//
// Only the standard library is used so the files can be made before, and independently of, the
// reader under test. Every byte depends only on the case name, so runs are comparable.

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Compression : std::uint16_t { kRaw = 0, kRle = 1 };

struct BenchCase {
  std::string_view name;
  std::uint32_t canvas_width;
  std::uint32_t canvas_height;
  std::uint32_t layer_count;
  std::uint32_t layer_width;
  std::uint32_t layer_height;
  Compression compression;
  bool noise;
  std::uint16_t version = 1;  // 2: PSB, with 8-byte lengths and 4-byte row counts
  bool cmyk = false;          // CMYK with an embedded ICC profile instead of RGB
  bool mixed = false;         // the records of MixedLayers instead of layer_count alike layers
  bool effects = false;       // the top layer: an elliptic shape with a drop shadow and a stroke
};

constexpr std::array<BenchCase, 8> kCases{{
    {"big-rle", 4000, 3000, 4, 4000, 3000, Compression::kRle, true},
    {"big-raw", 4000, 3000, 4, 4000, 3000, Compression::kRaw, true},
    {"small-200", 1024, 768, 200, 64, 64, Compression::kRle, true},
    {"gradient-rle", 4000, 3000, 4, 4000, 3000, Compression::kRle, false},
    {"big-psb", 20000, 12000, 6, 20000, 12000, Compression::kRaw, true, 2},
    {"cmyk-swop", 4000, 3000, 4, 4000, 3000, Compression::kRle, true, 1, true},
    {"mixed-modes", 4000, 3000, 13, 4000, 3000, Compression::kRle, true, 1, false, true},
    {"effects", 4000, 3000, 2, 4000, 3000, Compression::kRle, true, 1, false, false, true},
}};

// Transparency first, then R, G, B (or C, M, Y, K): the order Photoshop itself writes.
constexpr std::array<std::int16_t, 5> kChannelIds{-1, 0, 1, 2, 3};
std::uint32_t ChannelCount(const BenchCase& bench) {
  return bench.cmyk ? 5 : 4;
}

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

class XorShift64 {
 public:
  explicit XorShift64(std::uint64_t seed) : state_(seed == 0 ? 1 : seed) {}
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }

 private:
  std::uint64_t state_;
};

std::uint8_t Clamp8(int v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// Fills one row of one channel. Rows come in bands of 8 whose kind rotates with the layer and
// channel, so every channel mixes noisy rows (nearly all literal packets), mixed rows (short runs
// between literals, which stress the switch between packet kinds) and smooth quantised gradients
// (long repeat packets). The mix is tuned so the PackBits data is about three quarters of raw.
void FillRow(const BenchCase& bench, std::uint32_t layer, std::uint32_t channel, std::uint32_t y,
             std::uint32_t width, std::uint8_t* row) {
  const std::uint64_t seed = SplitMix64((static_cast<std::uint64_t>(layer) << 40) ^
                                        (static_cast<std::uint64_t>(channel) << 32) ^ y ^
                                        (bench.noise ? 0 : 0x5A5A5A5Aull));
  XorShift64 rng(seed);
  // Horizontal ramp whose phase drifts with row, channel and layer.
  const auto ramp = [&](std::uint32_t x) {
    return static_cast<int>((x * 256u / width + y / 4u + channel * 64u + layer * 37u) & 0xFFu);
  };

  if (bench.effects && layer == 0 && channel == 0) {
    std::memset(row, 255, width);  // an opaque background
    return;
  }
  if (bench.effects && layer == 1 && channel == 0) {
    // An ellipse inset 300 pixels from the layer's edges, anti-aliased over a pixel.
    const double cy = 1500.0;
    const double cx = 2000.0;
    for (std::uint32_t x = 0; x < width; ++x) {
      const double dx = (x + 0.5 - cx) / (cx - 300.0);
      const double dy = (y + 0.5 - cy) / (cy - 300.0);
      const double edge = (1.0 - std::sqrt(dx * dx + dy * dy)) * (cy - 300.0);
      row[x] = Clamp8(static_cast<int>(std::lround(std::clamp(edge + 0.5, 0.0, 1.0) * 255.0)));
    }
    return;
  }
  const std::uint32_t kind = bench.noise ? (y / 8u + layer + channel) % 16u : 15u;
  if (kind < 11) {
    // Gradient plus +-24 noise: neighbours rarely repeat three times, so this packs as literals.
    for (std::uint32_t x = 0; x < width; ++x) {
      row[x] = Clamp8(ramp(x) + static_cast<int>(rng.Below(49)) - 24);
    }
  } else if (kind < 14) {
    // Alternating stretches of noise and of a flat value.
    std::uint32_t x = 0;
    bool flat = (rng.Next() & 1u) != 0;
    while (x < width) {
      const std::uint32_t len = std::min(width - x, flat ? 2 + rng.Below(90) : 1 + rng.Below(40));
      if (flat) {
        std::memset(row + x, ramp(x), len);
      } else {
        for (std::uint32_t i = 0; i < len; ++i) {
          row[x + i] = Clamp8(ramp(x + i) + static_cast<int>(rng.Below(49)) - 24);
        }
      }
      x += len;
      flat = !flat;
    }
  } else {
    // Quantised gradient: the step count varies per row so run lengths vary too.
    const std::uint32_t levels = 8 + (y * 7u + channel * 13u + layer) % 57u;
    const int base = static_cast<int>((y / 3u + channel * 50u + layer * 20u) & 0x7Fu);
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t step = x * levels / width;
      row[x] = static_cast<std::uint8_t>((base + static_cast<int>(step * 128u / levels)) & 0xFF);
    }
  }
}

// Standard PackBits: header n-1 (0..127) for n literal bytes, 257-n (129..255) for n repeats of
// the next byte, 2 <= n <= 128. Header 128 is never written.
void PackBitsRow(const std::uint8_t* src, std::size_t n, Bytes& out) {
  std::size_t i = 0;
  std::size_t literal_start = 0;
  std::size_t literal_len = 0;
  const auto flush_literal = [&]() {
    while (literal_len > 0) {
      const std::size_t chunk = std::min<std::size_t>(literal_len, 128);
      out.push_back(static_cast<std::uint8_t>(chunk - 1));
      out.insert(out.end(), src + literal_start, src + literal_start + chunk);
      literal_start += chunk;
      literal_len -= chunk;
    }
  };
  while (i < n) {
    std::size_t run = 1;
    while (i + run < n && run < 128 && src[i + run] == src[i]) ++run;
    // A pair inside a literal stretch costs less left in it than split out as its own packet.
    if (run >= 3 || (run == 2 && literal_len == 0)) {
      flush_literal();
      out.push_back(static_cast<std::uint8_t>(257 - run));
      out.push_back(src[i]);
      i += run;
      literal_start = i;
    } else {
      if (literal_len == 0) literal_start = i;
      literal_len += run;
      i += run;
    }
  }
  flush_literal();
}

void PutU8(Bytes& b, std::uint8_t v) {
  b.push_back(v);
}
void PutU16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}
void PutU32(Bytes& b, std::uint32_t v) {
  PutU16(b, v >> 16);
  PutU16(b, v & 0xFFFFu);
}
void PutBytes(Bytes& b, std::string_view s) {
  b.insert(b.end(), s.begin(), s.end());
}

// Channel image data for one layer channel of w x h pixels, starting with its 2-byte
// compression code. A channel without pixels is stored raw.
Bytes EncodeChannel(const BenchCase& bench, std::uint32_t layer, std::uint32_t channel,
                    std::uint32_t w, std::uint32_t h) {
  Bytes row(w);
  Bytes out;
  if (bench.compression == Compression::kRaw || w == 0 || h == 0) {
    PutU16(out, static_cast<std::uint32_t>(Compression::kRaw));
    out.resize(2 + static_cast<std::size_t>(w) * h);
    for (std::uint32_t y = 0; y < h; ++y) {
      FillRow(bench, layer, channel, y, w, out.data() + 2 + static_cast<std::size_t>(y) * w);
    }
    return out;
  }
  PutU16(out, static_cast<std::uint32_t>(bench.compression));
  // Per-row byte counts come first, so reserve them and fill them in as rows are packed.
  const std::size_t counts_at = out.size();
  out.resize(counts_at + 2 * static_cast<std::size_t>(h));
  out.reserve(out.size() + static_cast<std::size_t>(w) * h + static_cast<std::size_t>(h) * 40);
  for (std::uint32_t y = 0; y < h; ++y) {
    FillRow(bench, layer, channel, y, w, row.data());
    const std::size_t before = out.size();
    PackBitsRow(row.data(), w, out);
    const std::size_t packed = out.size() - before;
    out[counts_at + 2 * y] = static_cast<std::uint8_t>(packed >> 8);
    out[counts_at + 2 * y + 1] = static_cast<std::uint8_t>(packed);
  }
  return out;
}

// Layer placement: big cases fill the canvas; small layers are scattered over it.
struct Rect {
  std::uint32_t top, left, bottom, right;
};
Rect LayerRect(const BenchCase& bench, std::uint32_t layer) {
  if (bench.layer_width == bench.canvas_width && bench.layer_height == bench.canvas_height) {
    return {0, 0, bench.canvas_height, bench.canvas_width};
  }
  XorShift64 rng(SplitMix64(0xB0B0ull + layer));
  const std::uint32_t top = rng.Below(bench.canvas_height - bench.layer_height + 1);
  const std::uint32_t left = rng.Below(bench.canvas_width - bench.layer_width + 1);
  return {top, left, top + bench.layer_height, left + bench.layer_width};
}

// One layer record: where it lies and how it is drawn.
struct LayerRecipe {
  Rect rect;
  std::string_view blend = "norm";
  std::uint8_t opacity = 255;
  std::uint8_t clipping = 0;
  std::uint32_t divider = 0;         // section divider type: 0 none, 1 a group's record, 3 its end
  std::string_view groupBlend = "";  // the blend key in a group's divider block
  bool mask = false;  // a user mask, default 255: over maskRect, or the middle of the rectangle
  Rect maskRect = {0, 0, 0, 0};
};

std::uint32_t Width(const Rect& r) {
  return r.right - r.left;
}
std::uint32_t Height(const Rect& r) {
  return r.bottom - r.top;
}
Rect MaskRect(const Rect& r) {
  return {r.top + Height(r) / 4, r.left + Width(r) / 4, r.bottom - Height(r) / 4,
          r.right - Width(r) / 4};
}

// Bottom first: a background; an outer pass-through group with a mask, holding a masked
// multiply layer and an inner pass-through group at opacity 200 (a screen layer with an
// overlay layer clipped to it); a soft-light layer at opacity 180; an isolated multiply group
// of a linear-dodge layer; a masked layer at opacity 128 on top.
std::vector<LayerRecipe> MixedLayers() {
  const Rect none{0, 0, 0, 0};
  return {
      {{0, 0, 3000, 4000}},
      {none, "norm", 255, 0, 3},
      {{200, 300, 2700, 3700}, "mul ", 255, 0, 0, "", true},
      {none, "norm", 255, 0, 3},
      {{500, 500, 3000, 3000}, "scrn"},
      {{0, 1000, 2000, 4000}, "over", 255, 1},
      {none, "norm", 200, 0, 1, "pass"},
      {{0, 0, 3000, 4000}, "sLit", 180},
      {none, "norm", 255, 0, 1, "pass", true, {400, 400, 2600, 3600}},
      {none, "norm", 255, 0, 3},
      {{1000, 0, 3000, 2500}, "lddg"},
      {none, "norm", 255, 0, 1, "mul "},
      {{300, 2000, 2800, 3900}, "norm", 128, 0, 0, "", true},
  };
}

std::vector<LayerRecipe> LayerRecipes(const BenchCase& bench) {
  if (bench.mixed) return MixedLayers();
  std::vector<LayerRecipe> recipes;
  for (std::uint32_t l = 0; l < bench.layer_count; ++l) recipes.push_back({LayerRect(bench, l)});
  return recipes;
}

// A layer's channels: transparency and colour, then its user mask.
Rect MaskOf(const LayerRecipe& recipe) {
  return Width(recipe.maskRect) > 0 ? recipe.maskRect : MaskRect(recipe.rect);
}

std::vector<std::int16_t> ChannelIds(const BenchCase& bench, const LayerRecipe& recipe) {
  std::vector<std::int16_t> ids(kChannelIds.begin(), kChannelIds.begin() + ChannelCount(bench));
  if (recipe.mask) ids.push_back(-2);
  return ids;
}

// Merged (composite) image: a flat colour in PackBits, so it costs almost nothing to write or
// skip and leaves the layer data as the thing being measured.
Bytes MergedImage(const BenchCase& bench) {
  const std::uint32_t w = bench.canvas_width;
  const std::uint32_t h = bench.canvas_height;
  const std::array<std::uint8_t, 4> colour{0xC0, 0xC8, 0xD0, 0xF0};
  Bytes packed_row;
  Bytes row(w);
  Bytes out;
  PutU16(out, static_cast<std::uint32_t>(Compression::kRle));
  std::vector<Bytes> planes;
  for (std::size_t k = 0; k < (bench.cmyk ? 4u : 3u); ++k) {
    const std::uint8_t c = colour[k];
    std::fill(row.begin(), row.end(), c);
    packed_row.clear();
    PackBitsRow(row.data(), w, packed_row);
    planes.push_back(packed_row);
  }
  // Counts for all rows of all planes come before any row data.
  for (const Bytes& p : planes) {
    for (std::uint32_t y = 0; y < h; ++y) {
      if (bench.version == 2) PutU16(out, 0);  // a PSB's row counts take 4 bytes
      PutU16(out, static_cast<std::uint32_t>(p.size()));
    }
  }
  for (const Bytes& p : planes) {
    for (std::uint32_t y = 0; y < h; ++y) out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

bool WriteAll(std::FILE* f, const Bytes& b) {
  return b.empty() || std::fwrite(b.data(), 1, b.size(), f) == b.size();
}

// An 'lfx2' block's data: a drop shadow of size 50 and an outside stroke of 10, as the maker
// writes them (effects version 0, descriptor version 16).
class DescriptorWriter {
 public:
  Bytes out;
  void Key(std::string_view key) {
    PutU32(out, key.size() == 4 ? 0 : static_cast<std::uint32_t>(key.size()));
    PutBytes(out, key);
  }
  void Begin(std::string_view classId, std::uint32_t items) {
    PutU32(out, 0);  // empty name
    Key(classId);
    PutU32(out, items);
  }
  void Object(std::string_view key, std::string_view classId, std::uint32_t items) {
    Key(key);
    PutBytes(out, "Objc");
    Begin(classId, items);
  }
  void Double(std::string_view type, std::uint64_t bits) {
    PutBytes(out, type);
    PutU32(out, static_cast<std::uint32_t>(bits >> 32));
    PutU32(out, static_cast<std::uint32_t>(bits));
  }
  void Unit(std::string_view key, std::string_view unit, double value) {
    Key(key);
    PutBytes(out, "UntF");
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    Double(unit, bits);
  }
  void Bool(std::string_view key, bool value) {
    Key(key);
    PutBytes(out, "bool");
    PutU8(out, value ? 1 : 0);
  }
  void Enum(std::string_view key, std::string_view type, std::string_view value) {
    Key(key);
    PutBytes(out, "enum");
    Key(type);
    Key(value);
  }
  void Colour(double r, double g, double b) {
    Object("Clr ", "RGBC", 3);
    for (const auto& [key, value] : {std::pair{"Rd  ", r}, {"Grn ", g}, {"Bl  ", b}}) {
      Key(key);
      std::uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      Double("doub", bits);
    }
  }
};

Bytes EffectsBlock() {
  DescriptorWriter d;
  PutU32(d.out, 0);   // effects version
  PutU32(d.out, 16);  // descriptor version
  d.Begin("null", 4);
  d.Unit("Scl ", "#Prc", 100.0);
  d.Bool("masterFXSwitch", true);
  d.Object("DrSh", "DrSh", 10);
  d.Bool("enab", true);
  d.Enum("Md  ", "BlnM", "Mltp");
  d.Colour(0, 0, 0);
  d.Unit("Opct", "#Prc", 75.0);
  d.Bool("uglg", false);
  d.Unit("lagl", "#Ang", 120.0);
  d.Unit("Dstn", "#Pxl", 20.0);
  d.Unit("Ckmt", "#Pxl", 0.0);
  d.Unit("blur", "#Pxl", 50.0);
  d.Bool("layerConceals", true);
  d.Object("FrFX", "FrFX", 7);
  d.Bool("enab", true);
  d.Enum("Styl", "FStl", "OutF");
  d.Enum("PntT", "FrFl", "SClr");
  d.Enum("Md  ", "BlnM", "Nrml");
  d.Unit("Opct", "#Prc", 100.0);
  d.Unit("Sz  ", "#Pxl", 10.0);
  d.Colour(255, 0, 0);
  Bytes block;
  PutBytes(block, "8BIMlfx2");
  while (d.out.size() % 4 != 0) PutU8(d.out, 0);
  PutU32(block, static_cast<std::uint32_t>(d.out.size()));
  block.insert(block.end(), d.out.begin(), d.out.end());
  return block;
}

// Image resources: the ICC profile (resource 1039) of a CMYK case, read from a file.
bool ImageResources(const BenchCase& bench, Bytes& out) {
  if (!bench.cmyk) return true;
  const char* path = std::getenv("PLYMARK_BENCH_CMYK_PROFILE");
  if (path == nullptr) path = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path, "rb"));
  if (!f) {
    std::perror(path);
    return false;
  }
  Bytes profile;
  std::array<std::uint8_t, 65536> chunk{};
  for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), f.get())) > 0;) {
    profile.insert(profile.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
  }
  PutBytes(out, "8BIM");
  PutU16(out, 1039);
  PutU16(out, 0);  // Empty name, padded to two bytes.
  PutU32(out, static_cast<std::uint32_t>(profile.size()));
  out.insert(out.end(), profile.begin(), profile.end());
  if (profile.size() % 2 != 0) PutU8(out, 0);
  return true;
}

int Run(const BenchCase& bench, const char* out_path) {
  const auto started = std::chrono::steady_clock::now();
  const std::vector<LayerRecipe> recipes = LayerRecipes(bench);
  const auto layer_count = static_cast<std::uint32_t>(recipes.size());
  // The size of channel c of layer l: a user mask's rectangle, else the layer's.
  const auto channel_rect = [&](std::uint32_t l, std::size_t c) {
    const LayerRecipe& recipe = recipes[l];
    return ChannelIds(bench, recipe)[c] == -2 ? MaskOf(recipe) : recipe.rect;
  };

  // Raw channels are made one at a time while they are written; packed ones
  // first, as their lengths go into the records.
  const bool streamed = bench.compression == Compression::kRaw;
  std::vector<std::vector<Bytes>> channel_data(layer_count);
  if (!streamed) {
    for (std::uint32_t l = 0; l < layer_count; ++l) {
      for (std::size_t c = 0; c < ChannelIds(bench, recipes[l]).size(); ++c) {
        const Rect r = channel_rect(l, c);
        channel_data[l].push_back(
            EncodeChannel(bench, l, static_cast<std::uint32_t>(c), Width(r), Height(r)));
      }
    }
  }
  const auto channel_size = [&](std::uint32_t l, std::size_t c) -> std::uint64_t {
    const Rect r = channel_rect(l, c);
    return streamed ? 2 + static_cast<std::uint64_t>(Width(r)) * Height(r)
                    : channel_data[l][c].size();
  };
  const auto put_length = [&](Bytes& b, std::uint64_t length) {
    if (bench.version == 2) PutU32(b, static_cast<std::uint32_t>(length >> 32));
    PutU32(b, static_cast<std::uint32_t>(length));
  };

  // Layer records.
  Bytes records;
  PutU16(records, layer_count);  // Positive: the merged image has no transparency channel.
  for (std::uint32_t l = 0; l < layer_count; ++l) {
    const LayerRecipe& recipe = recipes[l];
    const Rect r = recipe.rect;
    PutU32(records, r.top);
    PutU32(records, r.left);
    PutU32(records, r.bottom);
    PutU32(records, r.right);
    const std::vector<std::int16_t> ids = ChannelIds(bench, recipe);
    PutU16(records, static_cast<std::uint32_t>(ids.size()));
    for (std::size_t c = 0; c < ids.size(); ++c) {
      PutU16(records, static_cast<std::uint16_t>(ids[c]));
      put_length(records, channel_size(l, c));
    }
    PutBytes(records, "8BIM");
    PutBytes(records, recipe.blend);
    PutU8(records, recipe.opacity);
    PutU8(records, recipe.clipping);
    PutU8(records, 0);  // Flags: visible, transparency not protected.
    PutU8(records, 0);  // Filler.
    // Extra data: the user mask (or none), empty blending ranges, the Pascal name padded to 4
    // bytes, then a group's section divider block.
    const std::string name = "Layer " + std::to_string(l + 1);
    const std::size_t name_field = (1 + name.size() + 3) / 4 * 4;
    const std::size_t mask_field = recipe.mask ? 20 : 0;
    const std::size_t divider_field = recipe.divider == 0 ? 0 : 12 + (recipe.divider == 1 ? 12 : 4);
    const Bytes effects = bench.effects && l == 1 ? EffectsBlock() : Bytes{};
    PutU32(records, static_cast<std::uint32_t>(8 + mask_field + name_field + divider_field +
                                               effects.size()));
    PutU32(records, static_cast<std::uint32_t>(mask_field));
    if (recipe.mask) {
      const Rect m = MaskOf(recipe);
      PutU32(records, m.top);
      PutU32(records, m.left);
      PutU32(records, m.bottom);
      PutU32(records, m.right);
      PutU8(records, 255);  // Default colour: shown outside the rectangle.
      PutU8(records, 0);    // Flags.
      PutU16(records, 0);   // Padding.
    }
    PutU32(records, 0);
    PutU8(records, static_cast<std::uint8_t>(name.size()));
    PutBytes(records, name);
    records.resize(records.size() + name_field - 1 - name.size(), 0);
    if (recipe.divider != 0) {
      PutBytes(records, "8BIMlsct");
      PutU32(records, recipe.divider == 1 ? 12 : 4);
      PutU32(records, recipe.divider);
      if (recipe.divider == 1) {
        PutBytes(records, "8BIM");
        PutBytes(records, recipe.groupBlend);
      }
    }
    records.insert(records.end(), effects.begin(), effects.end());
  }

  std::uint64_t layer_info_len = records.size();
  for (std::uint32_t l = 0; l < layer_count; ++l) {
    for (std::size_t c = 0; c < ChannelIds(bench, recipes[l]).size(); ++c) {
      layer_info_len += channel_size(l, c);
    }
  }
  const bool pad = (layer_info_len % 2) != 0;
  if (pad) ++layer_info_len;
  const std::uint64_t length_size = bench.version == 2 ? 8 : 4;
  const std::uint64_t section_len = length_size + layer_info_len + 4;
  if (bench.version == 1 && section_len > 0xFFFFFFFFull) {
    std::fprintf(stderr, "layer section too large for a version 1 file\n");
    return 1;
  }

  Bytes head;
  PutBytes(head, "8BPS");
  PutU16(head, bench.version);       // 1: PSD; 2: PSB, with 64-bit section lengths.
  head.resize(head.size() + 6);      // Reserved.
  PutU16(head, bench.cmyk ? 4 : 3);  // Merged image channels: R, G, B or C, M, Y, K.
  PutU32(head, bench.canvas_height);
  PutU32(head, bench.canvas_width);
  PutU16(head, 8);                   // Bits per channel.
  PutU16(head, bench.cmyk ? 4 : 3);  // Colour mode: CMYK or RGB.
  PutU32(head, 0);                   // Colour mode data.
  Bytes resources;
  if (!ImageResources(bench, resources)) return 1;
  PutU32(head, static_cast<std::uint32_t>(resources.size()));
  head.insert(head.end(), resources.begin(), resources.end());
  put_length(head, section_len);
  put_length(head, layer_info_len);

  Bytes tail;
  if (pad) PutU8(tail, 0);
  PutU32(tail, 0);  // Global layer mask info.
  const Bytes merged = MergedImage(bench);

  std::unique_ptr<std::FILE, FileCloser> f(std::fopen(out_path, "wb"));
  if (!f) {
    std::perror(out_path);
    return 1;
  }
  std::setvbuf(f.get(), nullptr, _IOFBF, 1 << 22);
  bool ok = WriteAll(f.get(), head) && WriteAll(f.get(), records);
  for (std::uint32_t l = 0; l < layer_count && ok; ++l) {
    for (std::size_t c = 0; c < ChannelIds(bench, recipes[l]).size() && ok; ++c) {
      const Rect r = channel_rect(l, c);
      ok = WriteAll(f.get(), streamed ? EncodeChannel(bench, l, static_cast<std::uint32_t>(c),
                                                      Width(r), Height(r))
                                      : channel_data[l][c]);
    }
  }
  ok = ok && WriteAll(f.get(), tail) && WriteAll(f.get(), merged);
  ok = (std::fclose(f.release()) == 0) && ok;
  if (!ok) {
    std::perror(out_path);
    return 1;
  }

  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  // The header block already holds the layer info length field; the tail holds pad and mask.
  const std::uint64_t total = head.size() + layer_info_len + 4 + merged.size();
  (void)length_size;
  std::fprintf(stderr, "%s: %s, %llu bytes, %.2f s\n", out_path, std::string(bench.name).c_str(),
               static_cast<unsigned long long>(total), secs);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CASE OUT.psd\ncases:", argv[0]);
    for (const BenchCase& c : kCases) std::fprintf(stderr, " %s", std::string(c.name).c_str());
    std::fprintf(stderr, "\n");
    return 2;
  }
  const std::string_view wanted = argv[1];
  for (const BenchCase& c : kCases) {
    if (c.name == wanted) return Run(c, argv[2]);
  }
  std::fprintf(stderr, "unknown case '%s'\n", argv[1]);
  return 2;
}
