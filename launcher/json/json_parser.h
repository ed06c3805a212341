// The lenient JSON reader: an event parser that walks UTF-8 text once and reports each syntactic
// element, and ParseJSON, which builds a JsonValue tree from those events.
//
// Grammar, with the leniencies manifests rely on:
//   document := [BOM] { value }            several top-level values are all read
//   value    := string | object | array | true | false | null | number
//   object   := "{" elements(member) "}"   a comma before "}" is allowed
//   member   := string ":" value            the first byte is taken as the opening quotation mark
//   array    := "[" [ elements(value) ] "]"
//   elements := element { "," element }    an element may be empty: [1,] is [1,0]
//   number   := the longest prefix strtod would read, possibly empty; any other byte starts one
// A syntax error is not reported as such: the walk stops, and what was built so far decides the
// result (see ParseJSON).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "../shared/cancellation_token.h"
#include "json_value.h"

namespace Tevrian::JSON {

// The values are fixed.
enum class NotificationId : std::int32_t {
  BeginDocument = 0,  // before anything is read; empty text
  EndDocument = 1,    // after the walk, successful or not; the unread rest of the text
  BeginObject = 2,
  EndObject = 3,
  BeginArray = 4,
  EndArray = 5,
  Separator = 6,  // a comma between elements or members
  Key = 7,        // a member name: the raw bytes between the quotation marks
  String = 8,     // a string value: the raw bytes between the quotation marks
  Number = 9,     // the number token's bytes, possibly empty
  True = 10,
  False = 11,
  Null = 12,
};

// Every text handed over is a view into the parsed text. Answering false stops the walk.
using NotificationCallback = std::function<bool(NotificationId id, std::string_view text)>;

// One grammar rule: true when its construct was read, false on a syntax error or a stop. Each rule
// advances `position` past what it consumed; a position beyond the end counts as the end.
using ElementParser = bool (*)(const NotificationCallback& callback, std::string_view text, std::uint32_t& position);

// Deeper containers are refused the way a syntax error is: the walk stops at the opening bracket
// that would exceed it. Manifests nest a handful of levels; this keeps hostile input off the stack.
constexpr std::uint32_t kMaxNestingDepth = 512;

// How deeply the containers of `text` nest, counting brackets outside strings; the count stops once
// it passes `stopAbove`. Says why a document that the walk refused at its bound did not parse.
std::uint32_t NestingDepth(std::string_view text, std::uint32_t stopAbove = kMaxNestingDepth);

// Positions are 32-bit: a longer text is read up to this length, and the walk ends there.
constexpr std::size_t kMaxTextLength = 0xFFFFFFF0u;

std::uint32_t SkipWhitespace(std::string_view text, std::uint32_t position);
// From the opening quotation mark (taken as one without a test): the content, escapes undecoded.
// An unknown or cut-off escape ends the content, and the byte after it is skipped as the closing
// mark. Raises std::out_of_range ("invalid string_view position") when `position` is at the end.
std::string_view ScanString(std::string_view text, std::uint32_t& position);
// The number token at `position`: the longest prefix strtod would convert in the C locale (decimal,
// hexadecimal, inf, infinity, nan), never reaching past the end of the text. Empty when none.
std::string_view ScanNumber(std::string_view text, std::uint32_t& position);
bool MatchLiteral(const NotificationCallback& callback, std::string_view text, std::uint32_t& position,
                  std::string_view literal, NotificationId id);

bool ParseValue(const NotificationCallback& callback, std::string_view text, std::uint32_t& position);
bool ParseObject(const NotificationCallback& callback, std::string_view text, std::uint32_t& position);
bool ParseArray(const NotificationCallback& callback, std::string_view text, std::uint32_t& position);
bool ParseMember(const NotificationCallback& callback, std::string_view text, std::uint32_t& position);
bool ParseElements(ElementParser element, const NotificationCallback& callback, std::string_view text,
                   std::uint32_t& position);

// Walks the whole text. At the top level, a byte that begins no value (a stray closing bracket, a
// zero byte after the document) ends the walk like a syntax error, before anything is sent for it:
// EndDocument carries the rest from that byte on.
void ParseDocument(std::string_view text, const NotificationCallback& callback);

// The callback behind ParseJSON, usable with ParseDocument directly: it builds the tree and answers
// false to every notification once `token` is canceled.
class JsonTreeBuilder {
 public:
  explicit JsonTreeBuilder(cancellation_token token);
  JsonTreeBuilder(const JsonTreeBuilder&) = delete;
  JsonTreeBuilder& operator=(const JsonTreeBuilder&) = delete;

  bool operator()(NotificationId id, std::string_view text);

  // The result of the walk so far, taken out of the builder (see ParseJSON).
  JsonValue TakeResult();

 private:
  struct OpenContainer {
    JsonObject* object;
    JsonArray* array;
  };

  JsonValue& Insert(JsonValue value);

  JsonObject m_wrapper;  // holds the top-level value under "root"
  std::vector<OpenContainer> m_stack;
  // One key for all levels, overwritten by every member name.
  std::string m_key = "root";
  cancellation_token m_token;  // shares the caller's token's state
};

// Reads `text` (UTF-8, optionally after a byte-order mark) into a tree that refers to nothing
// outside itself. After a complete walk the result is the top-level value (the last one when there
// are several; empty for an empty text). After a syntax error or cancellation it is decided by the
// innermost container still open: inside an array, BadAnyCast is raised; inside an object, its
// member "root" is returned (normally empty). A text that ends with white space right after "{" or
// a comma inside an object raises std::out_of_range ("invalid string_view position").
JsonValue ParseJSON(std::string_view text, const cancellation_token& token = cancellation_token::none());

}  // namespace Tevrian::JSON
