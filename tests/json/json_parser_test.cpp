#include "json_parser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "json_describe.h"

namespace {

using namespace Tevrian::JSON;
using namespace std::string_view_literals;
using TevJsonTest::DocumentEvents;
using TevJsonTest::ParseOutcome;

// A text and what it must give: the events sent, or the ParseJSON outcome.
struct TextCase {
  const char* name;
  std::string_view text;
  const char* expected;
};

TEST(ParseDocumentTest, Events) {
  const TextCase cases[] = {
      {"empty text", ""sv, "Begin End()"},
      {"byte-order mark only", "\xEF\xBB\xBF"sv, "Begin End()"},
      {"byte-order mark after white space is an ordinary byte", " \xEF\xBB\xBF"sv, "Begin End(\\xEF\\xBB\\xBF)"},
      {"object with members", R"({ "a" : 1 , "b":"x" })"sv, "Begin { key(a) num(1) , key(b) str(x) } End()"},
      {"empty containers send no element", "{ } [ ]"sv, "Begin { } [ ] End()"},
      {"comma before the closing brace", R"({"a":1,})"sv, "Begin { key(a) num(1) , } End()"},
      {"empty elements are empty numbers", "[1,] [,]"sv, "Begin [ num(1) , num() ] [ num() , num() ] End()"},
      {"colon followed by the brace", R"({"a":})"sv, "Begin { key(a) num() } End()"},
      {"several top-level values", "1 \"s\" null"sv, "Begin num(1) str(s) null End()"},
      {"key keeps escapes raw", R"({"k\"x":true})"sv, "Begin { key(k\\\\\\\"x) true } End()"},
      {"missing opening quotation mark", R"({ab":1})"sv, "Begin { key(b) num(1) } End()"},
      {"unknown escape in a key skips the closing mark", R"({"a\q":1})"sv, "Begin { key(a\\\\q) num(1) } End()"},
      {"unknown escape in a value leaves a byte before the mark", R"(["a\qb"])"sv, "Begin [ str(a\\\\q) End(\\\"])"},
      {"broken \\u escape stops after the non-digit", R"(["\u12G4"])"sv, "Begin [ str(\\\\u12G) End(\\\"])"},
      {"unclosed string runs to the end", R"(["abc)"sv, "Begin [ str(abc) End()"},
      {"backslash as the last byte", R"("ab\)"sv, "Begin str(ab\\\\) End()"},
      {"\\u escape cut off by the end", R"("\u00)"sv, "Begin str(\\\\u00) End()"},
      {"literal does not look at the next byte", "[truex]"sv, "Begin [ true End(x])"},
      {"literal cut off", "[tru"sv, "Begin [ End(tru)"},
      {"number stops at a letter", "[-12abc]"sv, "Begin [ num(-12) End(abc])"},
      {"vertical tab starts a number, it is no white space", "[\v1]"sv, "Begin [ num(\\x0B1) ] End()"},
      {"form feed alone is an empty number", "[\f]"sv, "Begin [ num() End(\\x0C])"},
      {"key without colon", R"({"a" 1})"sv, "Begin { key(a) End(})"},
      {"members without comma", R"({"a":1 "b":2})"sv, "Begin { key(a) num(1) End(\\\"b\\\":2})"},
      {"elements without comma", "[1 2]"sv, "Begin [ num(1) End(2])"},
      {"stray closing bracket at top level ends the walk", "1 ]"sv, "Begin num(1) End(])"},
      {"zero byte after the document ends the walk", "{}\0 5"sv, "Begin { } End(\\x00 5)"},
      {"object cut off after the opening brace", "{"sv, "Begin { End()"},
      {"object cut off after a comma", R"({"a":1,)"sv, "Begin { key(a) num(1) , End()"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DocumentEvents(c.text), c.expected);
  }
}

TEST(ParseDocumentTest, FixedTextsAreTheBytesConsumed) {
  std::string texts;
  ParseDocument("[{},true,false,null]", [&](NotificationId id, std::string_view text) {
    if (id != NotificationId::BeginDocument && id != NotificationId::EndDocument) texts += std::string(text) + " ";
    return true;
  });
  EXPECT_EQ(texts, "[ { } , true , false , null ] ");
}

// A callback's false ends the walk at once; EndDocument still follows, except after BeginDocument.
TEST(ParseDocumentTest, CallbackStopsTheWalk) {
  struct StopCase {
    const char* name;
    NotificationId stopAt;
    const char* events;
  };
  const StopCase cases[] = {
      {"at BeginDocument: nothing more", NotificationId::BeginDocument, "Begin"},
      {"at a key", NotificationId::Key, "Begin { key(a) End(:[1,2]} 7)"},
      {"at a separator", NotificationId::Separator, "Begin { key(a) [ num(1) , End(2]} 7)"},
      {"at the closing bracket", NotificationId::EndArray, "Begin { key(a) [ num(1) , num(2) ] End(} 7)"},
  };
  const std::string_view text = R"({"a":[1,2]} 7)";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TevJsonTest::EventRecorder recorder(text);
    ParseDocument(text, [&](NotificationId id, std::string_view view) {
      recorder(id, view);
      return id != c.stopAt;
    });
    EXPECT_EQ(recorder.Events(), c.events);
  }
}

