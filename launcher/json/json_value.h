// The value tree the manifest is read into: a plain value type whose copies copy everything below
// them. Each reader asks for a member under the kind it expects; any other kind raises at that read.
#pragma once

#include <any>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <string_view>

namespace Tevrian::JSON {

class JsonValue;

// Keys are the raw bytes between the quotation marks, escapes and UTF-8 left as written. They
// order as unsigned bytes (std::string's own order); std::less<> lets lookups take a view.
using JsonObject = std::map<std::string, JsonValue, std::less<>>;
// A list, so that appending never moves the elements already there.
using JsonArray = std::list<JsonValue>;

enum class JsonKind { Null, Boolean, Integer, String, Object, Array };

// What every read of the wrong kind raises. Its text is the one the launcher's messages and logs
// have always shown, whatever the standard library's own spelling.
class BadAnyCast : public std::bad_any_cast {
 public:
  const char* what() const noexcept override { return "Bad any_cast"; }
};

// Holds nothing (null), or exactly one of bool, std::int32_t, std::wstring (UTF-16 code units, one
// per wchar_t on every platform), JsonObject or JsonArray.
class JsonValue {
 public:
  JsonValue() noexcept = default;
  JsonValue(std::nullptr_t) noexcept {}
  JsonValue(bool value) : m_value(value) {}
  JsonValue(std::int32_t value) : m_value(value) {}
  JsonValue(std::wstring value) : m_value(std::move(value)) {}
  JsonValue(const wchar_t* value) : m_value(std::wstring(value)) {}
  JsonValue(JsonObject value);
  JsonValue(JsonArray value);
  // A narrow literal would otherwise quietly become a boolean.
  JsonValue(const char*) = delete;

  JsonValue(const JsonValue&) = default;
  JsonValue& operator=(const JsonValue&) = default;
  // Moving leaves the source empty.
  JsonValue(JsonValue&& other) noexcept : m_value(std::move(other.m_value)) { other.m_value.reset(); }
  JsonValue& operator=(JsonValue&& other) noexcept {
    // Take the value out first: `other` may live inside the tree this assignment destroys.
    std::any taken = std::move(other.m_value);
    other.m_value.reset();
    m_value = std::move(taken);
    return *this;
  }

  JsonKind Kind() const noexcept;
  bool IsNull() const noexcept { return !m_value.has_value(); }
  bool IsBoolean() const noexcept { return Holds<bool>(); }
  bool IsInteger() const noexcept { return Holds<std::int32_t>(); }
  bool IsString() const noexcept { return Holds<std::wstring>(); }
  bool IsObject() const noexcept { return Holds<JsonObject>(); }
  bool IsArray() const noexcept { return Holds<JsonArray>(); }

  // Raise BadAnyCast unless the value holds that kind; null holds none.
  bool AsBoolean() const { return Get<bool>(); }
  std::int32_t AsInteger() const { return Get<std::int32_t>(); }
  const std::wstring& AsString() const { return Get<std::wstring>(); }
  const JsonObject& AsObject() const { return Get<JsonObject>(); }
  JsonObject& AsObject() { return Get<JsonObject>(); }
  const JsonArray& AsArray() const { return Get<JsonArray>(); }
  JsonArray& AsArray() { return Get<JsonArray>(); }

 private:
  template <typename T>
  bool Holds() const noexcept {
    return std::any_cast<T>(&m_value) != nullptr;
  }
  template <typename T>
  const T& Get() const {
    if (const T* held = std::any_cast<T>(&m_value)) return *held;
    throw BadAnyCast();
  }
  template <typename T>
  T& Get() {
    if (T* held = std::any_cast<T>(&m_value)) return *held;
    throw BadAnyCast();
  }

  std::any m_value;
};

// Typed reads of a member: an absent key gives the default, a present member is read as the kind
// of the default (null included, it raises BadAnyCast when it holds another) and never falls back.
std::wstring GetValue(const JsonObject& object, std::string_view key, std::wstring defaultValue);
std::wstring GetValue(const JsonObject& object, std::string_view key, const wchar_t* defaultValue);
JsonObject GetValue(const JsonObject& object, std::string_view key, JsonObject defaultValue);
JsonArray GetValue(const JsonObject& object, std::string_view key, JsonArray defaultValue);
bool GetValue(const JsonObject& object, std::string_view key, bool defaultValue);
std::int32_t GetValue(const JsonObject& object, std::string_view key, std::int32_t defaultValue);
// A narrow default would otherwise choose the boolean read.
void GetValue(const JsonObject& object, std::string_view key, const char* defaultValue) = delete;

// A member the reader cannot do without: an absent key raises BadAnyCast, as a member of the wrong
// kind does when it is read.
const JsonValue& RequiredMember(const JsonObject& object, std::string_view key);

// The raw bytes of a JSON string's content (or a member name) as UTF-16: escapes decoded, each \u
// escape one code unit (pairs stay pairs, lone surrogates pass), an unknown escape keeps its byte,
// and every malformed UTF-8 sequence becomes U+FFFD.
std::wstring DecodeJSONString(std::string_view raw);

}  // namespace Tevrian::JSON
