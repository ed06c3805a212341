#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "condition_expression.h"
#include "../support/describe.h"

namespace {

using namespace Tevrian::Expression;

struct Store {
  std::vector<std::wstring> lines;
  CConditionExpression store{[this](std::wstring_view line) { lines.emplace_back(line); }};

  Store& Set(const wchar_t* name, Token token) {
    store.SetProperty(name, std::move(token));
    lines.clear();
    return *this;
  }
};

Token Text(const wchar_t* text) { return Token::Text(TokenKind::String, text); }

struct ConditionCase {
  const char* name;
  const wchar_t* condition;
  bool answer;
};

const ConditionCase kConditionCases[] = {
    {"newer Windows by build", L"VersionNT > v6.2 OR (VersionNT == v6.1 AND ServicePackLevel >= 1)", true},
    {"version beats any integer by kind", L"VersionNT > 6", true},
    {"text read as a version", L"NetText == v4.8.3761.0", true},
    {"text read as a version, reversed", L"v4.8.3761.0 == NetText", true},
    {"numeric text is below the integer", L"Release < 528040", true},
    {"numeric text never equals the integer", L"Release == 528040", false},
    {"undefined is false", L"Undefined", false},
    {"NOT undefined is true", L"NOT Undefined", true},
    {"undefined equals itself", L"Undefined == Undefined", true},
    {"undefined compares above integers", L"Undefined > 528040", true},
    {"guarded comparison", L"NOT Undefined OR Undefined < 528040", true},
    {"quoted literals by code unit", L"\"abc\" < \"abd\"", true},
    {"upper case first", L"\"B\" < \"a\"", true},
    {"prefix is smaller", L"\"ab\" < \"abc\"", true},
    {"version fields", L"v1.2.3.4 < v1.2.3.10", true},
    {"zero version is false", L"v0.0.0.0", false},
    {"negative below positive", L"Minus1 < 2147483647", true},
    {"empty text is false", L"Empty", false},
    {"zero is false", L"Zero", false},
    {"names are case-sensitive", L"versionnt", false},
    {"AND and OR left to right", L"Zero OR Minus1 AND Undefined", false},
    {"booleans order false first", L"Undefined < Flag", true},
    {"not-equal", L"Release != \"528040\"", false},
    {"trailing tokens ignored", L"Flag Zero", true},
};

TEST(CheckConditionTest, Table) {
  Store s;
  s.Set(L"VersionNT", Token::Version(MakeVersion(6, 2, 9200, 0)))
      .Set(L"ServicePackLevel", Token::Integer(0))
      .Set(L"NetText", Text(L"4.8.03761"))
      .Set(L"Release", Text(L"528040"))
      .Set(L"Minus1", Token::Integer(-1))
      .Set(L"Empty", Text(L""))
      .Set(L"Zero", Token::Integer(0))
      .Set(L"Flag", Token::Boolean(true));
  for (const auto& c : kConditionCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s.store.CheckCondition(c.condition), c.answer);
  }
}

TEST(CheckConditionTest, SevenSixteenWithoutServicePackIsFalse) {
  Store s;
  s.Set(L"VersionNT", Token::Version(MakeVersion(6, 1, 7601, 0))).Set(L"ServicePackLevel", Token::Integer(1));
  EXPECT_FALSE(s.store.CheckCondition(L"VersionNT > v6.2 OR (VersionNT == v6.1 AND ServicePackLevel >= 1)"));
}

TEST(CheckConditionTest, LogsTheTextAndTheAnswer) {
  Store s;
  EXPECT_TRUE(s.store.CheckCondition(L"NOT  X"));
  EXPECT_EQ(s.lines, std::vector<std::wstring>{L"CheckCondition( NOT  X ):true"});
  s.lines.clear();
  EXPECT_TRUE(s.store.CheckCondition(L""));
  EXPECT_TRUE(s.store.CheckCondition(L"   "));
  EXPECT_TRUE(s.lines.empty());
}

