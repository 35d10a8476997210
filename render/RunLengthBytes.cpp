#include "render/RunLengthBytes.h"

#include <algorithm>
#include <string>

#include "render/PlaneError.h"

namespace plymark {

void UnpackRunLengthBytes(const ChannelBlock& block, std::size_t rows,
                          std::span<std::uint8_t> plane, PlaneName name) {
  const std::uint8_t* data = block.Data.data();
  const std::size_t size = block.Data.size();
  const auto countBytes = static_cast<std::size_t>(block.RowLengthBytes);
  if (size / countBytes < rows) {
    throw PlaneError(block, 0, name, "row lengths",
                     "need " + std::to_string(rows * countBytes) +
                         " bytes, but the channel holds " + std::to_string(size));
  }
  std::uint8_t* out = plane.data();
  const std::size_t capacity = plane.size();
  std::size_t p = rows * countBytes;  // read index: the first packet follows the row lengths
  std::size_t k = 0;                  // write cursor: runs on across rows
  for (std::size_t r = 0; r < rows; ++r) {
    const std::size_t rowLength = StoredRowLength(data, r, block.RowLengthBytes);
    const std::size_t rowEnd = p + rowLength;
    while (p < rowEnd) {
      if (p >= size) {
        throw PlaneError(block, p, name, "run-length data", "ends inside row " + std::to_string(r));
      }
      const std::size_t header = data[p++];
      if (header == 128) continue;  // no operation
      const std::size_t count = header < 128 ? header + 1 : 257 - header;
      const std::size_t stored = header < 128 ? count : 1;
      if (size - p < stored) {
        throw PlaneError(block, p - 1, name, "run-length data", "ends inside a packet");
      }
      if (capacity - k < count) {
        throw PlaneError(block, p - 1, name, "run-length data",
                         "decodes to more bytes than the layer's samples take");
      }
      if (header < 128) {
        std::copy_n(data + p, count, out + k);
      } else {
        std::fill_n(out + k, count, data[p]);
      }
      p += stored;
      k += count;
    }
  }
}

}  // namespace plymark
