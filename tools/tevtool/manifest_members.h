// The one table of the manifest's members: every object the launcher reads, its members with the
// kind each is read as, and what their texts mean. The lint checks and the JSON Schema are both
// made from it, so they cannot disagree.
#pragma once

#include <span>
#include <string_view>

#include "json_value.h"

namespace TevTool {

enum class ValueKind {
  String,
  Boolean,
  Integer,
  Object,
  Array,
  StringOrNull,  // a null reads as absent
  Scalar,        // a string, an integer or a boolean; anything else is read as no value
};

// What a member's value stands for, beyond its kind.
enum class Meaning {
  None,
  Text,             // shown or passed on with [Name] references expanded
  Condition,        // a condition of the condition language
  Version,          // a version literal such as v1.2.3.4
  HttpsAddress,     // fetched; only HTTPS keeps it from being altered on the way
  Address,          // fetched, no scheme preferred
  FileName,         // a relative path joined under a folder
  Hash,             // four 32-bit words
  HashWord,         // one of them, compared as a 32-bit pattern
  Sha256,           // a SHA-256 digest: 64 hexadecimal digits
  PackageId,        // unique within the launch list
  TargetPackage,    // a type word or an Id of the launch list
  Behavior,         // one of the type's values
  UILevel,          // one of the type's values
  RegistryRoot,     // one of the type's values
  FileEntry,        // an object naming one file
  ExecuteFile,      // the file entry that is run
  PackageTypeWord,  // the object's one member is named by the package type
  Definition,       // only the first member in key order is read
};

struct TypeInfo;

struct MemberInfo {
  std::string_view name;
  const TypeInfo* type;
  std::string_view description;
  bool required = false;
  // Package entries: the type words whose packages read the member; empty for all.
  std::span<const std::string_view> onlyIn = {};
};

struct TypeInfo {
  std::string_view id;  // the schema's name for it; empty for a type written in place
  ValueKind kind;
  Meaning meaning = Meaning::None;
  std::span<const MemberInfo> members = {};       // objects: the members read
  const TypeInfo* item = nullptr;                 // arrays: each element; objects: each member not listed
  std::span<const std::string_view> values = {};  // strings: the texts that have an effect
  std::string_view description = {};
};

// The document's top level.
const TypeInfo& ManifestType();

// Built-in property names of the launcher, and those it sets from the manifest itself.
std::span<const std::string_view> BuiltinPropertyNames();

bool KindMatches(ValueKind expected, Tevrian::JSON::JsonKind found);
// "a string", "a boolean", ... as the launcher's own messages name kinds.
std::string_view ExpectedKindName(ValueKind kind);
std::string_view FoundKindName(Tevrian::JSON::JsonKind kind);

}  // namespace TevTool
