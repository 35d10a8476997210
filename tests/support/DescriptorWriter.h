#pragma once

// Writes the maker's descriptors for tests and fuzz seeds: an object is a
// class and a list of items, each item a key and a typed value.

#include <string>
#include <utility>
#include <vector>

#include "tests/support/PsdWriter.h"

namespace plymark::test {

// A typed value: its four-character type, then its bytes.
using Value = Bytes;
using Items = std::vector<std::pair<std::string, Value>>;

// A class id or key: length 0 and four characters, else the length and the name.
Bytes Id(const std::string& id);
// A Unicode string: the count of UTF-16 units with the trailing NUL, the units, the NUL.
Bytes UnicodeString(const std::u16string& text);
// An object (class name, class id, item count, items), as behind 'Objc'.
Bytes Object(const std::string& classId, const Items& items);
// The descriptor version 16, then the object.
Bytes Versioned(const std::string& classId, const Items& items);

Value ObjectValue(const std::string& classId, const Items& items);
Value ListValue(const std::vector<Value>& values);
Value DoubleValue(double value);
Value UnitValue(const std::string& unit, double value);
Value LongValue(std::int32_t value);
Value BoolValue(bool value);
Value TextValue(const std::u16string& text);
Value EnumValue(const std::string& type, const std::string& value);
Value RawValue(const Bytes& bytes);

}  // namespace plymark::test
