#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace plymark {

// A deflate block of literals only, with a Huffman code made for the bytes it
// holds: for noisy and photographic rows, where matches hardly shorten the
// data, it is within a few percent of zlib's smallest output at several times
// its speed.
class LiteralDeflate {
 public:
  // Counts the bytes of `data` block by block, makes each block's code and
  // returns the size in bytes the blocks will take.
  std::size_t Plan(const std::uint8_t* data, std::size_t size);
  // Appends the planned blocks holding `data` to `out`: the last of them the
  // stream's final block when `last`, else followed by an empty stored block,
  // so that the stream stays open and ends at a byte boundary.
  void Append(const std::uint8_t* data, std::size_t size, bool last,
              std::vector<std::uint8_t>& out) const;

 private:
  static constexpr int kSymbols = 257;  ///< the 256 byte values and the end of the block
  // Each block's code: a fresh one every few rows follows the rows' changes.
  struct Code {
    std::array<std::uint8_t, kSymbols> Lengths{};
    std::array<std::uint16_t, kSymbols> Codes{};  ///< bit-reversed, as deflate sends them
    std::array<std::uint8_t, 19> LengthCodeLengths{};
    std::array<std::uint16_t, 19> LengthCodes{};
  };
  // Bytes per block: small enough to follow the rows, large enough that a
  // block's code (about 150 bytes) costs under one percent.
  static constexpr std::size_t kBlockBytes = 16 << 10;
  static std::uint64_t MakeCode(const std::uint8_t* data, std::size_t size, Code& code);
  std::vector<Code> blocks_;
};

}  // namespace plymark
