#include "positioned_json.h"

#include <stdexcept>

#include "json_parser.h"

namespace TevTool {

using Tevrian::JSON::JsonKind;
using Tevrian::JSON::NotificationId;

const PositionedMember* PositionedValue::Find(std::string_view key) const {
  const PositionedMember* found = nullptr;
  for (const PositionedMember& member : members) {
    if (member.key == key) found = &member;
  }
  return found;
}

std::wstring PositionedValue::Text() const { return Tevrian::JSON::DecodeJSONString(raw); }

namespace {

class Builder {
 public:
  explicit Builder(std::string_view text, PositionedDocument& document) : m_text(text), m_document(document) {}

  bool operator()(NotificationId id, std::string_view part) {
    const std::uint32_t offset = OffsetOf(part);
    switch (id) {
      case NotificationId::BeginDocument:
        return true;
      case NotificationId::EndDocument:
        m_document.stopOffset = offset;
        m_document.complete = part.find_first_not_of(" \t\r\n") == std::string_view::npos && m_stack.empty();
        return true;
      case NotificationId::Key:
        m_key = part;
        m_keyOffset = offset - 1;  // the opening quotation mark
        return true;
      case NotificationId::Separator:
        return true;
      case NotificationId::EndObject:
      case NotificationId::EndArray:
        if (!m_stack.empty()) {
          m_stack.back()->end = offset + 1;
          m_stack.pop_back();
        }
        return true;
      case NotificationId::BeginObject:
        m_stack.push_back(&Insert(JsonKind::Object, offset, {}));
        return true;
      case NotificationId::BeginArray:
        m_stack.push_back(&Insert(JsonKind::Array, offset, {}));
        return true;
      case NotificationId::String:
        // The value starts at its opening quotation mark and ends after its closing one.
        Insert(JsonKind::String, offset - 1, part).end = offset + static_cast<std::uint32_t>(part.size()) + 1;
        return true;
      case NotificationId::Number:
        Insert(JsonKind::Integer, offset, part).end = offset + static_cast<std::uint32_t>(part.size());
        return true;
      case NotificationId::True:
      case NotificationId::False:
        Insert(JsonKind::Boolean, offset, part).end = offset + static_cast<std::uint32_t>(part.size());
        return true;
      case NotificationId::Null:
        Insert(JsonKind::Null, offset, part).end = offset + static_cast<std::uint32_t>(part.size());
        return true;
    }
    return true;
  }

 private:
  std::uint32_t OffsetOf(std::string_view part) const {
    // Every text but the document's first is a view into the walked text.
    if (part.data() < m_text.data() || part.data() > m_text.data() + m_text.size()) return 0;
    return static_cast<std::uint32_t>(part.data() - m_text.data());
  }

  PositionedValue& Insert(JsonKind kind, std::uint32_t offset, std::string_view raw) {
    PositionedValue value;
    value.kind = kind;
    value.offset = offset;
    value.raw = raw;
    if (m_stack.empty()) {
      m_document.root = std::move(value);
      m_document.hasRoot = true;
      return m_document.root;
    }
    PositionedValue& parent = *m_stack.back();
    if (parent.kind == JsonKind::Array) return parent.elements.emplace_back(std::move(value));
    for (PositionedMember& member : parent.members) {
      if (member.key == m_key) member.overridden = true;
    }
    PositionedMember& member = parent.members.emplace_back();
    member.key = m_key;
    member.offset = m_keyOffset;
    member.value = std::move(value);
    return member.value;
  }

  std::string_view m_text;
  PositionedDocument& m_document;
  std::vector<PositionedValue*> m_stack;
  std::string_view m_key = "root";
  std::uint32_t m_keyOffset = 0;
};

}  // namespace

PositionedDocument ReadPositioned(std::string_view text) {
  PositionedDocument document;
  Builder builder(text, document);
  try {
    Tevrian::JSON::ParseDocument(text,
                                 [&builder](NotificationId id, std::string_view part) { return builder(id, part); });
  } catch (const std::out_of_range&) {
    // The reader's string scan raises at the very end of a cut-off text: the walk ends there.
    document.complete = false;
    document.stopOffset = static_cast<std::uint32_t>(text.size());
  }
  return document;
}

}  // namespace TevTool
