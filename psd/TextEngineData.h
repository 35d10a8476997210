#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace plymark {

struct EngineValue;
struct EngineEntry;

// The text engine data of a text layer (the 'EngineData' item of its text
// descriptor) is a small text format of its own, in the manner of
// PostScript: dictionaries "<< /Key value ... >>", arrays "[ ... ]", numbers,
// true and false, names "/Name" and strings "( ... )" whose bytes are UTF-16
// big-endian behind a byte-order mark, with "\" escaping the next byte.

struct EngineName {
  std::string Text;  ///< without the slash
};

struct EngineValue {
  /// Strings as UTF-8; every number as a double.
  std::variant<std::monostate, bool, double, std::string, EngineName, std::vector<EngineValue>,
               std::vector<EngineEntry>>
      Value;

  template <typename T>
  const T* As() const {
    return std::get_if<T>(&Value);
  }
  // The entry of `key` in a dictionary, or null (also when this is none).
  const EngineValue* Find(std::string_view key) const;
  // The element at `index` of an array, or null.
  const EngineValue* At(std::size_t index) const;
};

struct EngineEntry {
  std::string Key;
  EngineValue Value;
};

// Reads engine data whose first byte lies at `fileOffset` in the file: the
// top-level dictionary, after any leading white space. Throws PsdError at a
// token the format does not have, an unclosed string, array or dictionary,
// nesting deeper than 64, or more than a million values.
EngineValue ReadTextEngineData(std::span<const std::uint8_t> bytes, std::int64_t fileOffset,
                               const std::string& context);

}  // namespace plymark
