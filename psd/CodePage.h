#pragma once

#include <string>
#include <string_view>

namespace plymark {

// Text stored one character per byte, as the Windows single-byte code page
// (Windows-1252) reads it, turned into UTF-8. Every byte gives one character,
// a 0 byte included.
std::string Windows1252ToUtf8(std::string_view bytes);

}  // namespace plymark
