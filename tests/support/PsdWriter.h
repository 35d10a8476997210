#pragma once

// A small writer of PSD bytes for tests, so that every test shows what its
// file holds.

#include <cstdint>
#include <string>
#include <vector>

namespace plymark::test {

using Bytes = std::vector<std::uint8_t>;

// Appends big-endian fields to a byte vector.
class ByteWriter {
 public:
  ByteWriter& U8(std::uint8_t value);
  ByteWriter& I16(std::int32_t value);  ///< low 16 bits, big-endian
  ByteWriter& I32(std::int64_t value);  ///< low 32 bits, big-endian
  ByteWriter& Text(const std::string& text);
  ByteWriter& Append(const Bytes& bytes);
  const Bytes& Data() const { return bytes_; }
  std::size_t Size() const { return bytes_.size(); }

 private:
  Bytes bytes_;
};

struct TestChannel {
  std::int16_t Id = 0;
  std::int16_t Compression = 0;
  Bytes Data;  ///< the bytes behind the compression code
};

struct TestLayer {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Bottom = 0;
  std::int32_t Right = 0;
  std::vector<TestChannel> Channels;
  std::string BlendKey = "norm";
  Bytes Extra;  ///< the record's extra data
};

struct TestDocument {
  std::string Signature = "8BPS";
  std::int16_t Version = 1;
  std::int16_t Channels = 3;
  std::int32_t Rows = 4;
  std::int32_t Columns = 4;
  std::int16_t Depth = 8;
  std::int16_t ColorMode = 3;
  Bytes ColorModeData;
  Bytes ImageResources;
  std::vector<TestLayer> Layers;
  bool WithLayerSection = true;  ///< false: empty layer-and-mask section (length 0)
};

// The header, colour-mode data, image resources and layer-and-mask section of
// the document, with every length worked out, then a small merged image.
Bytes BuildPsd(const TestDocument& document);

// The 26-byte header alone.
Bytes BuildHeader(const TestDocument& document);

// PackBits run-length data for a plane: the row lengths, then each row packed
// as literal packets of up to 128 bytes.
Bytes RunLengthPlane(const std::vector<Bytes>& rows);

// A layer with raw channels -1, 0, 1, 2 whose colour channels are filled with
// one value each.
TestLayer SolidLayer(std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right,
                     std::uint8_t red, std::uint8_t green, std::uint8_t blue);

}  // namespace plymark::test
