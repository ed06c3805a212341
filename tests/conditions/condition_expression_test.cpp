#include "condition_expression.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Tevrian::Expression;

struct LoggedStore {
  std::vector<std::wstring> lines;
  CConditionExpression store{[this](std::wstring_view line) { lines.emplace_back(line); }};
};

TEST(PropertyStoreTest, AbsentNameReadsAsBooleanFalse) {
  LoggedStore s;
  s.store.SetProperty(L"VersionNT", Token::Version(MakeVersion(10, 0, 19045, 0)));
  for (const wchar_t* name : {L"Never", L"versionnt", L""}) {
    const Token token = s.store.GetProperty(name);
    EXPECT_EQ(token.kind, TokenKind::Boolean);
    EXPECT_FALSE(token.BooleanValue());
  }
  EXPECT_EQ(s.store.GetProperty(L"VersionNT").VersionValueOf(), MakeVersion(10, 0, 19045, 0));
}

TEST(PropertyStoreTest, SettingTwiceLogsTwiceAndKeepsTheSecond) {
  LoggedStore s;
  s.store.SetProperty(L"X", Token::Integer(1));
  s.store.SetProperty(L"X", Token::Text(TokenKind::String, L"two"));
  EXPECT_EQ(s.lines, (std::vector<std::wstring>{L"Add Property X=1", L"Add Property X=two"}));
  EXPECT_EQ(s.store.GetProperty(L"X").TextValue(), L"two");
}

TEST(PropertyStoreTest, ExitDumpFollowsCodeUnitOrder) {
  LoggedStore s;
  s.store.LogProperties();
  EXPECT_EQ(s.lines, std::vector<std::wstring>{L"Properties"});

  s.store.SetProperty(L"b", Token::Boolean(true));
  s.store.SetProperty(L"B", Token::Text(TokenKind::String, L"x"));
  s.store.SetProperty(L"A", Token::Integer(1));
  s.store.SetProperty(L"AB", Token::Version(MakeVersion(1, 2, 0, 0)));
  s.lines.clear();
  s.store.LogProperties();
  EXPECT_EQ(s.lines, (std::vector<std::wstring>{L"Properties", L"A=1", L"AB=v1.2.0.0", L"B=x", L"b=true"}));
}

TEST(OsCheckFailureMessageTest, StepAndCodeInDecimalAndHex) {
  EXPECT_EQ(OsCheckFailureMessage(1, 126),
            L"想定された Windows OSではありません(1)(126(0x0000007E))。\n実行を中止します。");
  EXPECT_EQ(OsCheckFailureMessage(3, 0xC0000001u),
            L"想定された Windows OSではありません(3)(3221225473(0xC0000001))。\n実行を中止します。");
}

}  // namespace
