#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "psd/DocumentState.h"
#include "psd/FieldReader.h"

namespace plymark {

// A stretch of one channel's stored bytes read from the file, kept by the
// thread that decodes: the decoders of many layers take turns with it, so
// that an open layer holds no read buffer of its own between bands.
struct ReadWindow {
  std::vector<std::uint8_t> Bytes;
  std::uint64_t Owner = 0;  ///< the ChannelBytes whose bytes these are; 0 for none
  std::int64_t Start = 0;   ///< index in the channel's data of Bytes[0]
  std::size_t Filled = 0;
};

// The stored bytes of one channel (behind its compression code), read from
// the file as a decoder asks for them; a file held in memory is viewed in
// place.
class ChannelBytes {
 public:
  ChannelBytes(const FileView& file, const ChannelBlock& block);

  std::int64_t Size() const { return size_; }
  std::int64_t FileOffset() const { return offset_; }

  // `count` bytes at `index` of the data (index + count <= Size()), valid
  // until `window` is next used. Reads ahead in large chunks. Throws
  // PsdError when the file has been cut short since it was opened.
  const std::uint8_t* At(std::int64_t index, std::size_t count, ReadWindow& window) const;

  // Copies into.size() bytes at `index` of the data into `into`, past any window.
  void CopyTo(std::int64_t index, std::span<std::uint8_t> into) const;

 private:
  FileView file_;
  std::int64_t offset_ = 0;
  std::int64_t size_ = 0;
  std::span<const std::uint8_t> memory_;
  std::uint64_t id_ = 0;
};

}  // namespace plymark
