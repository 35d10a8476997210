#include "psd/Descriptor.h"

#include <algorithm>

#include "psd/BlockCursor.h"
#include "psd/CodePage.h"
#include "psd/PsdError.h"

namespace plymark {
namespace {

constexpr std::uint32_t kDescriptorVersion = 16;
// Real settings nest objects and lists a dozen deep at most.
constexpr int kDeepestNesting = 64;

// A class id or key: a length, then that many characters; length 0 stands
// for four characters.
std::string ReadId(BlockCursor& cursor, std::string_view field) {
  const std::uint32_t length = cursor.UInt32(field);
  const auto bytes = cursor.Bytes(length == 0 ? 4 : length, field);
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

class DescriptorReader {
 public:
  DescriptorReader(BlockCursor& cursor, SettingsBudget& budget)
      : cursor_(cursor), budget_(budget) {}

  Descriptor Object() {
    const Nesting nesting(*this);
    Descriptor object;
    object.ClassName = cursor_.UnicodeString("class name of a descriptor");
    object.ClassId = ReadId(cursor_, "class id of a descriptor");
    object.Items = Items(cursor_.UInt32("item count of a descriptor"));
    return object;
  }

 private:
  // Counts one level of nesting while it lives.
  class Nesting {
   public:
    explicit Nesting(DescriptorReader& reader) : reader_(reader) {
      if (++reader_.depth_ > kDeepestNesting) {
        reader_.cursor_.Fail(
            "descriptor", "nests objects and lists deeper than " + std::to_string(kDeepestNesting));
      }
    }
    ~Nesting() { --reader_.depth_; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

   private:
    DescriptorReader& reader_;
  };

  // Items as an object and an object array store them: key, type, value. A
  // count beyond what the block holds ends at the block's end.
  std::vector<DescriptorItem> Items(std::uint32_t count) {
    std::vector<DescriptorItem> items;
    for (std::uint32_t k = 0; k < count; ++k) {
      DescriptorItem item;
      item.Key = ReadId(cursor_, "key of a descriptor item");
      item.Value = Value(cursor_.FourCharacters("type of item '" + item.Key + "'"), item.Key);
      items.push_back(std::move(item));
    }
    return items;
  }

  DescriptorValue Value(std::string type, const std::string& key) {
    budget_.Take(cursor_, 1);
    DescriptorValue value;
    value.Type = std::move(type);
    const std::string& t = value.Type;
    const std::string field = "'" + t + "' value of item '" + key + "'";
    if (t == "Objc" || t == "GlbO") {
      value.Value = Object();
    } else if (t == "VlLs") {
      value.Value = List(field);
    } else if (t == "doub") {
      value.Value = cursor_.Double(field);
    } else if (t == "UntF") {
      UnitFloat unit;
      unit.Unit = cursor_.FourCharacters(field);
      unit.Value = cursor_.Double(field);
      value.Value = std::move(unit);
    } else if (t == "UnFl") {
      UnitFloats units;
      units.Unit = cursor_.FourCharacters(field);
      const std::uint32_t count = cursor_.UInt32(field);
      const auto bytes = cursor_.Bytes(std::uint64_t{count} * 8, field);
      BlockCursor numbers(bytes, 0, cursor_.Context());
      units.Values.resize(count);
      for (double& number : units.Values) number = numbers.Double(field);
      value.Value = std::move(units);
    } else if (t == "long") {
      value.Value = cursor_.Int32(field);
    } else if (t == "comp") {
      value.Value = static_cast<std::int64_t>(cursor_.UInt64(field));
    } else if (t == "bool") {
      value.Value = cursor_.UInt8(field) != 0;
    } else if (t == "TEXT") {
      value.Value = cursor_.UnicodeString(field);
    } else if (t == "type" || t == "GlbC") {
      ClassReference reference;
      reference.ClassName = cursor_.UnicodeString(field);
      reference.ClassId = ReadId(cursor_, field);
      value.Value = std::move(reference);
    } else if (t == "enum") {
      Enumerated enumerated;
      enumerated.Type = ReadId(cursor_, field);
      enumerated.Value = ReadId(cursor_, field);
      value.Value = std::move(enumerated);
    } else if (t == "obj ") {
      value.Value = ReferenceValue(field);
    } else if (t == "alis") {
      const auto bytes = cursor_.Bytes(cursor_.UInt32(field), field);
      value.Value = Alias{{bytes.begin(), bytes.end()}};
    } else if (t == "tdta") {
      const std::uint32_t length = cursor_.UInt32(field);
      const std::int64_t offset = cursor_.FileOffset();
      const auto bytes = cursor_.Bytes(length, field);
      value.Value = RawData{{bytes.begin(), bytes.end()}, offset};
    } else if (t == "ObAr") {
      value.Value = ObjectArrayValue(field);
    } else if (t == "Pth ") {
      value.Value = PathValue(field);
    } else {
      cursor_.Fail(field, "has a type the format does not list");
    }
    return value;
  }

  std::vector<DescriptorValue> List(const std::string& field) {
    const Nesting nesting(*this);
    const std::uint32_t count = cursor_.UInt32(field);
    std::vector<DescriptorValue> values;
    for (std::uint32_t k = 0; k < count; ++k) {
      values.push_back(Value(cursor_.FourCharacters(field), "list element"));
    }
    return values;
  }

  // Every form names the class it refers to before what it adds.
  Reference ReferenceValue(const std::string& field) {
    Reference reference;
    const std::uint32_t count = cursor_.UInt32(field);
    for (std::uint32_t k = 0; k < count; ++k) {
      ReferenceItem item;
      item.Form = cursor_.FourCharacters(field);
      item.ClassName = cursor_.UnicodeString(field);
      item.ClassId = ReadId(cursor_, field);
      if (item.Form == "prop") {
        item.Key = ReadId(cursor_, field);
      } else if (item.Form == "Enmr") {
        item.Key = ReadId(cursor_, field);
        item.Value = ReadId(cursor_, field);
      } else if (item.Form == "rele" || item.Form == "Idnt" || item.Form == "indx") {
        item.Number = cursor_.Int32(field);
      } else if (item.Form == "name") {
        item.Value = cursor_.UnicodeString(field);
      } else if (item.Form != "Clss") {
        cursor_.Fail(field, "has a reference form the format does not list");
      }
      reference.Items.push_back(std::move(item));
    }
    return reference;
  }

  ObjectArray ObjectArrayValue(const std::string& field) {
    const Nesting nesting(*this);
    ObjectArray array;
    array.Count = cursor_.UInt32(field);
    array.ClassName = cursor_.UnicodeString(field);
    array.ClassId = ReadId(cursor_, field);
    array.Items = Items(cursor_.UInt32(field));
    return array;
  }

  // A length, then 'utxt' and two lengths in little-endian order, then the
  // path as UTF-16 little-endian units.
  FilePath PathValue(const std::string& field) {
    BlockCursor path = cursor_.Sub(cursor_.UInt32(field), field);
    if (path.Left() < 12 || path.FourCharacters(field) != "txtu") return {};
    path.Skip(4, field);
    const auto units = path.Bytes(4, field);
    const std::uint32_t count = units[0] | (units[1] << 8) | (units[2] << 16) |
                                (static_cast<std::uint32_t>(units[3]) << 24);
    const std::uint64_t size = std::min<std::uint64_t>(std::uint64_t{count} * 2, path.Left());
    return {Utf16LittleEndianToUtf8(path.Bytes(size, field))};
  }

  BlockCursor& cursor_;
  SettingsBudget& budget_;
  int depth_ = 0;
};

}  // namespace

const DescriptorValue* Descriptor::Find(std::string_view key) const {
  const auto found = std::find_if(Items.begin(), Items.end(),
                                  [key](const DescriptorItem& item) { return item.Key == key; });
  return found != Items.end() ? &found->Value : nullptr;
}

std::optional<double> Descriptor::Number(std::string_view key) const {
  const DescriptorValue* value = Find(key);
  if (value == nullptr) return std::nullopt;
  if (const auto* number = value->As<double>()) return *number;
  if (const auto* number = value->As<std::int32_t>()) return *number;
  if (const auto* number = value->As<std::int64_t>()) return static_cast<double>(*number);
  if (const auto* unit = value->As<UnitFloat>()) return unit->Value;
  return std::nullopt;
}

std::optional<bool> Descriptor::Boolean(std::string_view key) const {
  const bool* value = Get<bool>(key);
  return value != nullptr ? std::optional<bool>(*value) : std::nullopt;
}

const std::string* Descriptor::String(std::string_view key) const {
  return Get<std::string>(key);
}

const Descriptor* Descriptor::Object(std::string_view key) const {
  return Get<Descriptor>(key);
}

void SettingsBudget::Take(const BlockCursor& cursor, std::size_t count) {
  if (count > values_) {
    cursor.Fail("settings", "hold more than the " + std::to_string(kValues) +
                                " values a document's settings may");
  }
  values_ -= count;
}

void SettingsBudget::TakeBytes(std::int64_t offset, const std::string& field, std::uint64_t count) {
  if (count > bytes_) {
    throw PsdError::Damaged(offset, field,
                            "takes the document's settings past the " +
                                std::to_string(kBytes >> 20) + " MiB they may have");
  }
  bytes_ -= count;
}

Descriptor ReadDescriptor(BlockCursor& cursor, SettingsBudget& budget) {
  return DescriptorReader(cursor, budget).Object();
}

Descriptor ReadDescriptor(BlockCursor& cursor) {
  SettingsBudget budget;
  return ReadDescriptor(cursor, budget);
}

Descriptor ReadVersionedDescriptor(BlockCursor& cursor) {
  SettingsBudget budget;
  return ReadVersionedDescriptor(cursor, budget);
}

Descriptor ReadVersionedDescriptor(BlockCursor& cursor, SettingsBudget& budget) {
  const BlockCursor at = cursor;
  const std::uint32_t version = cursor.UInt32("descriptor version");
  if (version != kDescriptorVersion) {
    at.Fail("descriptor version", "is " + std::to_string(version) + ", not 16");
  }
  return ReadDescriptor(cursor, budget);
}

}  // namespace plymark
