#include "expression.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "../support/describe.h"

namespace {

using namespace Tevrian::Expression;
using TevTest::Describe;

struct TokenizeCase {
  const char* name;
  const wchar_t* text;
  const char* tokens;
};

const TokenizeCase kTokenizeCases[] = {
    {"empty text", L"", ""},
    {"only blanks", L"   ", ""},
    {"keywords ignore ASCII case, names keep theirs", L"not NETFRAMEWORK45 or NETFRAMEWORK45 < 528040",
     "Not Property(NETFRAMEWORK45) Or Property(NETFRAMEWORK45) Less Integer(528040)"},
    {"keyword must be the whole word", L"ANDROID", "Property(ANDROID)"},
    {"operator ends a keyword", L"AND(", "And LeftParen"},
    {"equals sign ends a word", L"A==B", "Property(A) Equal Property(B)"},
    {"version literal", L"VCRedist_Version < v14.29.30153.0",
     "Property(VCRedist_Version) Less Version(v14.29.30153.0)"},
    {"upper-case V is a name", L"V6.2", "Property(V6.2)"},
    {"v without digit is a name", L"v vx", "Property(v) Property(vx)"},
    {"adjacent parentheses form one run", L"((A))", "Symbol(\x28\x28) Property(A) Symbol(\x29\x29)"},
    {"only the assignment sign makes text", L"A=-x <>y", "Property(A) Symbol(=-) Property(x) Symbol(<>) Property(y)"},
    {"word after a symbol is text up to a blank", L"A = x y", "Property(A) Symbol(=) String(x) Property(y)"},
    {"text after = stops at a blank", L"NAME=C:\\Program Files",
     "Property(NAME) Symbol(=) String(C:\\Program) Property(Files)"},
    {"text after = keeps operator characters", L"A=x==y", "Property(A) Symbol(=) String(x==y)"},
    {"keyword after = is still a keyword", L"A=and", "Property(A) Symbol(=) And"},
    {"quoted literal keeps backslash and mark", L"\"a\\\"b\"", "String(a\\\"b)"},
    {"empty quoted literal", L"\"\"", "String()"},
    {"quoted literal with blanks", L"A=\"hello world\"", "Property(A) Symbol(=) String(hello world)"},
    {"unclosed quoted literal takes the rest", L"A=\"C:\\Program Files\\",
     "Property(A) Symbol(=) String(C:\\Program Files\\)"},
    {"version stops after four fields", L"v1.2.3.4.5", "Version(v1.2.3.4) Integer(5)"},
    {"no signed literals", L"-1", "Minus Integer(1)"},
    {"largest integer", L"2147483647", "Integer(2147483647)"},
    {"arithmetic operators", L"+ - * /", "Plus Minus Multiply Divide"},
    {"comparison operators", L"== != >= > <= <", "Equal NotEqual GreaterEqual Greater LessEqual Less"},
    {"unknown operator run", L"=-5", "Symbol(=-) Integer(5)"},
    {"slash question mark", L"/?", "Divide Symbol(?)"},
    {"punctuation symbol leaves the next word a name", L"/? A=1", "Divide Symbol(?) Property(A) Symbol(=) Integer(1)"},
    {"other punctuation is a one-character symbol", L"[A] ;", "Symbol([) Property(A]) Symbol(;)"},
    {"word may hold non-operator punctuation", L"A_b.c\\d", "Property(A_b.c\\d)"},
    {"non-ASCII letters form names", L"\u540D\u524D == 1", "Property(\\u540D\\u524D) Equal Integer(1)"},
    {"control character before a token is skipped",
     L"\x01"
     L"A",
     "Property(A)"},
    {"control character inside a word continues it", L"A\x01 B", "Property(A\\u0001) Property(B)"},
    {"unpaired surrogate is skipped", L"\xD800 A", "Property(A)"},
    // No assignment may be lost to a neighbour's characters.
    {"a character beyond the BMP is part of a word", L"\xD83D\xDE00=\xD83D\xDE00 A=1 B=2",
     "Property(\\uD83D\\uDE00) Symbol(=) String(\\uD83D\\uDE00) Property(A) Symbol(=) Integer(1) Property(B) "
     "Symbol(=) Integer(2)"},
    {"a skipped character ends what = takes as text", L"=\x01 A=1", "Symbol(=) Property(A) Symbol(=) Integer(1)"},
    {"tab and line breaks are blanks", L"A\tOR\r\nB", "Property(A) Or Property(B)"},
};

TEST(TokenizeTest, Table) {
  for (const auto& c : kTokenizeCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Describe(Tokenize(c.text)), c.tokens);
  }
}

