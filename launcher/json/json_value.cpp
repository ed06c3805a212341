#include "json_value.h"

#include "utf8.h"

namespace Tevrian::JSON {
namespace {

template <typename T>
T ReadMember(const JsonObject& object, std::string_view key, T defaultValue, T (*read)(const JsonValue&)) {
  const auto found = object.find(key);
  if (found == object.end()) return defaultValue;
  return WithinMember(key, [&] { return read(found->second); });
}

// Member names are raw bytes; paths show them decoded, ASCII as it is.
std::wstring MemberName(std::string_view rawName) { return DecodeJSONString(rawName); }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

wchar_t SimpleEscape(char c) {
  switch (c) {
    case '"':
    case '\\':
    case '/':
      return static_cast<wchar_t>(c);
    case 'b':
      return L'\b';
    case 'f':
      return L'\f';
    case 'n':
      return L'\n';
    case 'r':
      return L'\r';
    case 't':
      return L'\t';
    default:
      return 0;
  }
}

}  // namespace

BadAnyCast::BadAnyCast(std::wstring problem) : m_problem(std::move(problem)) { Update(); }

void BadAnyCast::Prepend(const std::wstring& part) {
  if (m_complete) return;
  if (m_path.empty() || m_path.front() == L'[') {
    m_path = part + m_path;
  } else {
    m_path = part + L"." + m_path;
  }
  Update();
}

BadAnyCast& BadAnyCast::WithinMember(std::string_view rawName) {
  Prepend(MemberName(rawName));
  return *this;
}

BadAnyCast& BadAnyCast::WithinElement(std::size_t index) {
  Prepend(L"[" + std::to_wstring(index) + L"]");
  return *this;
}

BadAnyCast& BadAnyCast::At(std::wstring_view objectPath) {
  Prepend(std::wstring(objectPath));
  m_complete = true;
  return *this;
}

std::wstring BadAnyCast::Describe() const {
  if (m_problem.empty() && m_path.empty()) return L"Bad any_cast";
  if (m_path.empty()) return m_problem;
  return m_path + L": " + (m_problem.empty() ? std::wstring(L"Bad any_cast") : m_problem);
}

// what() must stay valid text for any reader: non-ASCII characters show as "?".
void BadAnyCast::Update() {
  const std::wstring described = Describe();
  m_what.clear();
  for (wchar_t c : described) m_what += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
}

std::wstring KindName(JsonKind kind) {
  switch (kind) {
    case JsonKind::Null:
      return L"null";
    case JsonKind::Boolean:
      return L"a boolean";
    case JsonKind::Integer:
      return L"an integer";
    case JsonKind::String:
      return L"a string";
    case JsonKind::Object:
      return L"an object";
    case JsonKind::Array:
      return L"an array";
  }
  return L"?";
}

BadAnyCast JsonValue::WrongKind(JsonKind expected) const {
  return BadAnyCast(L"expected " + KindName(expected) + L", found " + KindName(Kind()));
}

std::int32_t JsonValue::AsExactInteger() const {
  const std::int32_t value = AsInteger();
  if (m_beyond32Bits) throw BadAnyCast(L"the number is beyond the 32-bit range");
  return value;
}

JsonValue::JsonValue(JsonObject value) : m_value(std::move(value)) {}
JsonValue::JsonValue(JsonArray value) : m_value(std::move(value)) {}

JsonKind JsonValue::Kind() const noexcept {
  if (IsBoolean()) return JsonKind::Boolean;
  if (IsInteger()) return JsonKind::Integer;
  if (IsString()) return JsonKind::String;
  if (IsObject()) return JsonKind::Object;
  if (IsArray()) return JsonKind::Array;
  return JsonKind::Null;
}

std::wstring GetValue(const JsonObject& object, std::string_view key, std::wstring defaultValue) {
  return ReadMember<std::wstring>(object, key, std::move(defaultValue),
                                  [](const JsonValue& v) { return v.AsString(); });
}

std::wstring GetValue(const JsonObject& object, std::string_view key, const wchar_t* defaultValue) {
  return GetValue(object, key, std::wstring(defaultValue));
}

JsonObject GetValue(const JsonObject& object, std::string_view key, JsonObject defaultValue) {
  return ReadMember<JsonObject>(object, key, std::move(defaultValue), [](const JsonValue& v) { return v.AsObject(); });
}

JsonArray GetValue(const JsonObject& object, std::string_view key, JsonArray defaultValue) {
  return ReadMember<JsonArray>(object, key, std::move(defaultValue), [](const JsonValue& v) { return v.AsArray(); });
}

bool GetValue(const JsonObject& object, std::string_view key, bool defaultValue) {
  return ReadMember<bool>(object, key, defaultValue, [](const JsonValue& v) { return v.AsBoolean(); });
}

std::int32_t GetValue(const JsonObject& object, std::string_view key, std::int32_t defaultValue) {
  return ReadMember<std::int32_t>(object, key, defaultValue, [](const JsonValue& v) { return v.AsInteger(); });
}

std::int32_t GetExactInteger(const JsonObject& object, std::string_view key, std::int32_t defaultValue) {
  return ReadMember<std::int32_t>(object, key, defaultValue, [](const JsonValue& v) { return v.AsExactInteger(); });
}

const JsonValue& RequiredMember(const JsonObject& object, std::string_view key) {
  const auto it = object.find(key);
  if (it == object.end()) throw BadAnyCast(L"the required member is missing").WithinMember(key);
  return it->second;
}

const JsonObject& RequiredObject(const JsonObject& object, std::string_view key) {
  const JsonValue& member = RequiredMember(object, key);
  return WithinMember(key, [&]() -> const JsonObject& { return member.AsObject(); });
}

const JsonArray& RequiredArray(const JsonObject& object, std::string_view key) {
  const JsonValue& member = RequiredMember(object, key);
  return WithinMember(key, [&]() -> const JsonArray& { return member.AsArray(); });
}

const std::wstring& RequiredString(const JsonObject& object, std::string_view key) {
  const JsonValue& member = RequiredMember(object, key);
  return WithinMember(key, [&]() -> const std::wstring& { return member.AsString(); });
}

const std::wstring& MemberString(const JsonObject::value_type& member) {
  return WithinMember(member.first, [&]() -> const std::wstring& { return member.second.AsString(); });
}

const std::wstring& WithoutNul(const std::wstring& text) {
  const std::size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) {
    throw BadAnyCast(L"the text holds a NUL character at character " + std::to_wstring(nul + 1) +
                     L", where Windows would cut it");
  }
  return text;
}

