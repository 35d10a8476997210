#pragma once

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

// Appends the UTF-8 bytes of one Unicode code point (up to U+10FFFF).
void AppendUtf8(std::string& out, char32_t code);

}  // namespace plymark
