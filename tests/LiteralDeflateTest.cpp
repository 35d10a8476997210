#include "tools/LiteralDeflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

namespace plymark {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Inflates a raw deflate stream; with `last` it must end in a final block,
// otherwise it must stop at a byte boundary with every byte read.
Bytes Inflate(const Bytes& stream, std::size_t size, bool last) {
  z_stream inflater{};
  EXPECT_EQ(inflateInit2(&inflater, -15), Z_OK);
  Bytes out(size + 1);
  inflater.next_in = const_cast<Bytef*>(stream.data());
  inflater.avail_in = static_cast<uInt>(stream.size());
  inflater.next_out = out.data();
  inflater.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&inflater, Z_SYNC_FLUSH);
  EXPECT_EQ(result, last ? Z_STREAM_END : Z_OK);
  EXPECT_EQ(inflater.avail_in, 0u);
  out.resize(inflater.total_out);
  inflateEnd(&inflater);
  return out;
}

// One block's bytes whose counts follow the Fibonacci numbers 1, 2, 3, 5,
// ..., which with the end-of-block code's count of 1 make the Huffman tree a
// chain 18 deep, deeper than the 15 bits deflate allows.
Bytes Skewed() {
  Bytes bytes;
  std::size_t count = 1;
  std::size_t next = 2;
  for (std::uint8_t value = 0; value < 18; ++value) {
    bytes.insert(bytes.end(), count, value);
    next += count;
    count = next - count;
  }
  return bytes;
}

Bytes Noise(std::size_t size) {
  Bytes bytes(size);
  std::uint32_t state = 99;
  for (std::uint8_t& byte : bytes)
    byte = static_cast<std::uint8_t>((state = state * 69069u + 1) >> 24);
  return bytes;
}

TEST(LiteralDeflateTest, InflatesToTheSameBytesWhateverTheirCounts) {
  for (const Bytes& data :
       {Bytes{}, Bytes(1, 7), Bytes(70000, 0), Noise(3), Noise(16384), Noise(100001), Skewed()}) {
    for (const bool last : {true, false}) {
      LiteralDeflate literals;
      const std::size_t planned = literals.Plan(data.data(), data.size());
      Bytes stream{0xAB};  // what came before stays
      literals.Append(data.data(), data.size(), last, stream);
      EXPECT_EQ(stream[0], 0xAB);
      stream.erase(stream.begin());
      EXPECT_LE(stream.size(), planned + 4) << data.size();
      EXPECT_EQ(Inflate(stream, data.size(), last), data) << data.size() << " " << last;
    }
  }
}

}  // namespace
}  // namespace plymark
