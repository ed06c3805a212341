// A small ordered JSON tree for writing documents such as the schema: members keep the order
// they were set in, and the text is laid out the same way every time, so that a written file can
// be compared byte for byte. (The launcher's own tree orders members by key and is for reading.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TevTool {

class JsonNode {
 public:
  static JsonNode Object() { return JsonNode(Kind::Object); }
  static JsonNode Array() { return JsonNode(Kind::Array); }
  static JsonNode String(std::string_view text);
  static JsonNode Integer(std::int64_t value);
  static JsonNode Boolean(bool value);

  // Objects: the member under `key`, added at the end when new.
  JsonNode& operator[](std::string_view key);
  bool Contains(std::string_view key) const;
  // Members or elements.
  std::size_t Size() const { return m_values.size(); }
  // Arrays: appends.
  JsonNode& Append(JsonNode element);

  // Two-space indentation, a member or element per line; no final line break.
  std::string Dump() const;

 private:
  enum class Kind { Object, Array, Scalar };
  explicit JsonNode(Kind kind) : m_kind(kind) {}
  void Write(std::string& out, int depth) const;

  Kind m_kind;
  std::string m_scalar;  // the scalar's JSON text
  std::vector<std::string> m_keys;
  std::vector<JsonNode> m_values;  // members' values or elements
};

}  // namespace TevTool
