#include "json_parser.h"

#include <algorithm>
#include <stdexcept>

namespace Tevrian::JSON {
namespace {

bool IsWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsLetterOrDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The one view the rules may ask for beyond the end: a member name that would start past it.
[[noreturn]] void ThrowInvalidPosition() { throw std::out_of_range("invalid string_view position"); }

std::string_view Clamp(std::string_view text) { return text.substr(0, std::min(text.size(), kMaxTextLength)); }

std::uint32_t SkipWhitespaceIn(std::string_view text, std::uint32_t position) {
  while (position < text.size() && IsWhitespace(text[position])) ++position;
  return position;
}

bool IsSimpleEscape(char c) {
  switch (c) {
    case '"':
    case '\\':
    case '/':
    case 'b':
    case 'f':
    case 'n':
    case 'r':
    case 't':
      return true;
    default:
      return false;
  }
}

std::string_view ScanStringIn(std::string_view text, std::uint32_t& position) {
  const auto size = static_cast<std::uint32_t>(text.size());
  if (position >= size) ThrowInvalidPosition();
  const std::uint32_t start = position + 1;
  std::uint32_t i = start;
  std::uint32_t stop = size;  // an unclosed string runs to the end
  while (i < size) {
    const char c = text[i];
    if (c == '"') {
      stop = i;
      break;
    }
    if (c != '\\') {
      ++i;
      continue;
    }
    if (i + 1 == size) break;  // a backslash as the last byte stops at the end
    const char escape = text[i + 1];
    if (IsSimpleEscape(escape)) {
      i += 2;
      continue;
    }
    if (escape == 'u') {
      std::uint32_t digit = i + 2;
      while (digit < i + 6 && digit < size && IsHexDigit(text[digit])) ++digit;
      if (digit == i + 6) {
        i = digit;
        continue;
      }
      stop = digit + 1;  // just after the first byte that is not a digit (or past the end)
      break;
    }
    stop = i + 2;  // just after the unknown escape's byte
    break;
  }
  // The byte after the stop is skipped as the closing quotation mark, whatever it is.
  position = stop + 1;
  return text.substr(start, std::min(stop, size) - start);
}

// Case-insensitive match of a lower-case ASCII word at `position`.
bool MatchWordIgnoringCase(std::string_view text, std::size_t position, std::string_view word) {
  if (text.size() - position < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if ((text[position + i] | 0x20) != word[i]) return false;
  }
  return true;
}

std::size_t SkipDigits(std::string_view text, std::size_t position, bool (*isDigit)(char), std::size_t& count) {
  while (position < text.size() && isDigit(text[position])) {
    ++position;
    ++count;
  }
  return position;
}

// After a mantissa: an exponent marker, an optional sign and at least one decimal digit, or nothing.
std::size_t SkipExponent(std::string_view text, std::size_t position, char marker) {
  if (position >= text.size() || (text[position] | 0x20) != marker) return position;
  std::size_t digits = position + 1;
  if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) ++digits;
  std::size_t count = 0;
  const std::size_t end = SkipDigits(text, digits, IsDigit, count);
  return count ? end : position;
}

// The end of the longest prefix from `position` that strtod converts in the C locale, or `position`.
std::size_t NumberEnd(std::string_view text, std::size_t position) {
  std::size_t i = position;
  // strtod's own leading white space; only counts when a number follows.
  while (i < text.size() && (IsWhitespace(text[i]) || text[i] == '\v' || text[i] == '\f')) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (MatchWordIgnoringCase(text, i, "infinity")) return i + 8;
  if (MatchWordIgnoringCase(text, i, "inf")) return i + 3;
  if (MatchWordIgnoringCase(text, i, "nan")) {
    const std::size_t after = i + 3;
    if (after < text.size() && text[after] == '(') {
      std::size_t close = after + 1;
      while (close < text.size() && (IsLetterOrDigit(text[close]) || text[close] == '_')) ++close;
      if (close < text.size() && text[close] == ')') return close + 1;
    }
    return after;
  }
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] | 0x20) == 'x') {
    std::size_t digits = 0;
    std::size_t end = SkipDigits(text, i + 2, IsHexDigit, digits);
    if (end < text.size() && text[end] == '.') end = SkipDigits(text, end + 1, IsHexDigit, digits);
    // Without a hexadecimal digit only the 0 is a number.
    if (digits) return SkipExponent(text, end, 'p');
  }
  std::size_t digits = 0;
  std::size_t end = SkipDigits(text, i, IsDigit, digits);
  if (end < text.size() && text[end] == '.') end = SkipDigits(text, end + 1, IsDigit, digits);
  if (!digits) return position;
  return SkipExponent(text, end, 'e');
}

std::string_view ScanNumberIn(std::string_view text, std::uint32_t& position) {
  if (position >= text.size()) return {};
  const auto end = static_cast<std::uint32_t>(NumberEnd(text, position));
  const std::string_view token = text.substr(position, end - position);
  position = end;
  return token;
}

