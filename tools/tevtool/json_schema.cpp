#include "json_schema.h"

#include <nlohmann/json.hpp>

#include "manifest_members.h"

namespace TevTool {
namespace {

using Json = nlohmann::ordered_json;

class SchemaWriter {
 public:
  Json Document() {
    Json document;
    document["$schema"] = "https://json-schema.org/draft/2020-12/schema";
    document["title"] = ManifestType().description;
    Json body = Inline(ManifestType());
    for (auto& [key, value] : body.items()) document[key] = value;
    document["$defs"] = m_defs;
    return document;
  }

 private:
  Json Reference(const TypeInfo& type) {
    if (type.id.empty()) return Inline(type);
    const std::string id(type.id);
    if (!m_defs.contains(id)) {
      m_defs[id] = Json::object();  // taken first, so that a type met again is not written twice
      m_defs[id] = Inline(type);
    }
    return Json{{"$ref", "#/$defs/" + id}};
  }

  Json Inline(const TypeInfo& type) {
    Json schema;
    if (!type.description.empty() && &type != &ManifestType()) schema["description"] = type.description;
    switch (type.kind) {
      case ValueKind::String:
        schema["type"] = "string";
        if (!type.values.empty())
          schema["enum"] = Json(std::vector<std::string>(type.values.begin(), type.values.end()));
        break;
      case ValueKind::StringOrNull:
        schema["type"] = {"string", "null"};
        break;
      case ValueKind::Scalar:
        schema["type"] = {"string", "integer", "boolean"};
        break;
      case ValueKind::Boolean:
        schema["type"] = "boolean";
        break;
      case ValueKind::Integer:
        // Numbers are read as signed 32-bit integers.
        schema["type"] = "integer";
        break;
      case ValueKind::Array:
        schema["type"] = "array";
        if (type.item) schema["items"] = Reference(*type.item);
        if (type.meaning == Meaning::Hash) {
          schema["minItems"] = 4;
          schema["maxItems"] = 4;
        }
        break;
      case ValueKind::Object: {
        schema["type"] = "object";
        if (!type.members.empty()) {
          Json properties = Json::object();
          Json required = Json::array();
          for (const MemberInfo& member : type.members) {
            Json property = Reference(*member.type);
            if (!member.description.empty()) property["description"] = member.description;
            properties[std::string(member.name)] = property;
            if (member.required) required.push_back(member.name);
          }
          schema["properties"] = properties;
          if (!required.empty()) schema["required"] = required;
        }
        // Unknown members are ignored by the launcher: flagged, so that a misspelt name shows.
        schema["additionalProperties"] = type.item ? Reference(*type.item) : Json(false);
        if (type.meaning == Meaning::PackageTypeWord) {
          schema["minProperties"] = 1;
          schema["maxProperties"] = 1;
        }
        if (type.meaning == Meaning::Definition) schema["maxProperties"] = 1;
        break;
      }
    }
    return schema;
  }

  Json m_defs = Json::object();
};

}  // namespace

std::string ManifestSchema() { return SchemaWriter().Document().dump(2) + "\n"; }

}  // namespace TevTool
