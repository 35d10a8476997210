#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace plymark {

// How unpacking one run-length row ended.
enum class PackBitsEnd {
  kComplete,       ///< every packet fitted the row's stored bytes and its output
  kPastStoredRow,  ///< a packet runs past the row's stored length
  kPastOutput,     ///< a packet unpacks past the row's end
};

struct PackBitsRowResult {
  PackBitsEnd End = PackBitsEnd::kComplete;
  const std::uint8_t* Packet = nullptr;  ///< the packet that did not fit
  std::uint8_t* Out = nullptr;           ///< behind the last byte written
};

// Unpacks the PackBits packets from `p` to `rowEnd` into `out` .. `outEnd`,
// with one check per packet and then a block copy or fill. Short packets copy
// or fill a fixed `BlockCopy` bytes, so `out` must have that much slack
// behind `outEnd`; a copy never reads past `dataEnd`. The fixed size lets the
// compiler turn those copies into a few vector moves.
template <std::size_t BlockCopy>
inline PackBitsRowResult UnpackPackBitsRow(const std::uint8_t* p, const std::uint8_t* rowEnd,
                                           const std::uint8_t* dataEnd, std::uint8_t* out,
                                           std::uint8_t* outEnd) {
  while (p < rowEnd) {
    const std::uint8_t* const packet = p;
    const std::size_t header = *p++;
    if (header < 128) {
      const std::size_t count = header + 1;
      if (static_cast<std::size_t>(rowEnd - p) < count) {
        return {PackBitsEnd::kPastStoredRow, packet, out};
      }
      if (static_cast<std::size_t>(outEnd - out) < count) {
        return {PackBitsEnd::kPastOutput, packet, out};
      }
      if (count <= BlockCopy && static_cast<std::size_t>(dataEnd - p) >= BlockCopy) {
        std::memcpy(out, p, BlockCopy);
      } else {
        std::memcpy(out, p, count);
      }
      p += count;
      out += count;
    } else if (header > 128) {
      const std::size_t count = 257 - header;
      if (p >= rowEnd) return {PackBitsEnd::kPastStoredRow, packet, out};
      if (static_cast<std::size_t>(outEnd - out) < count) {
        return {PackBitsEnd::kPastOutput, packet, out};
      }
      if (count <= BlockCopy) {
        std::memset(out, *p, BlockCopy);
      } else {
        std::memset(out, *p, count);
      }
      ++p;
      out += count;
    }  // 128: no operation
  }
  return {PackBitsEnd::kComplete, nullptr, out};
}

}  // namespace plymark