TEST(ParseJSONTest, Table) {
  const TextCase cases[] = {
      // Documents that are not objects.
      {"empty text", ""sv, "null"},
      {"white space only", " \t\r\n"sv, "null"},
      {"byte-order mark only", "\xEF\xBB\xBF"sv, "null"},
      {"byte-order mark before an object", "\xEF\xBB\xBF{\"a\":1}"sv, "{\"a\":1}"},
      {"null", "null"sv, "null"},
      {"scalar", R"("x")"sv, "\"x\""},
      {"two top-level numbers: the last wins", "1 2"sv, "2"},
      {"value after a top-level object goes under the last key", R"({"a":{"b":1}} 5)"sv, "{\"a\":{\"b\":1}}"},
      {"stray byte after a scalar stores nothing", "\"a\" ]"sv, "\"a\""},
      {"stray byte alone", "]"sv, "null"},
      {"literal followed by a letter", "truex"sv, "true"},
      {"top-level literal cut off", "tru"sv, "null"},
      // Objects and arrays.
      {"empty object", "{}"sv, "{}"},
      {"empty object with a space", "{ }"sv, "{}"},
      {"empty array", "[]"sv, "[]"},
      {"last occurrence of a key wins, keys in order", R"({"b":1,"a":2,"b":3})"sv, "{\"a\":2,\"b\":3}"},
      {"comma before the closing brace", R"({"a":1,})"sv, "{\"a\":1}"},
      {"empty array element is 0", "[1,]"sv, "[1,0]"},
      {"two empty array elements", "[,]"sv, "[0,0]"},
      {"member without a value is 0", R"({"a":})"sv, "{\"a\":0}"},
      {"key kept as raw bytes", R"({"k\"x":1,"\u0041":2})"sv, "{\"\\\\u0041\":2,\"k\\\\\\\"x\":1}"},
      {"key with an unknown escape", R"({"a\q":1})"sv, "{\"a\\\\q\":1}"},
      {"nested containers", R"({"l":[{"x":[]},[true,false,null]]})"sv, "{\"l\":[{\"x\":[]},[true,false,null]]}"},
      // Strings.
      {"escapes decoded", R"(["\u0041\u00e9\n"])"sv, "[\"A\\u00E9\\u000A\"]"},
      {"escaped surrogate pair", R"(["\ud83d\ude00"])"sv, "[\"\\uD83D\\uDE00\"]"},
      {"UTF-8 text", "[\"\xC3\xA9\xE5\x90\x8D\"]"sv, "[\"\\u00E9\\u540D\"]"},
      // Numbers become 32-bit integers.
      {"fraction dropped", "[1.9,-1.9]"sv, "[1,-1]"},
      {"exponent ignored", "[2e3,2E-3]"sv, "[2,2]"},
      {"leading plus gives 0", "[+5]"sv, "[0]"},
      {"minus zero", "[-0]"sv, "[0]"},
      {"hexadecimal reads its leading 0", "[0x1F]"sv, "[0]"},
      {"words strtod knows are 0", "[inf,-Infinity,-nan(x)]"sv, "[0,0,0]"},
      {"vertical tab before digits", "[\v7]"sv, "[0]"},
      {"largest and smallest 32-bit values", "[2147483647,-2147483648]"sv, "[2147483647,-2147483648]"},
      {"wraps to the low 32 bits", "[2488871805,2147483648]"sv, "[-1806095491,-2147483648]"},
      {"eleven digits keep the low 32 bits", "[12345678901]"sv, "[-539222987]"},
      // Syntax errors: the innermost open container decides.
      {"array cut off", "[1, 2"sv, "raises Bad any_cast"},
      {"array inside an object cut off", R"({"a":[1)"sv, "raises Bad any_cast"},
      {"number with letters inside an array", "[-12abc]"sv, "raises Bad any_cast"},
      {"object cut off after a member", R"({"a":1)"sv, "null"},
      {"object cut off after the opening brace", "{"sv, "null"},
      {"object cut off after a comma", R"({"a":1,)"sv, "null"},
      {"cut off object returns its own root member", R"({"root":7,"b":)"sv, "7"},
      {"error in a nested object returns its root member", R"({"a":{"root":1,"x" 2}})"sv, "1"},
      {"key without colon", R"({"a" 1})"sv, "null"},
      {"members without comma", R"({"a":1 "b":2})"sv, "null"},
      {"value with a byte after an unknown escape", R"(["a\qb"])"sv, "raises Bad any_cast"},
      {"white space after the opening brace at the end", "{ "sv, "raises out_of_range: invalid string_view position"},
      {"white space after a comma at the end", "{\"a\":1,\n"sv, "raises out_of_range: invalid string_view position"},
      {"white space at the end of a nested object", "[{\t"sv, "raises out_of_range: invalid string_view position"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParseOutcome(c.text), c.expected);
  }
}

