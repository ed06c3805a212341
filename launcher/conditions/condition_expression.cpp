#include "condition_expression.h"

#include "../app/text_template.h"
#include "expression.h"

namespace Tevrian::Expression {

CConditionExpression::CConditionExpression(LogSink log) : m_log(std::move(log)) {}

Token CConditionExpression::GetProperty(const std::wstring& name) const {
  const auto it = m_properties.find(name);
  return it != m_properties.end() ? it->second : Token::Boolean(false);
}

void CConditionExpression::SetProperty(const std::wstring& name, Token token) {
  Log(L"Add Property " + name + L"=" + DisplayText(token));
  m_properties[name] = std::move(token);
}

void CConditionExpression::LogProperties() const {
  Log(L"Properties");
  for (const auto& [name, token] : m_properties) Log(name + L"=" + DisplayText(token));
}

std::wstring OsCheckFailureMessage(int step, std::uint32_t error) {
  return FormatText(L"想定された Windows OSではありません({0})({1}(0x{1:08X}))。\n実行を中止します。", step, error);
}

}  // namespace Tevrian::Expression