// Number tokens become 32-bit integers: an optional minus sign and the decimal digits that
// follow it, wrapping on overflow; whatever comes after the digits is ignored. A number that
// wrapped is marked, so that a reader that must not take another number for it can tell.
JsonValue IntegerOf(std::string_view token) {
  std::size_t i = 0;
  const bool negative = !token.empty() && token[0] == '-';
  if (negative) i = 1;
  std::uint32_t value = 0;
  std::uint64_t exact = 0;
  constexpr std::uint64_t kLargest = std::uint64_t{1} << 31;  // the magnitude of INT32_MIN
  for (; i < token.size() && IsDigit(token[i]); ++i) {
    const auto digit = static_cast<std::uint32_t>(token[i] - '0');
    value = value * 10u + digit;
    if (exact <= kLargest) exact = exact * 10u + digit;
  }
  const auto integer = static_cast<std::int32_t>(negative ? 0u - value : value);
  if (exact > (negative ? kLargest : kLargest - 1)) return JsonValue::Beyond32Bits(integer);
  return integer;
}

// The event parser's rules over one text. Callback is the NotificationCallback for the public
// entry points and the tree builder itself for ParseJSON, so that its calls need no indirection.
template <typename Callback>
class Walker {
 public:
  Walker(Callback& callback, std::string_view text)
      : m_callback(callback), m_whole(text), m_text(Clamp(text)), m_size(static_cast<std::uint32_t>(m_text.size())) {}

  void Document() {
    std::uint32_t position = 0;
    if (!m_callback(NotificationId::BeginDocument, m_text.substr(0, 0))) return;
    if (m_text.substr(0, 3) == "\xEF\xBB\xBF") position = 3;
    while (position < m_size) {
      position = SkipWhitespaceIn(m_text, position);
      // A byte that begins no value (a stray closing bracket, a zero byte after the document) is a
      // syntax error here: ParseValue would store an empty number for it and never move on.
      if (position < m_size && !BeginsValue(position)) break;
      if (!Value(position)) break;
    }
    m_callback(NotificationId::EndDocument, m_whole.substr(std::min<std::size_t>(position, m_size)));
  }

  bool Value(std::uint32_t& position) {
    position = SkipWhitespaceIn(m_text, position);
    if (position >= m_size) return true;  // a missing value is no error here
    bool read = false;
    switch (m_text[position]) {
      case '"': {
        const std::string_view content = ScanStringIn(m_text, position);
        read = m_callback(NotificationId::String, content);
        break;
      }
      case '{':
        read = Object(position);
        break;
      case '[':
        read = Array(position);
        break;
      case 't':
        read = Literal(position, "true", NotificationId::True);
        break;
      case 'f':
        read = Literal(position, "false", NotificationId::False);
        break;
      case 'n':
        read = Literal(position, "null", NotificationId::Null);
        break;
      default: {
        const std::string_view token = ScanNumberIn(m_text, position);
        read = m_callback(NotificationId::Number, token);
        break;
      }
    }
    if (!read) return false;
    position = SkipWhitespaceIn(m_text, position);
    return true;
  }

  bool Object(std::uint32_t& position) {
    if (!Open(position, NotificationId::BeginObject)) return false;
    const bool read = Elements([this](std::uint32_t& p) { return Member(p); }, position) &&
                      Close(position, '}', NotificationId::EndObject);
    --m_depth;
    return read;
  }

  bool Array(std::uint32_t& position) {
    if (!Open(position, NotificationId::BeginArray)) return false;
    position = SkipWhitespaceIn(m_text, position);
    bool read = true;
    if (position < m_size && m_text[position] != ']') {
      read = Elements([this](std::uint32_t& p) { return Value(p); }, position);
      position = SkipWhitespaceIn(m_text, position);
    }
    read = read && Close(position, ']', NotificationId::EndArray);
    --m_depth;
    return read;
  }

  bool Member(std::uint32_t& position) {
    position = SkipWhitespaceIn(m_text, position);
    // An empty object, or a comma before the closing brace.
    if (position < m_size && m_text[position] == '}') return true;
    const std::string_view key = ScanStringIn(m_text, position);
    if (!m_callback(NotificationId::Key, key)) return false;
    position = SkipWhitespaceIn(m_text, position);
    if (position >= m_size || m_text[position++] != ':') return false;
    if (!Value(position)) return false;
    position = SkipWhitespaceIn(m_text, position);
    return true;
  }

  template <typename Element>
  bool Elements(Element&& element, std::uint32_t& position) {
    while (position < m_size) {
      if (!element(position)) return false;
      if (position >= m_size || m_text[position] != ',') return true;
      if (!m_callback(NotificationId::Separator, m_text.substr(position++, 1))) return false;
    }
    return true;
  }

  bool Literal(std::uint32_t& position, std::string_view literal, NotificationId id) {
    if (position > m_size || m_size - position < literal.size()) return false;
    const std::string_view found = m_text.substr(position, literal.size());
    if (found != literal) return false;
    position += static_cast<std::uint32_t>(literal.size());
    return m_callback(id, found);
  }