std::string Repeat(std::string_view piece, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

// Deeper nesting than the bound stops the walk at the bracket that goes too deep.
// Every number reads as its low 32 bits; a reader for which that would be another number (a file's
// "Size") reads it exactly and is told when the document wrote more.
TEST(ParseJSONTest, NumbersBeyond32BitsAreKnownToExactReaders) {
  struct Case {
    const char* name;
    std::string text;
    std::int32_t lowBits;
    bool exact;
  } const cases[] = {
      {"largest", "2147483647", 2147483647, true},
      {"smallest", "-2147483648", -2147483647 - 1, true},
      {"a fraction of a number that fits", "7.9", 7, true},
      {"one past the largest", "2147483648", -2147483647 - 1, false},
      {"one past the smallest", "-2147483649", 2147483647, false},
      {"2^32 + 100 would read as 100", "4294967396", 100, false},
      {"thirty digits", "123456789012345678901234567890", 1312754386, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const JsonValue parsed = ParseJSON("{\"Size\":" + c.text + "}");
    // The mark goes with copies and moves of the tree.
    JsonObject object = parsed.AsObject();
    JsonObject moved = std::move(object);
    EXPECT_EQ(GetValue(moved, "Size", 0), c.lowBits);
    if (c.exact) {
      EXPECT_EQ(GetExactInteger(moved, "Size", 0), c.lowBits);
    } else {
      try {
        GetExactInteger(moved, "Size", 0);
        ADD_FAILURE() << "read as " << GetValue(moved, "Size", 0);
      } catch (const BadAnyCast& error) {
        EXPECT_EQ(error.Describe(), L"Size: the number is beyond the 32-bit range");
      }
    }
  }
}

TEST(ParseJSONTest, NestingDepthIsBounded) {
  const std::size_t limit = kMaxNestingDepth;
  const std::string deepest = Repeat("[", limit) + Repeat("]", limit);
  EXPECT_EQ(ParseOutcome(deepest), deepest);
  EXPECT_EQ(ParseOutcome(Repeat("[", limit + 1) + Repeat("]", limit + 1)), "raises Bad any_cast");
  EXPECT_EQ(ParseOutcome(Repeat("{\"a\":", limit) + "1" + Repeat("}", limit)).substr(0, 10), "{\"a\":{\"a\":");
  EXPECT_EQ(ParseOutcome(Repeat("{\"a\":", limit + 1) + "1" + Repeat("}", limit + 1)), "null");
  // Far beyond the bound, and cut off: no stack exhaustion.
  EXPECT_EQ(ParseOutcome(Repeat("[", 100000)), "raises Bad any_cast");
  EXPECT_EQ(ParseOutcome(Repeat("{\"\":", 100000)), "null");

  std::string rest;
  ParseDocument(Repeat("[", limit + 2), [&](NotificationId id, std::string_view text) {
    if (id == NotificationId::EndDocument) rest = text;
    return true;
  });
  EXPECT_EQ(rest, "[[");
}

// What says why a document refused at the bound did not parse: the depth its brackets reach,
// brackets within strings not counted.
TEST(ParseJSONTest, NestingDepthOfTheText) {
  const std::uint32_t limit = kMaxNestingDepth;
  struct Case {
    const char* name;
    std::string text;
    std::uint32_t depth;
  } const cases[] = {
      {"empty", "", 0},
      {"a scalar", "5", 0},
      {"flat", R"({"a":1,"b":[1,2]})", 2},
      {"brackets in strings", R"({"a":"[[[{{{","b":"\"[["})", 1},
      {"unbalanced closers", "]]}[", 1},
      {"at the bound", Repeat("[", limit) + Repeat("]", limit), limit},
      {"past the bound, counting stops", Repeat("{\"a\":", 100000), limit + 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NestingDepth(c.text), c.depth);
  }
}

TEST(ParseJSONTest, CanceledTokenGivesTheEmptyValue) {
  Tevrian::cancellation_token_source source;
  source.cancel();
  EXPECT_EQ(ParseOutcome(R"({"a":1})", source.get_token()), "null");
  EXPECT_EQ(ParseOutcome("[1]", source.get_token()), "null");
}

// Canceled during the walk, the result is what a syntax error at that point gives.
TEST(ParseJSONTest, CancellationDuringTheWalk) {
  struct CancelCase {
    const char* name;
    std::string_view text;
    std::string_view cancelAt;  // the text of the notification that sees the token canceled
    const char* result;
  };
  const CancelCase cases[] = {
      {"inside an object", R"({"root":7,"b":[1]})", "b", "7"},
      {"inside an array", R"({"a":[1,2,3]})", "2", "raises Bad any_cast"},
      {"at the closing brace", R"({"a":1} )", "}", "null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Tevrian::cancellation_token_source source;
    const Tevrian::cancellation_token token = source.get_token();
    JsonTreeBuilder builder(token);
    ParseDocument(c.text, [&](NotificationId id, std::string_view text) {
      if (id != NotificationId::EndDocument && text == c.cancelAt) source.cancel();
      return builder(id, text);
    });
    std::string result;
    try {
      result = TevJsonTest::Describe(builder.TakeResult());
    } catch (const BadAnyCast& e) {
      result = std::string("raises ") + e.what();
    }
    EXPECT_EQ(result, c.result);
  }
}

TEST(ParseJSONTest, ResultOwnsItsTextAfterTheInputIsGone) {
  auto text = std::make_unique<std::string>(R"({"key with a long name":"a value longer than any small buffer"})");
  const JsonValue value = ParseJSON(*text);
  text.reset();
  EXPECT_EQ(GetValue(value.AsObject(), "key with a long name", L""), L"a value longer than any small buffer");
}

// The rules are usable on their own, with the position handed from one to the next.
TEST(GrammarRulesTest, CalledDirectly) {
  const std::string_view text = R"(1, "a" ,[2]] "k": null})";
  TevJsonTest::EventRecorder recorder(text);
  const NotificationCallback callback = std::ref(recorder);
  std::uint32_t position = 0;
  EXPECT_TRUE(ParseElements(ParseValue, callback, text, position));
  EXPECT_EQ(text.substr(position), R"(] "k": null})");
  position = SkipWhitespace(text, position + 1);
  EXPECT_TRUE(ParseElements(ParseMember, callback, text, position));
  EXPECT_EQ(text.substr(position), "}");
  EXPECT_EQ(recorder.Events(), "num(1) , str(a) , [ num(2) ] key(k) null");

  EXPECT_EQ(SkipWhitespace(" \t\r\n\v ", 0), 4u);  // vertical tab is no white space
  position = 0;
  EXPECT_FALSE(MatchLiteral(callback, "nul", position, "null", NotificationId::Null));
  EXPECT_EQ(position, 0u);
  position = 3;
  try {
    ScanString("{ }", position);
    ADD_FAILURE() << "a member name starting past the end did not raise";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid string_view position");
  }
}

struct NumberCase {
  const char* name;
  std::string_view text;
  std::string_view token;
};

// The number token is what strtod would read, within the text only.
TEST(ScanNumberTest, TokenIsTheLongestConvertiblePrefix) {
  const NumberCase cases[] = {
      {"integer", "123,", "123"},
      {"signs", "-1 +1", "-1"},
      {"fraction and exponent", "-1.5e+3x", "-1.5e+3"},
      {"fraction without digits after the point", "1.e5]", "1.e5"},
      {"fraction without digits before the point", ".5", ".5"},
      {"point alone", ".", ""},
      {"sign alone", "-]", ""},
      {"exponent without digits is not consumed", "1e+]", "1"},
      {"second point ends the token", "1.2.3", "1.2"},
      {"hexadecimal with binary exponent", "0x1.8p-2,", "0x1.8p-2"},
      {"hexadecimal fraction only", "0X.8P1", "0X.8P1"},
      {"0x without digits reads the 0", "0x]", "0"},
      {"0x with a point only reads the 0", "0x.p1", "0"},
      {"inf", "inf]", "inf"},
      {"infinity in any case", "-InFiNiTy!", "-InFiNiTy"},
      {"infinity cut short is inf", "infinit", "inf"},
      {"nan with a parenthesised run", "nan(ab_9)x", "nan(ab_9)"},
      {"nan with an unclosed run", "NaN(ab", "NaN"},
      {"nan with a foreign byte in the run", "nan(a-b)", "nan"},
      {"leading vertical tab and form feed", "\v\f7", "\v\f7"},
      {"vertical tab without a number", "\v]", ""},
      {"closing bracket", "]", ""},
      {"letter", "x1", ""},
      {"byte of a UTF-8 sequence", "\xC3\xA9", ""},
      {"ends with the text", "1e", "1"},
      {"cut in the exponent", "1e-", "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TevJsonTest::ExactText exact(c.text);
    std::uint32_t position = 0;
    EXPECT_EQ(ScanNumber(exact.View(), position), c.token);
    EXPECT_EQ(position, c.token.size());
#ifndef _WIN32
    // The table itself agrees with the C library's conversion.
    const std::string terminated(c.text);
    char* end = nullptr;
    std::strtod(terminated.c_str(), &end);
    EXPECT_EQ(static_cast<std::size_t>(end - terminated.c_str()), c.token.size()) << "strtod reads otherwise";
#endif
  }
}

}  // namespace
