#include "tests/support/PsdWriter.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <stdexcept>

#include <zlib.h>

namespace plymark::test {

ByteWriter& ByteWriter::U8(std::uint8_t value) {
  bytes_.push_back(value);
  return *this;
}

ByteWriter& ByteWriter::I16(std::int32_t value) {
  const auto bits = static_cast<std::uint16_t>(value);
  bytes_.push_back(static_cast<std::uint8_t>(bits >> 8));
  bytes_.push_back(static_cast<std::uint8_t>(bits));
  return *this;
}

ByteWriter& ByteWriter::I32(std::int64_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) {
    bytes_.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return *this;
}

ByteWriter& ByteWriter::I64(std::int64_t value) {
  I32(static_cast<std::int64_t>(static_cast<std::uint64_t>(value) >> 32));
  return I32(value);
}

ByteWriter& ByteWriter::Length(std::int64_t value, std::int16_t version) {
  return version == 2 ? I64(value) : I32(value);
}

ByteWriter& ByteWriter::Text(const std::string& text) {
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

ByteWriter& ByteWriter::Append(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes BuildHeader(const TestDocument& document) {
  ByteWriter out;
  out.Text(document.Signature).I16(document.Version).I32(0).I16(0);
  out.I16(document.Channels).I32(document.Rows).I32(document.Columns);
  out.I16(document.Depth).I16(document.ColorMode);
  return out.Data();
}

namespace {

Bytes LayerInfo(const TestDocument& document) {
  ByteWriter info;
  info.I16(static_cast<std::int32_t>(document.Layers.size()));
  for (const TestLayer& layer : document.Layers) {
    info.I32(layer.Top).I32(layer.Left).I32(layer.Bottom).I32(layer.Right);
    info.I16(static_cast<std::int32_t>(layer.Channels.size()));
    for (const TestChannel& channel : layer.Channels) {
      info.I16(channel.Id)
          .Length(static_cast<std::int64_t>(channel.Data.size()) + 2, document.Version);
    }
    info.Text("8BIM").Text(layer.BlendKey).U8(layer.Opacity).U8(layer.Clipping).U8(layer.Flags);
    info.U8(0);
    info.I32(static_cast<std::int64_t>(layer.Extra.size())).Append(layer.Extra);
  }
  for (const TestLayer& layer : document.Layers) {
    for (const TestChannel& channel : layer.Channels) {
      info.I16(channel.Compression).Append(channel.Data);
    }
  }
  if (info.Size() % 2 != 0) info.U8(0);
  return info.Data();
}

}  // namespace

Bytes BuildPsd(const TestDocument& document) {
  ByteWriter out;
  out.Append(BuildHeader(document));
  out.I32(static_cast<std::int64_t>(document.ColorModeData.size())).Append(document.ColorModeData);
  out.I32(static_cast<std::int64_t>(document.ImageResources.size()))
      .Append(document.ImageResources);
  if (document.WithLayerSection && !document.LayerBlockKey.empty()) {
    // Section: an empty layer info, an empty global layer mask, the tagged
    // blocks, the last of them holding the layers.
    ByteWriter section;
    section.Length(0, document.Version).I32(0).Append(document.TaggedBlocksBefore);
    section.Append(TaggedBlock(document.LayerBlockSignature, document.LayerBlockKey,
                               LayerInfo(document), document.Version));
    out.Length(static_cast<std::int64_t>(section.Size()), document.Version).Append(section.Data());
  } else if (document.WithLayerSection) {
    const Bytes info = LayerInfo(document);
    const std::int64_t lengthBytes = document.Version == 2 ? 8 : 4;
    // Section: layer info (length and bytes), an empty global layer mask,
    // then the global tagged blocks.
    out.Length(
        static_cast<std::int64_t>(info.size() + document.GlobalBlocks.size()) + lengthBytes + 4,
        document.Version);
    out.Length(static_cast<std::int64_t>(info.size()), document.Version).Append(info);
    out.I32(0).Append(document.GlobalBlocks);
  } else {
    out.Length(0, document.Version);
  }
  // The merged image: raw, all zero.
  out.I16(0);
  const std::int64_t planeBytes =
      std::max<std::int64_t>(0, static_cast<std::int64_t>(document.Rows) * document.Columns) *
      std::max<std::int16_t>(0, document.Channels);
  out.Append(Bytes(static_cast<std::size_t>(std::min<std::int64_t>(planeBytes, 1 << 20)), 0));
  return out.Data();
}

namespace {

ByteWriter& RowCount(ByteWriter& out, std::size_t count, int countBytes) {
  return countBytes == 4 ? out.I32(static_cast<std::int64_t>(count))
                         : out.I16(static_cast<std::int32_t>(count));
}

}  // namespace

Bytes RunLengthPlane(const std::vector<Bytes>& rows, int countBytes) {
  ByteWriter lengths;
  ByteWriter packed;
  for (const Bytes& row : rows) {
    ByteWriter rowBytes;
    for (std::size_t start = 0; start < row.size(); start += 128) {
      const std::size_t count = std::min<std::size_t>(128, row.size() - start);
      rowBytes.U8(static_cast<std::uint8_t>(count - 1));
      rowBytes.Append(Bytes(row.begin() + static_cast<std::ptrdiff_t>(start),
                            row.begin() + static_cast<std::ptrdiff_t>(start + count)));
    }
    RowCount(lengths, rowBytes.Size(), countBytes);
    packed.Append(rowBytes.Data());
  }
  return lengths.Append(packed.Data()).Data();
}

Bytes TaggedBlock(const std::string& signature, const std::string& key, const Bytes& data,
                  std::int16_t version) {
  static const std::vector<std::string> kEightByteKeys = {"LMsk", "Lr16", "Lr32", "Layr", "Mt16",
                                                          "Mt32", "Mtrn", "Alph", "FMsk", "lnk2",
                                                          "FEid", "FXid", "PxSD", "cinf"};
  const bool eightBytes = version == 2 && std::find(kEightByteKeys.begin(), kEightByteKeys.end(),
                                                    key) != kEightByteKeys.end();
  ByteWriter block;
  block.Text(signature).Text(key).Length(static_cast<std::int64_t>(data.size()),
                                         eightBytes ? 2 : 1);
  block.Append(data);
  if (data.size() % 2 != 0) block.U8(0);
  return block.Data();
}

Bytes Samples16(const std::vector<std::uint16_t>& samples) {
  ByteWriter out;
  for (const std::uint16_t sample : samples) out.I16(sample);
  return out.Data();
}

Bytes Samples32(const std::vector<float>& samples) {
  ByteWriter out;
  for (const float sample : samples) out.I32(std::bit_cast<std::uint32_t>(sample));
  return out.Data();
}

Bytes ZipPlane(const Bytes& plane) {
  uLongf size = compressBound(static_cast<uLong>(plane.size()));
  Bytes packed(size);
  if (compress(packed.data(), &size, plane.data(), static_cast<uLong>(plane.size())) != Z_OK) {
    throw std::runtime_error("zlib compress() failed");
  }
  packed.resize(size);
  return packed;
}

Bytes PredictedZipPlane(const Bytes& plane, std::size_t width, std::size_t height,
                        int bytesPerSample) {
  const std::size_t rowBytes = width * static_cast<std::size_t>(bytesPerSample);
  Bytes coded(plane.begin(), plane.begin() + static_cast<std::ptrdiff_t>(rowBytes * height));
  for (std::size_t y = 0; y < height; ++y) {
    std::uint8_t* row = coded.data() + y * rowBytes;
    if (bytesPerSample == 2) {
      // 16-bit deltas, from the right so each uses its unchanged left neighbour.
      for (std::size_t x = width; x-- > 1;) {
        const auto left = static_cast<std::uint16_t>((row[2 * x - 2] << 8) | row[2 * x - 1]);
        const auto self = static_cast<std::uint16_t>((row[2 * x] << 8) | row[2 * x + 1]);
        const auto delta = static_cast<std::uint16_t>(self - left);
        row[2 * x] = static_cast<std::uint8_t>(delta >> 8);
        row[2 * x + 1] = static_cast<std::uint8_t>(delta);
      }
      continue;
    }
    if (bytesPerSample == 4) {
      // Byte planes: every sample's first byte, then every second byte, ...
      const Bytes samples(row, row + rowBytes);
      for (std::size_t x = 0; x < width; ++x) {
        for (std::size_t b = 0; b < 4; ++b) row[b * width + x] = samples[4 * x + b];
      }
    }
    for (std::size_t x = rowBytes; x-- > 1;) {
      row[x] = static_cast<std::uint8_t>(row[x] - row[x - 1]);
    }
  }
  return ZipPlane(coded);
}

Bytes PackBitsPlane(const std::vector<Bytes>& rows, int countBytes) {
  ByteWriter lengths;
  ByteWriter packed;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const Bytes& row = rows[r];
    ByteWriter rowBytes;
    if (r % 2 == 1) rowBytes.U8(0x80);
    std::size_t literalStart = 0;
    const auto flushLiterals = [&](std::size_t end) {
      while (literalStart < end) {
        const std::size_t count = std::min<std::size_t>(128, end - literalStart);
        rowBytes.U8(static_cast<std::uint8_t>(count - 1));
        rowBytes.Append(Bytes(row.begin() + static_cast<std::ptrdiff_t>(literalStart),
                              row.begin() + static_cast<std::ptrdiff_t>(literalStart + count)));
        literalStart += count;
      }
    };
    std::size_t x = 0;
    while (x < row.size()) {
      std::size_t run = 1;
      while (x + run < row.size() && run < 128 && row[x + run] == row[x]) ++run;
      if (run >= 3) {
        flushLiterals(x);
        rowBytes.U8(static_cast<std::uint8_t>(257 - run)).U8(row[x]);
        x += run;
        literalStart = x;
      } else {
        x += run;
      }
    }
    flushLiterals(row.size());
    RowCount(lengths, rowBytes.Size(), countBytes);
    packed.Append(rowBytes.Data());
  }
  return lengths.Append(packed.Data()).Data();
}

Bytes NamedExtra(const std::string& pascalName, const std::optional<std::u16string>& unicodeName) {
  ByteWriter extra;
  extra.I32(0).I32(0);  // layer mask data, blending ranges
  extra.U8(static_cast<std::uint8_t>(pascalName.size())).Text(pascalName);
  while (extra.Size() % 4 != 0) extra.U8(0);
  if (unicodeName) {
    ByteWriter units;
    units.I32(static_cast<std::int64_t>(unicodeName->size()));
    for (const char16_t unit : *unicodeName) units.I16(unit);
    while (units.Size() % 4 != 0) units.U8(0);
    extra.Text("8BIMluni").I32(static_cast<std::int64_t>(units.Size())).Append(units.Data());
  }
  return extra.Data();
}

Bytes LayerExtra(const std::string& pascalName, const Bytes& maskData, const Bytes& taggedBlocks) {
  ByteWriter extra;
  extra.I32(static_cast<std::int64_t>(maskData.size())).Append(maskData);
  extra.I32(0);  // blending ranges
  extra.U8(static_cast<std::uint8_t>(pascalName.size())).Text(pascalName);
  while (extra.Size() % 4 != 0) extra.U8(0);
  return extra.Append(taggedBlocks).Data();
}

Bytes UserMaskData(std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right,
                   std::uint8_t defaultColor) {
  ByteWriter data;
  data.I32(top).I32(left).I32(bottom).I32(right).U8(defaultColor).U8(0).I16(0);
  return data.Data();
}

Bytes SectionDivider(std::int32_t setting) {
  return TaggedBlock("8BIM", "lsct", ByteWriter().I32(setting).Data());
}

TestLayer SolidLayer(std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right,
                     std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const auto pixels = static_cast<std::size_t>(std::abs(bottom - top)) *
                      static_cast<std::size_t>(std::abs(right - left));
  TestLayer layer{top, left, bottom, right, {}, "norm", {}};
  layer.Channels = {{-1, 0, Bytes(pixels, 255)},
                    {0, 0, Bytes(pixels, red)},
                    {1, 0, Bytes(pixels, green)},
                    {2, 0, Bytes(pixels, blue)}};
  return layer;
}

}  // namespace plymark::test
