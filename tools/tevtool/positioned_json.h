// The manifest's tree as the launcher's reader walks it, with where each member and element
// starts. It is built from the reader's own event walk, so it sees exactly the values the
// launcher sees; unlike the launcher's tree it keeps repeated keys and the document's order.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "json_value.h"

namespace TevTool {

struct PositionedMember;

struct PositionedValue {
  Tevrian::JSON::JsonKind kind = Tevrian::JSON::JsonKind::Null;
  std::uint32_t offset = 0;             // byte offset of the value's first character
  std::uint32_t end = 0;                // just past its last character; 0 for a container never closed
  std::string_view raw;                 // strings: the bytes between the quotation marks; numbers: the token
  std::list<PositionedMember> members;  // objects, in document order, repeated keys kept
  std::list<PositionedValue> elements;  // arrays

  // The member the launcher reads under `key`: the last one written, as in its own tree.
  const PositionedMember* Find(std::string_view key) const;
  // The value decoded as the launcher decodes strings.
  std::wstring Text() const;
};

struct PositionedMember {
  std::string_view key;      // raw bytes, as the launcher's keys
  std::uint32_t offset = 0;  // byte offset of the name's opening quotation mark
  PositionedValue value;
  bool overridden = false;  // a later member of the same object has the same key
};

struct PositionedDocument {
  PositionedValue root;  // the last top-level value, as the launcher keeps
  bool hasRoot = false;
  bool complete = false;         // the walk read the whole text
  std::uint32_t stopOffset = 0;  // where the walk stopped when it is not complete
};

// `text` must outlive the result: every view points into it.
PositionedDocument ReadPositioned(std::string_view text);

}  // namespace TevTool