// A condition that cannot be given a value is an error that says what is wrong and where, never a
// silent answer; nothing is logged for it. The right operand is evaluated even when the left one
// decides the answer, so its fault surfaces too.
TEST(CheckConditionTest, ConditionsThatCannotBeEvaluatedAreErrorsThatNameTheFault) {
  struct Case {
    const char* name;
    const wchar_t* condition;
    const wchar_t* description;
  };
  const Case cases[] = {
      {"operand missing at the end", L"A AND",
       L"an operand is missing at the end of the condition in the condition \"A AND\""},
      {"leading infix operator", L"AND A", L"an operand is missing at character 1 in the condition \"AND A\""},
      {"NOT takes no NOT", L"NOT NOT A", L"an operand is missing at character 5 in the condition \"NOT NOT A\""},
      {"touching parentheses are a symbol", L"((A))",
       L"an operand is missing at character 1 in the condition \"((A))\""},
      {"comparison without right side", L"A == ",
       L"an operand is missing at the end of the condition in the condition \"A == \""},
      {"empty parentheses", L"( )", L"an operand is missing at character 3 in the condition \"( )\""},
      {"fault on the right of a decided AND", L"Zero AND ( A AND )",
       L"an operand is missing at character 18 in the condition \"Zero AND ( A AND )\""},
      {"integer beyond 32 bits", L"X == 2147483648",
       L"the integer at character 6 is beyond the signed 32-bit range in the condition \"X == 2147483648\""},
  };
  Store s;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      s.store.CheckCondition(c.condition);
      ADD_FAILURE() << "no error";
    } catch (const ConditionError& error) {
      EXPECT_EQ(error.Describe(), c.description);
    }
  }
  EXPECT_TRUE(s.lines.empty());
}

// Long conditions, and the texts quoted in their errors, stay short in what they report.
TEST(CheckConditionTest, ErrorAndLogQuoteAtMostAFewHundredCharacters) {
  Store s;
  std::wstring condition = L"A OR";
  for (int i = 0; i < 100; ++i) condition += L" A OR";
  try {
    s.store.CheckCondition(condition);
    ADD_FAILURE() << "no error";
  } catch (const ConditionError& error) {
    EXPECT_LT(error.Describe().size(), 400u);
    EXPECT_NE(error.Describe().find(L"...(204 more characters)"), std::wstring::npos)
        << TevTest::Narrow(error.Describe());
  }
  condition += L" A";
  EXPECT_FALSE(s.store.CheckCondition(condition));
  ASSERT_EQ(s.lines.size(), 1u);
  EXPECT_LT(s.lines[0].size(), 400u);
}

TEST(CompareTest, OrdersEveryWay) {
  // Each pair is a < b: check all six relations both ways.
  const std::pair<Token, Token> ordered[] = {
      {Token{}, Text(L"")},
      {Text(L"zzz"), Token::Integer(-5)},
      {Token::Integer(-5), Token::Integer(3)},
      {Token::Integer(2147483647), Token::Version(0)},
      {Token::Version(MakeVersion(1, 2, 3, 4)), Token::Version(MakeVersion(1, 2, 3, 10))},
      {Text(L"1.2"), Token::Version(MakeVersion(1, 3, 0, 0))},
      {Token::Version(~0ull), Token::Boolean(false)},
      {Token::Boolean(false), Token::Boolean(true)},
  };
  for (const auto& [a, b] : ordered) {
    EXPECT_LT(Compare(a, b), 0);
    EXPECT_GT(Compare(b, a), 0);
    EXPECT_EQ(Compare(a, a), 0);
    EXPECT_EQ(Compare(b, b), 0);
  }
}