TEST(TokenizeTest, IntegerBeyond32BitsRaisesOutOfRange) {
  EXPECT_THROW(Tokenize(L"2147483648"), std::out_of_range);
  EXPECT_THROW(Tokenize(L"A=99999999999999999999"), std::out_of_range);
}

TEST(TokenizeTest, TokensCarryTypedValues) {
  const TokenList tokens = Tokenize(L"A=5 B=v1.2 C=hello");
  ASSERT_EQ(tokens.size(), 9u);
  EXPECT_EQ(tokens[2].IntegerValue(), 5);
  EXPECT_EQ(tokens[5].VersionValueOf(), MakeVersion(1, 2, 0, 0));
  EXPECT_EQ(tokens[8].TextValue(), L"hello");
  EXPECT_FALSE(Tokenize(L"==")[0].value.has_value());
}

struct ParseCase {
  const char* name;
  const wchar_t* text;
  const char* tree;
};

const ParseCase kParseCases[] = {
    {"AND and OR share a level, left first", L"A OR B AND C", "(And (Or A B) C)"},
    {"AND then OR", L"A AND B OR C", "(Or (And A B) C)"},
    {"comparison binds tighter than logic", L"A == 1 AND B < v2", "(And (Equal A 1) (Less B v2.0.0.0))"},
    {"relational binds tighter than equality", L"A == B < C", "(Equal A (Less B C))"},
    {"left-associative", L"A < B < C", "(Less (Less A B) C)"},
    {"parentheses group", L"A AND ( B OR C )", "(And A (Or B C))"},
    {"missing closing parenthesis is accepted", L"( A OR B", "(Or A B)"},
    {"NOT binds tighter than comparison", L"NOT A == B", "(Equal (Not A) B)"},
    {"NOT on the right side", L"A == NOT B", "(Equal A (Not B))"},
    {"NOT NOT has an empty operand", L"NOT NOT A", "(Not _)"},
    {"touching parentheses are a symbol", L"((A))", "_"},
    {"extra tokens are ignored", L"A B", "A"},
    {"lone equals sign ends the expression", L"A = B", "A"},
    {"leading infix operator leaves its left side empty", L"AND A", "(And _ A)"},
    {"operator at the end", L"A AND", "(And A _)"},
    {"arithmetic ends the expression", L"A + B", "A"},
    {"literals", L"\"x\" == 5", "(Equal 'x' 5)"},
    {"typical launch condition", L"VersionNT > v6.2 OR ( VersionNT == v6.1 AND ServicePackLevel >= 1 )",
     "(Or (Greater VersionNT v6.2.0.0) (And (Equal VersionNT v6.1.0.0) (GreaterEqual ServicePackLevel 1)))"},
    {"empty list", L"", "_"},
};

TEST(ParseTest, Table) {
  for (const auto& c : kParseCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Describe(Parse(Tokenize(c.text))), c.tree);
  }
}

// A tree too deep to evaluate in a small stack is refused while it is built, for every construct:
// parentheses, and long chains of one operator, which build a tree as deep as they are long.
TEST(ParseTest, TreesDeeperThanTheLimitAreRefusedNotOverflowingTheStack) {
  const auto repeat = [](std::wstring_view part, int count) {
    std::wstring text;
    for (int i = 0; i < count; ++i) text += part;
    return text;
  };
  struct Case {
    const char* name;
    std::wstring text;
    bool refused;
  };
  const Case cases[] = {
      {"100,000 opening parentheses", repeat(L"( ", 100000) + L"A", true},
      {"8,000 terms joined by OR", L"VersionNT" + repeat(L" OR VersionNT", 7999), true},
      {"a long == chain", L"A" + repeat(L" == A", 8000), true},
      {"NOT over a deep chain", L"NOT ( A" + repeat(L" AND A", 300) + L" )", true},
      {"the deepest tree allowed", L"A" + repeat(L" OR A", kMaxConditionDepth - 1), false},
      {"one level deeper", L"A" + repeat(L" OR A", kMaxConditionDepth), true},
      {"50 parentheses", repeat(L"( ", 50) + L"A", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.refused) {
      EXPECT_THROW(Parse(Tokenize(c.text)), ConditionError);
    } else {
      EXPECT_NE(Parse(Tokenize(c.text)), nullptr);
    }
  }
}

