#include "psd/CodePage.h"

#include <array>
#include <cstdint>

namespace plymark {
namespace {

// Bytes 0x80 to 0x9F of Windows-1252; the five it leaves undefined keep their
// own code, as Windows does.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string Utf16ToUtf8(std::span<const std::uint8_t> units, bool bigEndian) {
  std::size_t count = units.size() / 2;
  const int high = bigEndian ? 0 : 1;
  const auto unitAt = [&units, high](std::size_t k) -> char32_t {
    return static_cast<char32_t>((units[2 * k + high] << 8) | units[2 * k + 1 - high]);
  };
  while (count > 0 && unitAt(count - 1) == 0) --count;
  std::string out;
  out.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const char32_t unit = unitAt(k);
    if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < count) {
      const char32_t low = unitAt(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, (unit >= 0xD800 && unit <= 0xDFFF) ? char32_t{0xFFFD} : unit);
  }
  return out;
}

}  // namespace

std::string Utf16BigEndianToUtf8(std::span<const std::uint8_t> units) {
  return Utf16ToUtf8(units, true);
}

std::string Utf16LittleEndianToUtf8(std::span<const std::uint8_t> units) {
  return Utf16ToUtf8(units, false);
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<std::uint8_t>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The lead byte gives the sequence's length and the smallest code point
    // that needs it; anything smaller is an overlong form.
    std::size_t length = 4;
    char32_t code = lead & 0x07u;
    char32_t smallest = 0x10000;
    if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1Fu;
      smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0Fu;
      smallest = 0x800;
    } else if ((lead & 0xF8) != 0xF0) {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    const char32_t code = (byte >= 0x80 && byte <= 0x9F) ? kHighControls[byte - 0x80] : byte;
    AppendUtf8(out, code);
  }
  return out;
}

}  // namespace plymark
