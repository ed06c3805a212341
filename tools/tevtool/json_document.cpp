#include "json_document.h"

#include <algorithm>
#include <cstdio>

namespace TevTool {

JsonNode JsonNode::String(std::string_view text) {
  JsonNode node(Kind::Scalar);
  node.m_scalar = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      node.m_scalar += '\\';
      node.m_scalar += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      node.m_scalar += escaped;
    } else {
      node.m_scalar += c;
    }
  }
  node.m_scalar += '"';
  return node;
}

JsonNode JsonNode::Integer(std::int64_t value) {
  JsonNode node(Kind::Scalar);
  node.m_scalar = std::to_string(value);
  return node;
}

JsonNode JsonNode::Boolean(bool value) {
  JsonNode node(Kind::Scalar);
  node.m_scalar = value ? "true" : "false";
  return node;
}

JsonNode& JsonNode::operator[](std::string_view key) {
  const auto found = std::find(m_keys.begin(), m_keys.end(), key);
  if (found != m_keys.end()) return m_values[static_cast<std::size_t>(found - m_keys.begin())];
  m_keys.emplace_back(key);
  m_values.push_back(JsonNode(Kind::Scalar));
  return m_values.back();
}

bool JsonNode::Contains(std::string_view key) const {
  return std::find(m_keys.begin(), m_keys.end(), key) != m_keys.end();
}

JsonNode& JsonNode::Append(JsonNode element) { return m_values.emplace_back(std::move(element)); }

std::string JsonNode::Dump() const {
  std::string out;
  Write(out, 0);
  return out;
}

void JsonNode::Write(std::string& out, int depth) const {
  if (m_kind == Kind::Scalar) {
    out += m_scalar.empty() ? "null" : m_scalar;
    return;
  }
  const bool object = m_kind == Kind::Object;
  if (m_values.empty()) {
    out += object ? "{}" : "[]";
    return;
  }
  const std::string inner(static_cast<std::size_t>(depth + 1) * 2, ' ');
  out += object ? "{\n" : "[\n";
  for (std::size_t i = 0; i < m_values.size(); ++i) {
    out += inner;
    if (object) out += String(m_keys[i]).m_scalar + ": ";
    m_values[i].Write(out, depth + 1);
    out += i + 1 < m_values.size() ? ",\n" : "\n";
  }
  out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + (object ? "}" : "]");
}

}  // namespace TevTool
