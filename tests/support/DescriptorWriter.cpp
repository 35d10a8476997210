#include "tests/support/DescriptorWriter.h"

#include <cstring>

namespace plymark::test {

Bytes Id(const std::string& id) {
  return ByteWriter()
      .I32(id.size() == 4 ? 0 : static_cast<std::int64_t>(id.size()))
      .Text(id)
      .Data();
}

Bytes UnicodeString(const std::u16string& text) {
  ByteWriter out;
  out.I32(static_cast<std::int64_t>(text.size()) + 1);
  for (const char16_t unit : text) out.I16(unit);
  return out.I16(0).Data();
}

Bytes Object(const std::string& classId, const Items& items) {
  ByteWriter out;
  out.Append(UnicodeString(u"")).Append(Id(classId)).I32(static_cast<std::int64_t>(items.size()));
  for (const auto& [key, value] : items) out.Append(Id(key)).Append(value);
  return out.Data();
}

Bytes Versioned(const std::string& classId, const Items& items) {
  return ByteWriter().I32(16).Append(Object(classId, items)).Data();
}

Value ObjectValue(const std::string& classId, const Items& items) {
  return ByteWriter().Text("Objc").Append(Object(classId, items)).Data();
}

Value ListValue(const std::vector<Value>& values) {
  ByteWriter out;
  out.Text("VlLs").I32(static_cast<std::int64_t>(values.size()));
  for (const Value& value : values) out.Append(value);
  return out.Data();
}

namespace {

ByteWriter& Double(ByteWriter& out, double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return out.I64(static_cast<std::int64_t>(bits));
}

}  // namespace

Value DoubleValue(double value) {
  ByteWriter out;
  return Double(out.Text("doub"), value).Data();
}

Value UnitValue(const std::string& unit, double value) {
  ByteWriter out;
  return Double(out.Text("UntF").Text(unit), value).Data();
}

Value LongValue(std::int32_t value) {
  return ByteWriter().Text("long").I32(value).Data();
}

Value BoolValue(bool value) {
  return ByteWriter().Text("bool").U8(value ? 1 : 0).Data();
}

Value TextValue(const std::u16string& text) {
  return ByteWriter().Text("TEXT").Append(UnicodeString(text)).Data();
}

Value EnumValue(const std::string& type, const std::string& value) {
  return ByteWriter().Text("enum").Append(Id(type)).Append(Id(value)).Data();
}

Value RawValue(const Bytes& bytes) {
  return ByteWriter()
      .Text("tdta")
      .I32(static_cast<std::int64_t>(bytes.size()))
      .Append(bytes)
      .Data();
}

}  // namespace plymark::test
