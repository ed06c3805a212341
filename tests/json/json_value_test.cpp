#include "json_value.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "json_describe.h"

namespace {

using namespace Tevrian::JSON;
using TevJsonTest::Describe;

struct KindCase {
  const char* name;
  JsonValue value;
  JsonKind kind;
};

// Each value answers one kind and every read of another kind raises, naming both kinds.
TEST(JsonValueTest, EachKindReadsOnlyAsItself) {
  const KindCase cases[] = {
      {"null", JsonValue(), JsonKind::Null},
      {"boolean", JsonValue(false), JsonKind::Boolean},
      {"integer", JsonValue(0), JsonKind::Integer},
      {"string", JsonValue(L""), JsonKind::String},
      {"object", JsonValue(JsonObject()), JsonKind::Object},
      {"array", JsonValue(JsonArray()), JsonKind::Array},
  };
  struct Read {
    JsonKind kind;
    void (*read)(const JsonValue&);
    const char* expected;
  };
  const Read reads[] = {
      {JsonKind::Boolean, [](const JsonValue& v) { (void)v.AsBoolean(); }, "expected a boolean"},
      {JsonKind::Integer, [](const JsonValue& v) { (void)v.AsInteger(); }, "expected an integer"},
      {JsonKind::String, [](const JsonValue& v) { (void)v.AsString(); }, "expected a string"},
      {JsonKind::Object, [](const JsonValue& v) { (void)v.AsObject(); }, "expected an object"},
      {JsonKind::Array, [](const JsonValue& v) { (void)v.AsArray(); }, "expected an array"},
  };
  const char* found[] = {"found null",     "found a boolean", "found an integer",
                         "found a string", "found an object", "found an array"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.value.Kind(), c.kind);
    EXPECT_EQ(c.value.IsNull(), c.kind == JsonKind::Null);
    for (const auto& r : reads) {
      SCOPED_TRACE(static_cast<int>(r.kind));
      if (r.kind == c.kind) {
        EXPECT_NO_THROW(r.read(c.value));
        continue;
      }
      try {
        r.read(c.value);
        ADD_FAILURE() << "read of another kind did not raise";
      } catch (const std::bad_any_cast& e) {
        EXPECT_EQ(std::string(e.what()), std::string(r.expected) + ", " + found[static_cast<int>(c.kind)]);
      }
    }
  }
}

TEST(JsonValueTest, CopyIsDeepAndMoveEmptiesTheSource) {
  JsonValue original(JsonObject{{"list", JsonArray{JsonValue(1)}}});
  JsonValue copy = original;
  copy.AsObject()["list"].AsArray().push_back(JsonValue(2));
  copy.AsObject()["added"] = JsonValue(true);
  EXPECT_EQ(Describe(original), "{\"list\":[1]}");
  EXPECT_EQ(Describe(copy), "{\"added\":true,\"list\":[1,2]}");

  JsonValue moved = std::move(copy);
  EXPECT_TRUE(copy.IsNull());  // NOLINT(bugprone-use-after-move): the documented state
  EXPECT_EQ(Describe(moved), "{\"added\":true,\"list\":[1,2]}");
  JsonValue target(5);
  target = std::move(moved);
  EXPECT_TRUE(moved.IsNull());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(Describe(target), "{\"added\":true,\"list\":[1,2]}");
}

// A value assigned from inside its own tree: the child must be taken out before the old tree goes.
TEST(JsonValueTest, AssignmentFromOwnDescendant) {
  JsonValue tree(JsonObject{{"inner", JsonObject{{"x", JsonValue(L"kept")}}}});
  tree = std::move(tree.AsObject()["inner"]);
  EXPECT_EQ(Describe(tree), "{\"x\":\"kept\"}");
  tree = tree.AsObject()["x"];
  EXPECT_EQ(Describe(tree), "\"kept\"");
}

