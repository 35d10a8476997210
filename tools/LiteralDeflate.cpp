#include "tools/LiteralDeflate.h"

#include <algorithm>
#include <cstring>
#include <queue>

namespace plymark {
namespace {

constexpr int kEndOfBlock = 256;
// The order in which a dynamic block sends the code lengths of the code-length alphabet.
constexpr std::array<int, 19> kLengthCodeOrder{16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

// Huffman code lengths of at most `limit` bits for the symbols with a count;
// where the tree grows deeper, the counts are halved (a count stays at least
// one) and the code made again.
template <std::size_t N>
void MakeLengths(std::array<std::uint64_t, N> counts, int limit,
                 std::array<std::uint8_t, N>& lengths) {
  for (;;) {
    lengths.fill(0);
    // Nodes 0..N-1 are the symbols, the rest the inner nodes made below.
    std::vector<int> parent(2 * N, -1);
    using Node = std::pair<std::uint64_t, int>;
    std::priority_queue<Node, std::vector<Node>, std::greater<>> queue;
    for (std::size_t s = 0; s < N; ++s) {
      if (counts[s] > 0) queue.emplace(counts[s], static_cast<int>(s));
    }
    if (queue.size() == 1) {  // one symbol still needs a one-bit code
      lengths[static_cast<std::size_t>(queue.top().second)] = 1;
      return;
    }
    int next = static_cast<int>(N);
    while (queue.size() > 1) {
      const Node a = queue.top();
      queue.pop();
      const Node b = queue.top();
      queue.pop();
      parent[static_cast<std::size_t>(a.second)] = next;
      parent[static_cast<std::size_t>(b.second)] = next;
      queue.emplace(a.first + b.first, next++);
    }
    int deepest = 0;
    for (std::size_t s = 0; s < N; ++s) {
      if (counts[s] == 0) continue;
      int depth = 0;
      for (int node = static_cast<int>(s); parent[static_cast<std::size_t>(node)] >= 0;
           node = parent[static_cast<std::size_t>(node)]) {
        ++depth;
      }
      lengths[s] = static_cast<std::uint8_t>(depth);
      deepest = std::max(deepest, depth);
    }
    if (deepest <= limit) return;
    for (std::uint64_t& count : counts) {
      if (count > 0) count = std::max<std::uint64_t>(1, count / 2);
    }
  }
}

// The canonical codes of `lengths`, bit-reversed for sending.
template <std::size_t N>
void MakeCodes(const std::array<std::uint8_t, N>& lengths, std::array<std::uint16_t, N>& codes) {
  std::array<int, 16> perLength{};
  for (const std::uint8_t length : lengths) ++perLength[length];
  perLength[0] = 0;
  std::array<int, 16> next{};
  for (int bits = 1, code = 0; bits < 16; ++bits) {
    code = (code + perLength[static_cast<std::size_t>(bits - 1)]) << 1;
    next[static_cast<std::size_t>(bits)] = code;
  }
  for (std::size_t s = 0; s < N; ++s) {
    const int length = lengths[s];
    if (length == 0) continue;
    const int code = next[static_cast<std::size_t>(length)]++;
    int reversed = 0;
    for (int bit = 0; bit < length; ++bit) reversed |= ((code >> bit) & 1) << (length - 1 - bit);
    codes[s] = static_cast<std::uint16_t>(reversed);
  }
}

// Bits sent from the least significant end, as deflate packs them.
class BitSink {
 public:
  explicit BitSink(std::vector<std::uint8_t>& out) : out_(out) {}
  // At most 57 bits may be waiting: callers put at most three codes between flushes.
  void Put(std::uint64_t bits, int count) {
    buffer_ |= bits << filled_;
    filled_ += count;
  }
  void Flush() {
    while (filled_ >= 8) {
      out_.push_back(static_cast<std::uint8_t>(buffer_));
      buffer_ >>= 8;
      filled_ -= 8;
    }
  }
  // Flushes whole bytes fast into room the caller made beforehand.
  void FlushInto(std::uint8_t*& at) {
    std::memcpy(at, &buffer_, sizeof buffer_);
    at += filled_ >> 3;
    buffer_ >>= filled_ & ~7;
    filled_ &= 7;
  }
  void AlignToByte() {
    if (filled_ % 8 != 0) filled_ += 8 - filled_ % 8;
    Flush();
  }
  int Filled() const { return filled_; }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint64_t buffer_ = 0;
  int filled_ = 0;
};

}  // namespace

std::uint64_t LiteralDeflate::MakeCode(const std::uint8_t* data, std::size_t size, Code& code) {
  // Four tables, so that runs of one value do not wait on their own counts.
  std::array<std::array<std::uint32_t, 256>, 4> partial{};
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    ++partial[0][data[i]];
    ++partial[1][data[i + 1]];
    ++partial[2][data[i + 2]];
    ++partial[3][data[i + 3]];
  }
  for (; i < size; ++i) ++partial[0][data[i]];
  std::array<std::uint64_t, kSymbols> counts{};
  for (std::size_t v = 0; v < 256; ++v) {
    counts[v] = std::uint64_t{partial[0][v]} + partial[1][v] + partial[2][v] + partial[3][v];
  }
  counts[kEndOfBlock] = 1;
  MakeLengths(counts, 15, code.Lengths);
  MakeCodes(code.Lengths, code.Codes);

