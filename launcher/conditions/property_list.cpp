#include "property_list.h"

#include "expression.h"

namespace Tevrian::Expression {

void AppendPropertyList(std::wstring& text, const PropertyMap& properties) {
  if (properties.empty()) return;
  text += L'\n';
  for (const auto& [name, token] : properties) {
    text += L'\n';
    text += name;
    text += L'=';
    text += DisplayText(token);
  }
}

}  // namespace Tevrian::Expression
