#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace plymark {

// Text stored one character per byte, as the Windows single-byte code page
// (Windows-1252) reads it, turned into UTF-8. Every byte gives one character,
// a 0 byte included.
std::string Windows1252ToUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// UTF-16 units, two bytes each, as UTF-8: surrogate pairs join to one code
// point; a lone surrogate becomes U+FFFD. Trailing zero units, which some
// writers count, are dropped; an odd last byte is ignored.
std::string Utf16BigEndianToUtf8(std::span<const std::uint8_t> units);
std::string Utf16LittleEndianToUtf8(std::span<const std::uint8_t> units);

// Appends the UTF-8 bytes of one Unicode code point (up to U+10FFFF).
void AppendUtf8(std::string& out, char32_t code);

}  // namespace plymark