struct VersionCase {
  const char* name;
  const wchar_t* text;
  VersionValue version;
  std::size_t consumed;
};

const VersionCase kVersionCases[] = {
    {"two fields", L"v6.2", MakeVersion(6, 2, 0, 0), 4},
    {"three fields without v", L"14.29.30153", MakeVersion(14, 29, 30153, 0), 11},
    {"empty field", L"1..2", MakeVersion(1, 0, 2, 0), 4},
    {"fifth field left, its dot taken", L"v1.2.3.4.5", MakeVersion(1, 2, 3, 4), 9},
    {"field wraps at 65536", L"v1.70000", MakeVersion(1, 4464, 0, 0), 8},
    {"stops at other characters", L"6.2abc", MakeVersion(6, 2, 0, 0), 3},
    {"largest fields", L"65535.65535.65535.65535", MakeVersion(65535, 65535, 65535, 65535), 23},
    {"nothing", L"", 0, 0},
    {"upper-case V is not skipped", L"V1", 0, 0},
};

TEST(VersionTest, ParseTable) {
  for (const auto& c : kVersionCases) {
    SCOPED_TRACE(c.name);
    std::size_t position = 0;
    EXPECT_EQ(ParseVersion(c.text, position), c.version);
    EXPECT_EQ(position, c.consumed);
  }
}

TEST(VersionTest, ParseFromPosition) {
  std::size_t position = 4;
  EXPECT_EQ(ParseVersion(L"X = v2.5 rest", position), MakeVersion(2, 5, 0, 0));
  EXPECT_EQ(position, 8u);
}

TEST(VersionTest, FormatRoundTrips) {
  EXPECT_EQ(FormatVersion(MakeVersion(14, 29, 30153, 0)), L"v14.29.30153.0");
  EXPECT_EQ(FormatVersion(MakeVersion(65535, 0, 65535, 1)), L"v65535.0.65535.1");
  EXPECT_EQ(FormatVersion(0), L"v0.0.0.0");
  for (VersionValue v : {MakeVersion(1, 2, 3, 4), MakeVersion(10, 0, 19045, 0), ~VersionValue{0}}) {
    EXPECT_EQ(ParseVersion(FormatVersion(v)), v);
  }
}

TEST(DisplayTextTest, Table) {
  EXPECT_EQ(DisplayText(Token{}), L"(none)");
  EXPECT_EQ(DisplayText(Token::Operator(TokenKind::And)), L"(none)");
  EXPECT_EQ(DisplayText(Token::Text(TokenKind::Property, L"Name")), L"Name");
  EXPECT_EQ(DisplayText(Token::Text(TokenKind::String, L"")), L"");
  EXPECT_EQ(DisplayText(Token::Integer(-42)), L"-42");
  EXPECT_EQ(DisplayText(Token::Integer(2147483647)), L"2147483647");
  EXPECT_EQ(DisplayText(Token::Version(MakeVersion(10, 0, 19045, 0))), L"v10.0.19045.0");
  EXPECT_EQ(DisplayText(Token::Boolean(true)), L"true");
  EXPECT_EQ(DisplayText(Token::Boolean(false)), L"false");
  // A value of a kind that shows no text.
  EXPECT_EQ(DisplayText(Token{TokenKind::Symbol, 5}), L"");
}

TEST(EqualsIgnoreAsciiCaseTest, FoldsOnlyAscii) {
  EXPECT_TRUE(EqualsIgnoreAsciiCase(L"QuIeT", L"quiet"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(L"quiet", L"quie"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase(L"\u00E9", L"\u00C9"));  // é and É stay different
}

}  // namespace