TEST(JsonObjectTest, KeysOrderAsUnsignedBytes) {
  JsonObject object;
  for (const char* key : {"B", "a", "A", "\xC3\xA9", "ab", "abc", "", "a\\"}) object[key] = JsonValue(1);
  std::string order;
  for (const auto& [key, value] : object) order += "<" + TevJsonTest::Escape(key) + ">";
  EXPECT_EQ(order, "<><A><B><a><a\\\\><ab><abc><\\xC3\\xA9>");
  EXPECT_EQ(object.count("A"), 1u);
  EXPECT_EQ(object.count("AB"), 0u);  // lookups are byte-exact
}

TEST(JsonArrayTest, AppendingKeepsReferencesToEarlierElements) {
  JsonArray array;
  JsonValue& first = array.emplace_back(JsonValue(L"first"));
  for (int i = 0; i < 100; ++i) array.emplace_back(JsonValue(i));
  EXPECT_EQ(first.AsString(), L"first");
  EXPECT_EQ(array.size(), 101u);
}

enum class Wanted { String, Integer, Boolean, Object, Array };

struct GetValueCase {
  const char* name;
  const char* key;
  Wanted wanted;
  const char* result;
};

// Reads `key` as the wanted kind with a default of that kind and describes the outcome.
std::string GetAs(const JsonObject& object, const char* key, Wanted wanted) {
  try {
    switch (wanted) {
      case Wanted::String:
        return Describe(GetValue(object, key, L"default"));
      case Wanted::Integer:
        return Describe(GetValue(object, key, std::int32_t{-9}));
      case Wanted::Boolean:
        return Describe(GetValue(object, key, true));
      case Wanted::Object:
        return Describe(GetValue(object, key, JsonObject{{"default", JsonValue(1)}}));
      case Wanted::Array:
        return Describe(GetValue(object, key, JsonArray{JsonValue(L"default")}));
    }
  } catch (const std::bad_any_cast& e) {
    return std::string("raises ") + e.what();
  }
  return "?";
}

TEST(GetValueTest, AbsentGivesDefaultPresentReadsOrRaises) {
  const JsonObject object = ParseJSON(R"({"s":"text","i":5,"f":false,"o":{"x":1},"a":[2],"n":null,"e":""})").AsObject();
  const GetValueCase cases[] = {
      {"string present", "s", Wanted::String, "\"text\""},
      {"empty string is present", "e", Wanted::String, "\"\""},
      {"string absent", "missing", Wanted::String, "\"default\""},
      {"string on integer", "i", Wanted::String, "raises i: expected a string, found an integer"},
      {"string on null", "n", Wanted::String, "raises n: expected a string, found null"},
      {"integer present", "i", Wanted::Integer, "5"},
      {"integer absent", "missing", Wanted::Integer, "-9"},
      {"integer on string", "s", Wanted::Integer, "raises s: expected an integer, found a string"},
      {"integer on boolean", "f", Wanted::Integer, "raises f: expected an integer, found a boolean"},
      {"boolean false present, not the default", "f", Wanted::Boolean, "false"},
      {"boolean absent", "missing", Wanted::Boolean, "true"},
      {"boolean on integer", "i", Wanted::Boolean, "raises i: expected a boolean, found an integer"},
      {"object present", "o", Wanted::Object, "{\"x\":1}"},
      {"object absent", "missing", Wanted::Object, "{\"default\":1}"},
      {"object on array", "a", Wanted::Object, "raises a: expected an object, found an array"},
      {"object on null", "n", Wanted::Object, "raises n: expected an object, found null"},
      {"array present", "a", Wanted::Array, "[2]"},
      {"array absent", "missing", Wanted::Array, "[\"default\"]"},
      {"array on object", "o", Wanted::Array, "raises o: expected an array, found an object"},
      {"key differing in case is absent", "S", Wanted::String, "\"default\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetAs(object, c.key, c.wanted), c.result);
  }
}

// A wide literal as the default must choose the string read, not the boolean one.
static_assert(std::is_same_v<decltype(GetValue(std::declval<const JsonObject&>(), "k", L"")), std::wstring>);

struct DecodeCase {
  const char* name;
  std::string_view raw;
  std::wstring units;
};

template <std::size_t N>
void ExpectDecodes(const DecodeCase (&cases)[N]) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TevJsonTest::Escape(DecodeJSONString(TevJsonTest::ExactText(c.raw).View())),
              TevJsonTest::Escape(c.units));
  }
}

