#include "json_schema.h"

#include "json_document.h"
#include "manifest_members.h"

namespace TevTool {
namespace {

JsonNode StringList(std::span<const std::string_view> texts) {
  JsonNode list = JsonNode::Array();
  for (const std::string_view text : texts) list.Append(JsonNode::String(text));
  return list;
}

class SchemaWriter {
 public:
  JsonNode Document() {
    JsonNode document = JsonNode::Object();
    document["$schema"] = JsonNode::String("https://json-schema.org/draft/2020-12/schema");
    document["title"] = JsonNode::String(ManifestType().description);
    Describe(document, ManifestType());
    document["$defs"] = std::move(m_defs);
    return document;
  }

 private:
  JsonNode Reference(const TypeInfo& type) {
    if (type.id.empty()) return Inline(type);
    if (!m_defs.Contains(type.id)) {
      m_defs[type.id] = JsonNode::Object();  // taken first, so that a type met again is written once
      JsonNode definition = Inline(type);
      m_defs[type.id] = std::move(definition);
    }
    JsonNode reference = JsonNode::Object();
    reference["$ref"] = JsonNode::String("#/$defs/" + std::string(type.id));
    return reference;
  }

  JsonNode Inline(const TypeInfo& type) {
    JsonNode schema = JsonNode::Object();
    if (!type.description.empty()) schema["description"] = JsonNode::String(type.description);
    Describe(schema, type);
    return schema;
  }

  void Describe(JsonNode& schema, const TypeInfo& type) {
    switch (type.kind) {
      case ValueKind::String:
        schema["type"] = JsonNode::String("string");
        if (!type.values.empty()) schema["enum"] = StringList(type.values);
        if (type.meaning == Meaning::Sha256) schema["pattern"] = JsonNode::String("^[0-9A-Fa-f]{64}$");
        break;
      case ValueKind::StringOrNull:
        schema["type"] = StringList(std::initializer_list<std::string_view>{"string", "null"});
        break;
      case ValueKind::Scalar:
        schema["type"] = StringList(std::initializer_list<std::string_view>{"string", "integer", "boolean"});
        break;
      case ValueKind::Boolean:
        schema["type"] = JsonNode::String("boolean");
        break;
      case ValueKind::Integer:
        schema["type"] = JsonNode::String("integer");
        break;
      case ValueKind::Array:
        schema["type"] = JsonNode::String("array");
        if (type.item) schema["items"] = Reference(*type.item);
        if (type.meaning == Meaning::Hash) {
          schema["minItems"] = JsonNode::Integer(4);
          schema["maxItems"] = JsonNode::Integer(4);
        }
        break;
      case ValueKind::Object:
        DescribeObject(schema, type);
        break;
    }
  }

  void DescribeObject(JsonNode& schema, const TypeInfo& type) {
    schema["type"] = JsonNode::String("object");
    if (!type.members.empty()) {
      JsonNode properties = JsonNode::Object();
      JsonNode required = JsonNode::Array();
      for (const MemberInfo& member : type.members) {
        JsonNode property = Reference(*member.type);
        if (!member.description.empty()) property["description"] = JsonNode::String(member.description);
        properties[member.name] = std::move(property);
        if (member.required) required.Append(JsonNode::String(member.name));
      }
      schema["properties"] = std::move(properties);
      if (required.Size() > 0) schema["required"] = std::move(required);
    }
    // The launcher ignores unknown members: flagged, so that a misspelt name shows in the editor.
    schema["additionalProperties"] = type.item ? Reference(*type.item) : JsonNode::Boolean(false);
    if (type.meaning == Meaning::PackageTypeWord) {
      schema["minProperties"] = JsonNode::Integer(1);
      schema["maxProperties"] = JsonNode::Integer(1);
    }
    // Only the first member in key order is read.
    if (type.meaning == Meaning::Definition) schema["maxProperties"] = JsonNode::Integer(1);
  }

  JsonNode m_defs = JsonNode::Object();
};

}  // namespace

std::string ManifestSchema() { return SchemaWriter().Document().Dump() + "\n"; }

}  // namespace TevTool
