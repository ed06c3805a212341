// Compact text forms of JSON trees, notification sequences and parse outcomes, so that test tables
// state each expectation in one line.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "json_parser.h"

namespace TevJsonTest {

using namespace Tevrian::JSON;

// Printable ASCII as is (with \ and " escaped); anything else as \xNN for bytes, \uNNNN for units.
inline std::string Escape(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      out += static_cast<char>(c);
    } else if (c == '\\' || c == '"') {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    }
  }
  return out;
}

inline std::string Escape(const std::wstring& units) {
  std::string out;
  for (wchar_t c : units) {
    if (c >= 0x20 && c < 0x7F && c != L'\\' && c != L'"') {
      out += static_cast<char>(c);
    } else if (c == L'\\' || c == L'"') {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      char buffer[12];
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

// JSON-like: null, true, 5, "text", {"key":value,...} in the tree's key order, [value,...].
inline std::string Describe(const JsonValue& value) {
  switch (value.Kind()) {
    case JsonKind::Null:
      return "null";
    case JsonKind::Boolean:
      return value.AsBoolean() ? "true" : "false";
    case JsonKind::Integer:
      return std::to_string(value.AsInteger());
    case JsonKind::String:
      return "\"" + Escape(value.AsString()) + "\"";
    case JsonKind::Object: {
      std::string out = "{";
      for (const auto& [key, member] : value.AsObject()) {
        if (out.size() > 1) out += ',';
        out += "\"" + Escape(key) + "\":" + Describe(member);
      }
      return out + "}";
    }
    case JsonKind::Array: {
      std::string out = "[";
      for (const auto& element : value.AsArray()) {
        if (out.size() > 1) out += ',';
        out += Describe(element);
      }
      return out + "]";
    }
  }
  return "?";
}

// The text as a view over a heap block of exactly its size, with no terminating zero, so that
// AddressSanitizer reports any read past the end.
class ExactText {
 public:
  explicit ExactText(std::string_view text) : m_bytes(new char[text.size()]), m_size(text.size()) {
    text.copy(m_bytes.get(), text.size());
  }
  std::string_view View() const { return {m_bytes.get(), m_size}; }

 private:
  std::unique_ptr<char[]> m_bytes;
  std::size_t m_size;
};

// What ParseJSON makes of a text: the tree, or the exception it raised.
inline std::string ParseOutcome(std::string_view text, const Tevrian::cancellation_token& token = {}) {
  const ExactText exact(text);
  try {
    return Describe(ParseJSON(exact.View(), token));
  } catch (const BadAnyCast& e) {
    return std::string("raises ") + e.what();
  } catch (const std::out_of_range& e) {
    return std::string("raises out_of_range: ") + e.what();
  }
}

inline std::string EventName(NotificationId id) {
  switch (id) {
    case NotificationId::BeginDocument:
      return "Begin";
    case NotificationId::EndDocument:
      return "End";
    case NotificationId::BeginObject:
      return "{";
    case NotificationId::EndObject:
      return "}";
    case NotificationId::BeginArray:
      return "[";
    case NotificationId::EndArray:
      return "]";
    case NotificationId::Separator:
      return ",";
    case NotificationId::Key:
      return "key";
    case NotificationId::String:
      return "str";
    case NotificationId::Number:
      return "num";
    case NotificationId::True:
      return "true";
    case NotificationId::False:
      return "false";
    case NotificationId::Null:
      return "null";
  }
  return "id" + std::to_string(static_cast<int>(id));
}

// Events the event parser sends, space-separated; those whose text varies show it: key(a) num()
// End(rest). Every text is checked to be a view into the parsed text.
class EventRecorder {
 public:
  explicit EventRecorder(std::string_view text) : m_text(text) {}

  bool operator()(NotificationId id, std::string_view view) {
    if (!m_events.empty()) m_events += ' ';
    m_events += EventName(id);
    const bool variable = id == NotificationId::Key || id == NotificationId::String || id == NotificationId::Number ||
                          id == NotificationId::EndDocument;
    if (variable) m_events += "(" + Escape(view) + ")";
    if (!view.empty() && (view.data() < m_text.data() || view.data() + view.size() > m_text.data() + m_text.size())) {
      m_events += "<outside the text>";
    }
    return true;
  }

  const std::string& Events() const { return m_events; }

 private:
  std::string_view m_text;
  std::string m_events;
};

inline std::string DocumentEvents(std::string_view text) {
  const ExactText exact(text);
  EventRecorder recorder(exact.View());
  ParseDocument(exact.View(), std::ref(recorder));
  return recorder.Events();
}

}  // namespace TevJsonTest