TEST(DecodeJSONStringTest, Table) {
  using namespace std::string_view_literals;
  const DecodeCase cases[] = {
      {"empty", ""sv, L""},
      {"plain ASCII", "abc"sv, L"abc"},
      {"simple escapes", R"(\"\\\/\b\f\n\r\t)"sv, L"\"\\/\b\f\n\r\t"},
      {"unknown escape keeps its byte", R"(a\x)"sv, L"ax"},
      {"escape ends at the first non-hex byte", R"(a\u41G)"sv, L"aAG"},
      {"escape digits in either case", R"(\u00e9\u00E9)"sv, L"\u00E9\u00E9"},
      {"escape reads at most four digits", R"(\u00411)"sv, L"A1"},
      {"escape without digits is unit 0", R"(\uZ)"sv, std::wstring(L"\0Z", 2)},
      {"escape cut off at the end", R"(x\u4)"sv, L"x\x0004"},
      {"surrogate pair stays a pair", R"(\ud83d\ude00)"sv, L"\xD83D\xDE00"},
      {"lone surrogate passes", R"(\udc00x)"sv, L"\xDC00x"},
      {"trailing backslash dropped", "ab\\"sv, L"ab"},
      {"two-byte UTF-8", "\xC3\xA9"sv, L"\u00E9"},
      {"three-byte UTF-8", "\xE5\x90\x8D"sv, L"\u540D"},
      {"four-byte UTF-8 becomes a pair", "\xF0\x9F\x98\x80"sv, L"\xD83D\xDE00"},
      {"lone FF", "\xFF"sv, L"\xFFFD"},
      {"UTF-8 around escapes", "\xC3\xA9\\n\xC3\xA9"sv, L"\u00E9\n\u00E9"},
      {"unknown escape before a UTF-8 sequence", "\\\xC3\xA9"sv, L"\u00E9"},
      {"zero byte is kept", "a\0b"sv, std::wstring(L"a\0b", 3)},
  };
  ExpectDecodes(cases);
}

#ifndef _WIN32
// The native stand-in for MultiByteToWideChar: one U+FFFD per maximal ill-formed subpart.
TEST(DecodeJSONStringTest, NativeMalformedUtf8) {
  using namespace std::string_view_literals;
  const DecodeCase cases[] = {
      {"continuation byte alone", "a\x80z"sv, L"a\xFFFDz"},
      {"overlong two-byte form", "\xC0\x80"sv, L"\xFFFD\xFFFD"},
      {"overlong three-byte form", "\xE0\x80\x80"sv, L"\xFFFD\xFFFD\xFFFD"},
      {"encoded surrogate", "\xED\xA0\x80"sv, L"\xFFFD\xFFFD\xFFFD"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80"sv, L"\xFFFD\xFFFD\xFFFD\xFFFD"},
      {"largest code point", "\xF4\x8F\xBF\xBF"sv, L"\xDBFF\xDFFF"},
      {"cut three-byte sequence", "\xE2\x82"sv, L"\xFFFD"},
      {"broken three-byte sequence resumes", "\xE2\x82\x41"sv, L"\xFFFD\x0041"},
      {"cut four-byte sequence", "\xF0\x9F\x98"sv, L"\xFFFD"},
      {"escape splits a sequence", "\xC3\\n\xA9"sv, L"\xFFFD\n\xFFFD"},
  };
  ExpectDecodes(cases);
}
#endif

}  // namespace
