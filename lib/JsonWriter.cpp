#include "lib/JsonWriter.h"

#include <charconv>
#include <cmath>

#include "lib/SettingsJson.h"

namespace plymark {
inline namespace v0 {

void JsonWriter::Separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!started_.empty()) {
    if (started_.back()) out_ += ',';
    started_.back() = true;
  }
}

JsonWriter& JsonWriter::BeginObject() {
  Separate();
  out_ += '{';
  started_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  out_ += '}';
  started_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  Separate();
  out_ += '[';
  started_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  out_ += ']';
  started_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
  Text(key);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::Null() {
  Separate();
  out_ += "null";
  return *this;
}

JsonWriter& JsonWriter::Boolean(bool value) {
  Separate();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::Integer(std::int64_t value) {
  Separate();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  if (!std::isfinite(value)) return Null();
  Separate();
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  const std::string_view shortest(text, static_cast<std::size_t>(written.ptr - text));
  out_ += shortest;
  // "100" would be read back as an integer.
  if (shortest.find_first_of(".e") == std::string_view::npos) out_ += ".0";
  return *this;
}

JsonWriter& JsonWriter::Text(std::string_view text) {
  Separate();
  static constexpr char kHex[] = "0123456789abcdef";
  out_ += '"';
  for (const char c : ValidUtf8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out_ += '\\';
      out_ += c;
    } else if (byte < 0x20) {
      out_ += "\\u00";
      out_ += kHex[byte >> 4];
      out_ += kHex[byte & 0xf];
    } else {
      out_ += c;
    }
  }
  out_ += '"';
  return *this;
}

}  // namespace v0
}  // namespace plymark