TEST(IsTrueTest, Table) {
  EXPECT_TRUE(IsTrue(Text(L"x")));
  EXPECT_FALSE(IsTrue(Text(L"")));
  EXPECT_TRUE(IsTrue(Token::Integer(-1)));
  EXPECT_FALSE(IsTrue(Token::Version(0)));
  EXPECT_TRUE(IsTrue(Token::Version(1)));
  EXPECT_FALSE(IsTrue(Token{TokenKind::String, {}}));
  EXPECT_FALSE(IsTrue(Token::Text(TokenKind::Property, L"x")));
  EXPECT_FALSE(IsTrue(Token{}));
}

struct ResolveCase {
  const char* name;
  const wchar_t* text;
  const wchar_t* answer;
  std::vector<std::wstring> log;
};

TEST(ResolveTest, Table) {
  Store s;
  s.Set(L"PackageName", Text(L"Demo"))
      .Set(L"A", Token::Integer(1))
      .Set(L"B", Token::Boolean(true))
      .Set(L"X", Text(L"x"))
      .Set(L"V", Token::Version(MakeVersion(1, 2, 0, 0)))
      .Set(L"R", Text(L"[A]"));
  const ResolveCase cases[] = {
      {"one reference",
       L"「[PackageName]」をインストール",
       L"「Demo」をインストール",
       {L"Resolve 「[PackageName]」をインストール -> 「Demo」をインストール"}},
      {"two references, innermost rest first",
       L"[A][B]",
       L"1true",
       {L"Resolve [B] -> true", L"Resolve [A][B] -> 1true"}},
      {"escaped reference keeps its backslash", L"\\[X] [X]", L"\\[X] x", {L"Resolve \\[X] [X] -> \\[X] x"}},
      {"escaped only", L"\\[X]", L"\\[X]", {}},
      {"unclosed", L"a [b", L"a [b", {}},
      {"bracket last", L"a [", L"a [", {}},
      {"missing property disappears", L"[Absent] x", L" x", {L"Resolve [Absent] x ->  x"}},
      {"version", L"[V]", L"v1.2.0.0", {L"Resolve [V] -> v1.2.0.0"}},
      {"empty name", L"[]", L"", {L"Resolve [] -> "}},
      {"inserted value is not resolved again", L"[R]", L"[A]", {L"Resolve [R] -> [A]"}},
      {"empty text", L"", L"", {}},
      {"name holding a bracket", L"[[X]", L"", {L"Resolve [[X] -> "}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    s.lines.clear();
    EXPECT_EQ(s.store.Resolve(c.text), c.answer);
    EXPECT_EQ(s.lines, c.log);
  }
}

// Substitution runs in fixed stack space, and each line quotes a bounded part of the text, so the
// log of a text grows with its length, not with its length times its references.
TEST(ResolveTest, ManyReferencesStayWithinStackAndLogBounds) {
  Store s;
  s.Set(L"A", Text(L"x"));
  std::wstring pairs;
  for (int i = 0; i < 10000; ++i) pairs += L"[]";
  EXPECT_EQ(s.store.Resolve(pairs), L"");
  EXPECT_EQ(s.lines.size(), 10000u);

  s.lines.clear();
  std::wstring text;
  for (int i = 0; i < 1000; ++i) text += L"[A]" + std::wstring(197, L'.');
  const std::wstring answer = s.store.Resolve(text);
  ASSERT_EQ(answer.size(), 1000u * 198);
  EXPECT_EQ(answer.substr(0, 3), L"x..");
  ASSERT_EQ(s.lines.size(), 1000u);
  std::size_t logged = 0;
  for (const auto& line : s.lines) logged += line.size();
  EXPECT_LT(logged, 1000u * 700);
  // The last line is the whole text's, shortened, with how much was left out.
  EXPECT_EQ(s.lines.back().substr(0, 12), L"Resolve [A].");
  EXPECT_NE(s.lines.back().find(L"...(199700 more characters) -> x..."), std::wstring::npos);
  EXPECT_NE(s.lines.back().find(L"...(197700 more characters)"), std::wstring::npos);
}

}  // namespace
