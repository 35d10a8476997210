#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace plymark {

class BlockCursor;
struct DescriptorItem;
struct DescriptorValue;

// The maker stores settings (layer effects, text, smart objects, fill layers,
// the newer adjustments) as descriptors: typed key-value trees. Keys and ids
// are four characters ("Md  ", "Clr ") or longer names ("masterFXSwitch"),
// kept as stored, trailing spaces included.

// 'Objc' and 'GlbO': an object of a class, its items in stored order.
struct Descriptor {
  std::string ClassName;  ///< the class's display name, often empty
  std::string ClassId;    ///< "null", "DrSh", "TxLr", ...
  std::vector<DescriptorItem> Items;

  // The first item of `key`, or null.
  const DescriptorValue* Find(std::string_view key) const;
  // The item of `key` when it holds a T, else null.
  template <typename T>
  const T* Get(std::string_view key) const;
  // 'doub', 'long', 'comp' or the value of a 'UntF' item, else nothing.
  std::optional<double> Number(std::string_view key) const;
  std::optional<bool> Boolean(std::string_view key) const;
  const std::string* String(std::string_view key) const;
  const Descriptor* Object(std::string_view key) const;
};

// 'UntF': a number with its unit: "#Pxl" pixels, "#Prc" percent, "#Ang"
// degrees, "#Rsl" resolution, "#Rlt" points at 72 dpi, "#Pnt" points, "#Mlm"
// millimetres, "#Nne" no unit.
struct UnitFloat {
  std::string Unit;
  double Value = 0;
};

// 'UnFl': several numbers of one unit.
struct UnitFloats {
  std::string Unit;
  std::vector<double> Values;
};

// 'enum': a value of an enumerated type, as "BlnM" and "Mltp".
struct Enumerated {
  std::string Type;
  std::string Value;
};

// 'type' and 'GlbC': a class.
struct ClassReference {
  std::string ClassName;
  std::string ClassId;
};

// One part of a reference: its form ("prop", "Clss", "Enmr", "rele", "Idnt",
// "indx", "name") with the class it refers to and what the form adds.
struct ReferenceItem {
  std::string Form;
  std::string ClassName;
  std::string ClassId;
  std::string Key;          ///< "prop": the property; "Enmr": the enumerated type
  std::string Value;        ///< "Enmr": the enumerated value; "name": the name
  std::int32_t Number = 0;  ///< "rele": the offset; "Idnt", "indx": the identifier, index
};

// 'obj ': a reference to something in a document.
struct Reference {
  std::vector<ReferenceItem> Items;
};

// 'tdta' raw data and 'alis' alias bytes.
struct RawData {
  std::vector<std::uint8_t> Bytes;
  std::int64_t FileOffset = 0;  ///< of the first byte, for messages about what the bytes hold
};
struct Alias {
  std::vector<std::uint8_t> Bytes;
};

// 'Pth ': a file path.
struct FilePath {
  std::string Path;  ///< UTF-8; empty when the path is not stored as Unicode text
};

// 'ObAr': Count objects of one class, stored item by item: each item holds
// one value per object (most often 'UnFl').
struct ObjectArray {
  std::uint32_t Count = 0;
  std::string ClassName;
  std::string ClassId;
  std::vector<DescriptorItem> Items;
};

struct DescriptorValue {
  /// The stored type: "Objc", "GlbO", "VlLs", "doub", "UntF", "UnFl", "long",
  /// "comp", "bool", "TEXT", "type", "GlbC", "enum", "obj ", "alis", "tdta",
  /// "ObAr" or "Pth ".
  std::string Type;
  std::variant<Descriptor, std::vector<DescriptorValue>, double, UnitFloat, UnitFloats,
               std::int32_t, std::int64_t, bool, std::string, ClassReference, Enumerated, Reference,
               Alias, RawData, ObjectArray, FilePath>
      Value;

  template <typename T>
  const T* As() const {
    return std::get_if<T>(&Value);
  }
};

struct DescriptorItem {
  std::string Key;
  DescriptorValue Value;
};

template <typename T>
const T* Descriptor::Get(std::string_view key) const {
  const DescriptorValue* value = Find(key);
  return value != nullptr ? value->As<T>() : nullptr;
}

// How many more values (items, list elements, effects, style runs) the
// settings read from one document may hold, and how many more bytes of
// settings blocks may be read. One budget serves every read of a document,
// so that a hostile file whose records all point at one large block can
// neither fill the memory nor keep the reader busy for long; real documents
// hold a few thousand values in a few megabytes.
class SettingsBudget {
 public:
  static constexpr std::size_t kValues = 1000000;
  static constexpr std::uint64_t kBytes = std::uint64_t{256} << 20;
  explicit SettingsBudget(std::size_t values = kValues, std::uint64_t bytes = kBytes)
      : values_(values), bytes_(bytes) {}
  // Takes `count` values; throws PsdError at the cursor when too few are left.
  void Take(const BlockCursor& cursor, std::size_t count);
  // Takes the `count` bytes of a block at file offset `offset`, named `field`;
  // throws PsdError when too few are left.
  void TakeBytes(std::int64_t offset, const std::string& field, std::uint64_t count);

 private:
  std::size_t values_;
  std::uint64_t bytes_;
};

// Reads a descriptor at the cursor: the class name, the class id, the item
// count and the items. Throws PsdError at an unknown type, a length that
// leaves the block, objects and lists nested deeper than 64, or more values
// than `budget` has left (without one: a document's whole budget).
Descriptor ReadDescriptor(BlockCursor& cursor, SettingsBudget& budget);
Descriptor ReadDescriptor(BlockCursor& cursor);

// A 4-byte descriptor version, which must be 16, then a descriptor.
Descriptor ReadVersionedDescriptor(BlockCursor& cursor, SettingsBudget& budget);
Descriptor ReadVersionedDescriptor(BlockCursor& cursor);

}  // namespace plymark
