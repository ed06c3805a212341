// What the manifest's property definitions look up on the machine: registry values and installed
// Windows Installer products. An absence is an answer (a TokenKind::None token), not an error.
#pragma once

#include <string>

#include "../json/json_value.h"
#include "token.h"

namespace Tevrian::Expression {

Token SearchRegistry(const JSON::JsonObject& search);
Token SearchProduct(const JSON::JsonObject& search);
Token GetInstalledProductVersion(const std::wstring& productCode);
Token GetRelatedProductVersion(const std::wstring& upgradeCode);
// The installed product of the family with the highest version; empty when there is none.
std::wstring FindRelatedProduct(const std::wstring& upgradeCode);
// An installed product's property ("VersionString", "ProductName"); empty on any failure.
std::wstring GetProductInfo(const std::wstring& productCode, const std::wstring& property);

}  // namespace Tevrian::Expression