  // The 257 literal lengths and the one distance length (0: no distances)
  // are sent with a code of their own, made the same way.
  std::array<std::uint64_t, 19> lengthCounts{};
  for (const std::uint8_t length : code.Lengths) ++lengthCounts[length];
  ++lengthCounts[0];
  MakeLengths(lengthCounts, 7, code.LengthCodeLengths);
  MakeCodes(code.LengthCodeLengths, code.LengthCodes);

  std::uint64_t bits = 3 + 5 + 5 + 4 + 19 * 3;
  for (std::size_t s = 0; s < 19; ++s) bits += lengthCounts[s] * code.LengthCodeLengths[s];
  for (std::size_t s = 0; s < kSymbols; ++s) bits += counts[s] * code.Lengths[s];
  return bits;
}

std::size_t LiteralDeflate::Plan(const std::uint8_t* data, std::size_t size) {
  blocks_.resize(std::max<std::size_t>(1, (size + kBlockBytes - 1) / kBlockBytes));
  std::uint64_t bits = 0;
  for (std::size_t block = 0; block < blocks_.size(); ++block) {
    const std::uint8_t* from = data + block * kBlockBytes;
    const std::size_t length = std::min(kBlockBytes, size - block * kBlockBytes);
    bits += MakeCode(from, length, blocks_[block]);
  }
  return static_cast<std::size_t>(bits / 8 + 1 + 5);
}

void LiteralDeflate::Append(const std::uint8_t* data, std::size_t size, bool last,
                            std::vector<std::uint8_t>& out) const {
  BitSink bits(out);
  for (std::size_t block = 0; block < blocks_.size(); ++block) {
    const Code& code = blocks_[block];
    bits.Flush();
    bits.Put(last && block + 1 == blocks_.size() ? 1 : 0, 1);
    bits.Put(2, 2);  // a block with codes of its own
    bits.Put(kSymbols - 257, 5);
    bits.Put(1 - 1, 5);  // one distance code, of length 0
    int lengthCodesSent = 19;
    while (
        lengthCodesSent > 4 &&
        code.LengthCodeLengths[static_cast<std::size_t>(kLengthCodeOrder[lengthCodesSent - 1])] ==
            0) {
      --lengthCodesSent;
    }
    bits.Put(static_cast<std::uint64_t>(lengthCodesSent - 4), 4);
    for (int i = 0; i < lengthCodesSent; ++i) {
      bits.Put(code.LengthCodeLengths[static_cast<std::size_t>(kLengthCodeOrder[i])], 3);
      bits.Flush();
    }
    const auto sendLength = [&](std::uint8_t length) {
      bits.Put(code.LengthCodes[length], code.LengthCodeLengths[length]);
      bits.Flush();
    };
    for (const std::uint8_t length : code.Lengths) sendLength(length);
    sendLength(0);

    // Room for the longest codes, then three codes between fast flushes.
    const std::uint8_t* from = data + block * kBlockBytes;
    const std::size_t length = std::min(kBlockBytes, size - block * kBlockBytes);
    const std::size_t start = out.size();
    out.resize(start + length * 15 / 8 + 16);
    std::uint8_t* at = out.data() + start;
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
      bits.Put(code.Codes[from[i]], code.Lengths[from[i]]);
      bits.Put(code.Codes[from[i + 1]], code.Lengths[from[i + 1]]);
      bits.Put(code.Codes[from[i + 2]], code.Lengths[from[i + 2]]);
      bits.FlushInto(at);
    }
    for (; i < length; ++i) {
      bits.Put(code.Codes[from[i]], code.Lengths[from[i]]);
      bits.FlushInto(at);
    }
    bits.Put(code.Codes[kEndOfBlock], code.Lengths[kEndOfBlock]);
    bits.FlushInto(at);
    out.resize(static_cast<std::size_t>(at - out.data()));
  }
  if (!last) bits.Put(0, 3);  // an empty stored block: not final, type 0
  bits.AlignToByte();
  if (!last) out.insert(out.end(), {0x00, 0x00, 0xFF, 0xFF});
}

}  // namespace plymark
