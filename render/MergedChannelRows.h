#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace plymark {

// The stored rows of the merged image's channels: the image data section
// from its 2-byte compression code on, as far as the file holds it (its last
// byte is the file's last). Raw rows are read in place, run-length rows are
// unpacked on request, ZIP data is inflated once for all channels. After
// construction any row of the first `usedChannels` channels may be asked for,
// in any order and from any thread.
class MergedChannelRows {
 public:
  struct Shape {
    std::int16_t Version = 1;   ///< 1 PSD (2-byte row lengths), 2 PSB (4-byte row lengths)
    std::int16_t Channels = 0;  ///< channels stored, from the header
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int16_t Depth = 8;  ///< 1, 8, 16 or 32
  };

  // Checks the compression code, the row lengths and that the stored bytes
  // can fill the channels before anything is allocated. Throws PsdError.
  // Width and Height must lie in 0..300000; `usedChannels` is clamped to
  // 0..Channels.
  MergedChannelRows(std::span<const std::uint8_t> section, std::int64_t sectionOffset,
                    const Shape& shape, int usedChannels);

  // Bytes of one row of one channel: (Width + 7) / 8 at depth 1, else Width
  // samples of Depth / 8 bytes, big-endian.
  std::size_t RowBytes() const { return rowBytes_; }
  // What a row buffer must hold: run-length packets are copied in blocks
  // that may write past the row's end.
  std::size_t BufferBytes() const { return rowBytes_ + kBlockCopy; }

  // Row y of `channel`: in place, or unpacked into `buffer` (BufferBytes()).
  // Damaged run-length data throws PsdError.
  const std::uint8_t* Row(int channel, std::int32_t y, std::uint8_t* buffer) const;

  // Unpacks every used row in file order, channel after channel: throws the
  // PsdError of the first damaged row, when there is one.
  void CheckInFileOrder() const;

 private:
  static constexpr std::size_t kBlockCopy = 32;

  const std::uint8_t* RunLengthRow(int channel, std::int32_t y, std::uint8_t* buffer) const;
  void ReadRowLengths(std::size_t firstPacket);
  void Inflate(bool predicted);

  std::span<const std::uint8_t> section_;
  std::int64_t sectionOffset_ = 0;
  Shape shape_;
  int usedChannels_ = 0;
  std::int16_t compression_ = 0;
  std::size_t rowBytes_ = 0;
  // Run-length: where row y of channel c starts in the section (entry
  // c * Height + y), and where the last used row ends (the entry behind).
  std::vector<std::uint64_t> rowStarts_;
  // ZIP: every channel's plane, one after the other.
  std::vector<std::uint8_t> inflated_;
};

}  // namespace plymark
