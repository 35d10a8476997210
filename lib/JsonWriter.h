#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plymark {
inline namespace v0 {

// Writes compact JSON text value by value; commas are placed by the writer.
// Texts are made valid UTF-8 (ValidUtf8) and escaped.
class JsonWriter {
 public:
  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The next member's key, inside an object.
  JsonWriter& Key(std::string_view key);
  JsonWriter& Null();
  JsonWriter& Boolean(bool value);
  JsonWriter& Integer(std::int64_t value);
  // Shortest text that reads back as the same double, with a point or an
  // exponent; null for infinities and NaN.
  JsonWriter& Number(double value);
  JsonWriter& Text(std::string_view text);

  std::string Take() { return std::move(out_); }

 private:
  void Separate();

  std::string out_;
  std::vector<bool> started_;  ///< per open object or array: a member has been written
  bool afterKey_ = false;
};

}  // namespace v0
}  // namespace plymark
