#pragma once

// A small writer of PSD bytes for tests, so that every test shows what its
// file holds.

#include <cstdint>
#include <optional>
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
  ByteWriter& I64(std::int64_t value);  ///< 64 bits, big-endian
  // A length as a document of `version` stores it: 4 bytes, 8 in a PSB.
  ByteWriter& Length(std::int64_t value, std::int16_t version);
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
  std::uint8_t Opacity = 255;
  std::uint8_t Clipping = 0;
  std::uint8_t Flags = 0;  ///< bit 1: hidden
};

struct TestDocument {
  std::string Signature = "8BPS";
  std::int16_t Version = 1;  ///< 2 writes a PSB: 8-byte section and channel lengths
  std::int16_t Channels = 3;
  std::int32_t Rows = 4;
  std::int32_t Columns = 4;
  std::int16_t Depth = 8;
  std::int16_t ColorMode = 3;
  Bytes ColorModeData;
  Bytes ImageResources;
  std::vector<TestLayer> Layers;
  bool WithLayerSection = true;  ///< false: empty layer-and-mask section (length 0)
  // "Lr16" or "Lr32": the layers go into a tagged block of that key behind an
  // empty layer info (length 0) and the global layer mask info, as 16- and
  // 32-bit documents keep them.
  std::string LayerBlockKey;
  std::string LayerBlockSignature = "8BIM";
  Bytes TaggedBlocksBefore;  ///< tagged blocks written ahead of the layer block
  Bytes GlobalBlocks;        ///< tagged blocks behind the global layer mask info
};

// The header, colour-mode data, image resources and layer-and-mask section of
// the document, with every length worked out, then a small merged image.
Bytes BuildPsd(const TestDocument& document);

// The 26-byte header alone.
Bytes BuildHeader(const TestDocument& document);

// PackBits run-length data for a plane: the row lengths (2 bytes each, 4 in
// a PSB), then each row packed as literal packets of up to 128 bytes.
Bytes RunLengthPlane(const std::vector<Bytes>& rows, int countBytes = 2);

// A tagged block: signature, key, length, then the data padded to an even size.
// Its length takes 8 bytes in a PSB (`version` 2) for the keys that the format
// gives 8-byte lengths there.
Bytes TaggedBlock(const std::string& signature, const std::string& key, const Bytes& data,
                  std::int16_t version = 1);

// Samples as a plane stores them: 16-bit values and 32-bit floats, big-endian.
Bytes Samples16(const std::vector<std::uint16_t>& samples);
Bytes Samples32(const std::vector<float>& samples);

// A plane deflated with zlib's compress(), as compression code 2 stores it.
Bytes ZipPlane(const Bytes& plane);

// A plane of `height` rows of `width` samples of `bytesPerSample` bytes coded
// as compression code 3 stores it: row-wise deltas (bytes at 1, 16-bit samples
// at 2, byte planes then bytes at 4), then deflated.
Bytes PredictedZipPlane(const Bytes& plane, std::size_t width, std::size_t height,
                        int bytesPerSample);

// PackBits run-length data as a writer that looks for runs packs it: the row
// lengths, then each row as repeat packets for runs of three or more equal
// bytes (up to 128 a packet) and literal packets for the rest; every other
// row starts with a no-operation packet (0x80).
Bytes PackBitsPlane(const std::vector<Bytes>& rows, int countBytes = 2);

// A layer record's extra data: empty layer mask data and blending ranges, the
// Pascal name padded to a multiple of 4, then a `luni` block with the UTF-16
// name when one is given.
Bytes NamedExtra(const std::string& pascalName,
                 const std::optional<std::u16string>& unicodeName = std::nullopt);

// A layer record's extra data: layer mask data (`maskData` behind its length),
// empty blending ranges, the Pascal name padded to a multiple of 4, then
// `taggedBlocks`.
Bytes LayerExtra(const std::string& pascalName, const Bytes& maskData = {},
                 const Bytes& taggedBlocks = {});

// The 20 bytes of layer mask data of a user mask: rectangle, default colour,
// flags 0 and two bytes of padding.
Bytes UserMaskData(std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right,
                   std::uint8_t defaultColor);

// An `lsct` block of section divider type `setting` (1 open group, 2 closed,
// 3 bounding divider).
Bytes SectionDivider(std::int32_t setting);

// A layer with raw channels -1, 0, 1, 2 whose colour channels are filled with
// one value each.
TestLayer SolidLayer(std::int32_t top, std::int32_t left, std::int32_t bottom, std::int32_t right,
                     std::uint8_t red, std::uint8_t green, std::uint8_t blue);

}  // namespace plymark::test