std::wstring DecodeJSONString(std::string_view raw) {
  std::wstring out;
  out.reserve(raw.size());
  std::size_t run = 0;  // start of the pending run of ordinary bytes
  std::size_t i = 0;
  while (i < raw.size()) {
    if (raw[i] != '\\') {
      ++i;
      continue;
    }
    AppendUtf8AsUtf16(out, raw.substr(run, i - run));
    if (i + 1 == raw.size()) {  // a trailing backslash is dropped
      run = i = raw.size();
      break;
    }
    const char escape = raw[i + 1];
    if (const wchar_t simple = SimpleEscape(escape)) {
      out += simple;
      i += 2;
    } else if (escape == 'u') {
      // Up to four digits; each escape is one UTF-16 unit, so pairs and lone surrogates pass as written.
      i += 2;
      unsigned unit = 0;
      for (int digits = 0; digits < 4 && i < raw.size() && HexDigitValue(raw[i]) >= 0; ++digits, ++i) {
        unit = unit * 16 + static_cast<unsigned>(HexDigitValue(raw[i]));
      }
      out += static_cast<wchar_t>(unit);
    } else {
      // Unknown escape: the backslash goes, the byte stays and starts the next run.
      ++i;
    }
    run = i;
  }
  AppendUtf8AsUtf16(out, raw.substr(run));
  return out;
}

}  // namespace Tevrian::JSON
