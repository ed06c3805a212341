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
#include <type_traits>
#include <utility>

namespace Tevrian::JSON {

class JsonValue;

// Keys are the raw bytes between the quotation marks, escapes and UTF-8 left as written. They
// order as unsigned bytes (std::string's own order); std::less<> lets lookups take a view.
using JsonObject = std::map<std::string, JsonValue, std::less<>>;
// A list, so that appending never moves the elements already there.
using JsonArray = std::list<JsonValue>;

enum class JsonKind { Null, Boolean, Integer, String, Object, Array };

// What every read of the wrong kind raises. It names the member by its path from the document's
// top ("LaunchList[2].MsiPackage.ExecuteFile.Size"), the kind expected and the kind found, so that
// whoever wrote the manifest can act on it. Each layer that knows where the failing object lies
// adds its part of the path as the error passes.
class BadAnyCast : public std::bad_any_cast {
 public:
  // Without details: a document that the reader could not complete.
  BadAnyCast() = default;
  // `problem` says what is wrong ("expected an integer, found a string").
  explicit BadAnyCast(std::wstring problem);

  // Add the member or element that the failing read lay in; no-ops once the path is complete.
  BadAnyCast& WithinMember(std::string_view rawName);
  BadAnyCast& WithinElement(std::size_t index);
  // Completes the path with where the object lies in the document ("LaunchList[2].MsiPackage"),
  // for objects read apart from the walk that found them.
  BadAnyCast& At(std::wstring_view objectPath);

  const std::wstring& Path() const noexcept { return m_path; }
  const std::wstring& Problem() const noexcept { return m_problem; }
  // "PATH: PROBLEM"; "Bad any_cast" when nothing more is known.
  std::wstring Describe() const;
  const char* what() const noexcept override { return m_what.c_str(); }

 private:
  void Update();

  void Prepend(const std::wstring& part);

  std::wstring m_path;
  std::wstring m_problem;
  std::string m_what = "Bad any_cast";
  bool m_complete = false;
};

// "null", "a boolean", "an integer", "a string", "an object", "an array".
std::wstring KindName(JsonKind kind);

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
  JsonValue& operator=(const JsonValue& other) {
    // Copied first: `other` may live inside the tree this assignment destroys.
    JsonValue copy(other);
    return *this = std::move(copy);
  }
  // Moving leaves the source empty.
  JsonValue(JsonValue&& other) noexcept : m_value(std::move(other.m_value)), m_beyond32Bits(other.m_beyond32Bits) {
    other.m_value.reset();
    other.m_beyond32Bits = false;
  }
  JsonValue& operator=(JsonValue&& other) noexcept {
    // Take the value out first: `other` may live inside the tree this assignment destroys.
    std::any taken = std::move(other.m_value);
    const bool beyond = std::exchange(other.m_beyond32Bits, false);
    other.m_value.reset();
    m_value = std::move(taken);
    m_beyond32Bits = beyond;
    return *this;
  }

  // A number the document wrote beyond the 32-bit range. Read as an integer it gives its low 32
  // bits, as every number does; a reader for which that would be another number (a file's size)
  // reads it with AsExactInteger.
  static JsonValue Beyond32Bits(std::int32_t lowBits) {
    JsonValue value(lowBits);
    value.m_beyond32Bits = true;
    return value;
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
  // The integer the document wrote; raises BadAnyCast for one beyond the 32-bit range.
  std::int32_t AsExactInteger() const;
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
    throw WrongKind(KindOf<T>());
  }
  template <typename T>
  T& Get() {
    if (T* held = std::any_cast<T>(&m_value)) return *held;
    throw WrongKind(KindOf<T>());
  }
  template <typename T>
  static constexpr JsonKind KindOf() {
    if constexpr (std::is_same_v<T, bool>) return JsonKind::Boolean;
    if constexpr (std::is_same_v<T, std::int32_t>) return JsonKind::Integer;
    if constexpr (std::is_same_v<T, std::wstring>) return JsonKind::String;
    if constexpr (std::is_same_v<T, JsonObject>) return JsonKind::Object;
    if constexpr (std::is_same_v<T, JsonArray>) return JsonKind::Array;
    return JsonKind::Null;
  }
  BadAnyCast WrongKind(JsonKind expected) const;

  std::any m_value;
  bool m_beyond32Bits = false;
};

// Typed reads of a member: an absent key gives the default, a present member is read as the kind
// of the default (null included, it raises BadAnyCast when it holds another) and never falls back.
std::wstring GetValue(const JsonObject& object, std::string_view key, std::wstring defaultValue);
std::wstring GetValue(const JsonObject& object, std::string_view key, const wchar_t* defaultValue);
JsonObject GetValue(const JsonObject& object, std::string_view key, JsonObject defaultValue);
JsonArray GetValue(const JsonObject& object, std::string_view key, JsonArray defaultValue);
bool GetValue(const JsonObject& object, std::string_view key, bool defaultValue);
std::int32_t GetValue(const JsonObject& object, std::string_view key, std::int32_t defaultValue);
// As GetValue, read with AsExactInteger: a number beyond the 32-bit range raises.
std::int32_t GetExactInteger(const JsonObject& object, std::string_view key, std::int32_t defaultValue);
// A narrow default would otherwise choose the boolean read.
void GetValue(const JsonObject& object, std::string_view key, const char* defaultValue) = delete;

// A member the reader cannot do without: an absent key raises BadAnyCast, as a member of the wrong
// kind does when it is read.
const JsonValue& RequiredMember(const JsonObject& object, std::string_view key);
// The same, read as its kind; either error names the member.
const JsonObject& RequiredObject(const JsonObject& object, std::string_view key);
const JsonArray& RequiredArray(const JsonObject& object, std::string_view key);
const std::wstring& RequiredString(const JsonObject& object, std::string_view key);
// A present member read as text; the error names the member.
const std::wstring& MemberString(const JsonObject::value_type& member);

// A text that the platform would cut at a NUL ("Key": "...\u0000\\Other" would search another key)
// is malformed: raises BadAnyCast naming no member (the caller's layer adds it).
const std::wstring& WithoutNul(const std::wstring& text);

// Runs `read`; a BadAnyCast it raises gets `rawName` (or element `index`) added to its path.
template <class Read>
decltype(auto) WithinMember(std::string_view rawName, Read&& read) {
  try {
    return read();
  } catch (BadAnyCast& error) {
    error.WithinMember(rawName);
    throw;
  }
}
template <class Read>
decltype(auto) WithinElement(std::size_t index, Read&& read) {
  try {
    return read();
  } catch (BadAnyCast& error) {
    error.WithinElement(index);
    throw;
  }
}

// The raw bytes of a JSON string's content (or a member name) as UTF-16: escapes decoded, each \u
// escape one code unit (pairs stay pairs, lone surrogates pass), an unknown escape keeps its byte,
// and every malformed UTF-8 sequence becomes U+FFFD.
std::wstring DecodeJSONString(std::string_view raw);

}  // namespace Tevrian::JSON
