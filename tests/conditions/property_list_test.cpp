#include "property_list.h"

#include <gtest/gtest.h>

namespace {

using namespace Tevrian::Expression;

TEST(AppendPropertyListTest, EmptyMapLeavesTextAlone) {
  std::wstring text = L"Debug Break\n";
  AppendPropertyList(text, {});
  EXPECT_EQ(text, L"Debug Break\n");
}

TEST(AppendPropertyListTest, ListsPropertiesInNameOrder) {
  PropertyMap properties;
  properties[L"Y"] = Token::Version(MakeVersion(1, 2, 0, 0));
  properties[L"X"] = Token::Integer(5);
  properties[L"a"] = Token::Text(TokenKind::String, L"text");
  std::wstring text = L"head";
  AppendPropertyList(text, properties);
  EXPECT_EQ(text, L"head\n\nX=5\nY=v1.2.0.0\na=text");
}

}  // namespace