 private:
  // Consumes the opening bracket at `position` and enters one more level, unless that would go
  // deeper than the bound: then it fails before consuming, as a syntax error there would.
  bool Open(std::uint32_t& position, NotificationId id) {
    if (position >= m_size || m_depth >= kMaxNestingDepth) return false;
    if (!m_callback(id, m_text.substr(position++, 1))) return false;
    ++m_depth;
    return true;
  }

  bool Close(std::uint32_t& position, char bracket, NotificationId id) {
    if (position >= m_size || m_text[position] != bracket) return false;
    return m_callback(id, m_text.substr(position++, 1));
  }

  bool BeginsValue(std::uint32_t position) const {
    switch (m_text[position]) {
      case '"':
      case '{':
      case '[':
      case 't':
      case 'f':
      case 'n':
        return true;
      default:
        return NumberEnd(m_text, position) != position;
    }
  }

  Callback& m_callback;
  std::string_view m_whole;
  std::string_view m_text;  // at most kMaxTextLength bytes of m_whole
  std::uint32_t m_size;
  std::uint32_t m_depth = 0;
};

using PublicWalker = Walker<const NotificationCallback>;

}  // namespace

std::uint32_t SkipWhitespace(std::string_view text, std::uint32_t position) {
  return SkipWhitespaceIn(Clamp(text), position);
}

std::string_view ScanString(std::string_view text, std::uint32_t& position) {
  return ScanStringIn(Clamp(text), position);
}

std::string_view ScanNumber(std::string_view text, std::uint32_t& position) {
  return ScanNumberIn(Clamp(text), position);
}

bool MatchLiteral(const NotificationCallback& callback, std::string_view text, std::uint32_t& position,
                  std::string_view literal, NotificationId id) {
  return PublicWalker(callback, text).Literal(position, literal, id);
}

bool ParseValue(const NotificationCallback& callback, std::string_view text, std::uint32_t& position) {
  return PublicWalker(callback, text).Value(position);
}

bool ParseObject(const NotificationCallback& callback, std::string_view text, std::uint32_t& position) {
  return PublicWalker(callback, text).Object(position);
}

bool ParseArray(const NotificationCallback& callback, std::string_view text, std::uint32_t& position) {
  return PublicWalker(callback, text).Array(position);
}

bool ParseMember(const NotificationCallback& callback, std::string_view text, std::uint32_t& position) {
  return PublicWalker(callback, text).Member(position);
}

bool ParseElements(ElementParser element, const NotificationCallback& callback, std::string_view text,
                   std::uint32_t& position) {
  return PublicWalker(callback, text).Elements([&](std::uint32_t& p) { return element(callback, text, p); }, position);
}

void ParseDocument(std::string_view text, const NotificationCallback& callback) {
  PublicWalker(callback, text).Document();
}

JsonTreeBuilder::JsonTreeBuilder(cancellation_token token) : m_token(std::move(token)) {
  m_stack.push_back({&m_wrapper, nullptr});
}

bool JsonTreeBuilder::operator()(NotificationId id, std::string_view text) {
  if (m_token.is_canceled()) return false;
  switch (id) {
    case NotificationId::BeginObject:
      m_stack.push_back({&Insert(JsonObject()).AsObject(), nullptr});
      break;
    case NotificationId::BeginArray:
      m_stack.push_back({nullptr, &Insert(JsonArray()).AsArray()});
      break;
    case NotificationId::EndObject:
    case NotificationId::EndArray:
      // The wrapper stays, whatever a caller of its own feeds in.
      if (m_stack.size() > 1) m_stack.pop_back();
      break;
    case NotificationId::Key:
      m_key.assign(text);
      break;
    case NotificationId::String:
      Insert(DecodeJSONString(text));
      break;
    case NotificationId::Number:
      Insert(IntegerOf(text));
      break;
    case NotificationId::True:
      Insert(true);
      break;
    case NotificationId::False:
      Insert(false);
      break;
    case NotificationId::Null:
      Insert(JsonValue());
      break;
    default:
      break;
  }
  return true;
}

// A repeated key replaces the earlier value; the map keeps every other member where it is.
JsonValue& JsonTreeBuilder::Insert(JsonValue value) {
  const OpenContainer& top = m_stack.back();
  if (top.array) return top.array->emplace_back(std::move(value));
  JsonObject& object = *top.object;
  auto member = object.lower_bound(m_key);
  if (member == object.end() || member->first != m_key) member = object.emplace_hint(member, m_key, JsonValue());
  member->second = std::move(value);
  return member->second;
}

JsonValue JsonTreeBuilder::TakeResult() {
  const OpenContainer& top = m_stack.back();
  if (top.array) throw BadAnyCast();
  return std::move((*top.object)["root"]);
}

std::uint32_t NestingDepth(std::string_view text, std::uint32_t stopAbove) {
  std::uint32_t depth = 0;
  std::uint32_t deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size() && deepest <= stopAbove; ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;  // the escaped character, a quotation mark included
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

JsonValue ParseJSON(std::string_view text, const cancellation_token& token) {
  JsonTreeBuilder builder(token);
  Walker<JsonTreeBuilder>(builder, text).Document();
  return builder.TakeResult();
}

}  // namespace Tevrian::JSON
