#include "psd/TextEngineData.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "psd/CodePage.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

constexpr int kDeepestNesting = 64;
// Long paragraphs of real documents hold a few tens of thousands.
constexpr std::size_t kMostValues = 1000000;

bool IsWhiteSpace(std::uint8_t byte) {
  return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == '\f' || byte == 0;
}

bool IsDelimiter(std::uint8_t byte) {
  return IsWhiteSpace(byte) || byte == '/' || byte == '[' || byte == ']' || byte == '<' ||
         byte == '>' || byte == '(' || byte == ')';
}

class EngineReader {
 public:
  EngineReader(std::span<const std::uint8_t> bytes, std::int64_t fileOffset,
               const std::string& context)
      : bytes_(bytes), fileOffset_(fileOffset), context_(context) {}

  EngineValue Document() {
    SkipWhiteSpace();
    if (!StartsWith("<<")) Fail("does not start with a dictionary");
    return Value(0);
  }

 private:
  [[noreturn]] void Fail(const std::string& problem) const {
    throw PsdError::Damaged(fileOffset_ + static_cast<std::int64_t>(at_),
                            "text engine data in " + context_, problem);
  }

  bool StartsWith(std::string_view token) const {
    return bytes_.size() - at_ >= token.size() &&
           std::equal(token.begin(), token.end(),
                      bytes_.begin() + static_cast<std::ptrdiff_t>(at_));
  }

  void SkipWhiteSpace() {
    while (at_ < bytes_.size() && IsWhiteSpace(bytes_[at_])) ++at_;
  }

  // The run of bytes up to the next delimiter.
  std::string_view Word() {
    const std::size_t start = at_;
    while (at_ < bytes_.size() && !IsDelimiter(bytes_[at_])) ++at_;
    return {reinterpret_cast<const char*>(bytes_.data()) + start, at_ - start};
  }

  EngineValue Value(int depth) {
    if (++values_ > kMostValues) Fail("holds more than a million values");
    if (depth > kDeepestNesting) Fail("nests deeper than " + std::to_string(kDeepestNesting));
    SkipWhiteSpace();
    if (at_ >= bytes_.size()) Fail("ends where a value should follow");
    EngineValue value;
    const std::uint8_t first = bytes_[at_];
    if (StartsWith("<<")) {
      at_ += 2;
      value.Value = Dictionary(depth);
    } else if (first == '[') {
      ++at_;
      value.Value = Array(depth);
    } else if (first == '(') {
      ++at_;
      value.Value = String();
    } else if (first == '/') {
      ++at_;
      value.Value = EngineName{std::string(Word())};
    } else {
      const std::string_view word = Word();
      if (word == "true" || word == "false") {
        value.Value = word == "true";
      } else if (word == "null") {
        value.Value = std::monostate{};
      } else {
        value.Value = Number(word);
      }
    }
    return value;
  }

  std::vector<EngineEntry> Dictionary(int depth) {
    std::vector<EngineEntry> entries;
    for (;;) {
      SkipWhiteSpace();
      if (StartsWith(">>")) {
        at_ += 2;
        return entries;
      }
      if (at_ >= bytes_.size()) Fail("ends inside a dictionary");
      if (bytes_[at_] != '/') Fail("holds a dictionary key that is not a name");
      ++at_;
      EngineEntry entry;
      entry.Key = std::string(Word());
      entry.Value = Value(depth + 1);
      entries.push_back(std::move(entry));
    }
  }

  std::vector<EngineValue> Array(int depth) {
    std::vector<EngineValue> values;
    for (;;) {
      SkipWhiteSpace();
      if (at_ < bytes_.size() && bytes_[at_] == ']') {
        ++at_;
        return values;
      }
      values.push_back(Value(depth + 1));
    }
  }

  // The bytes up to the closing parenthesis, "\" taking the next byte as it
  // is; UTF-16 behind a byte-order mark, else one byte per character.
  std::string String() {
    std::string raw;
    for (;;) {
      if (at_ >= bytes_.size()) Fail("ends inside a string");
      std::uint8_t byte = bytes_[at_++];
      if (byte == ')') break;
      if (byte == '\\') {
        if (at_ >= bytes_.size()) Fail("ends inside a string");
        byte = bytes_[at_++];
      }
      raw.push_back(static_cast<char>(byte));
    }
    if (raw.size() >= 2 && static_cast<std::uint8_t>(raw[0]) == 0xFE &&
        static_cast<std::uint8_t>(raw[1]) == 0xFF) {
      const auto units = std::span(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size());
      return Utf16BigEndianToUtf8(units.subspan(2));
    }
    return Windows1252ToUtf8(raw);
  }

  double Number(std::string_view word) {
    // from_chars takes neither a leading '+' nor a '.' without a digit before it.
    std::string text(word.substr(!word.empty() && word[0] == '+' ? 1 : 0));
    const bool negative = !text.empty() && text[0] == '-';
    if (text.size() > (negative ? 1u : 0u) && text[negative ? 1 : 0] == '.') {
      text.insert(negative ? 1 : 0, "0");
    }
    double number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    // from_chars also reads "inf" and "nan", which no engine data holds.
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(number)) {
      Fail("holds a token that is no value");
    }
    return number;
  }

  std::span<const std::uint8_t> bytes_;
  std::int64_t fileOffset_ = 0;
  const std::string& context_;
  std::size_t at_ = 0;
  std::size_t values_ = 0;
};

}  // namespace

const EngineValue* EngineValue::Find(std::string_view key) const {
  const auto* entries = As<std::vector<EngineEntry>>();
  if (entries == nullptr) return nullptr;
  const auto found = std::find_if(entries->begin(), entries->end(),
                                  [key](const EngineEntry& entry) { return entry.Key == key; });
  return found != entries->end() ? &found->Value : nullptr;
}

const EngineValue* EngineValue::At(std::size_t index) const {
  const auto* values = As<std::vector<EngineValue>>();
  return values != nullptr && index < values->size() ? &(*values)[index] : nullptr;
}

EngineValue ReadTextEngineData(std::span<const std::uint8_t> bytes, std::int64_t fileOffset,
                               const std::string& context) {
  return EngineReader(bytes, fileOffset, context).Document();
}

}  // namespace plymark
