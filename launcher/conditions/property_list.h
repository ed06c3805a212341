#pragma once

#include <string>

#include "token.h"

namespace Tevrian::Expression {

// Appends "\n" and then "\nNAME=value" per property, in map order; an empty map adds nothing.
void AppendPropertyList(std::wstring& text, const PropertyMap& properties);

}  // namespace Tevrian::Expression
