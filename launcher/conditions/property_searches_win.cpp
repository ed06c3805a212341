#include "property_searches.h"

#include <windows.h>

#include "condition_expression.h"
#include "expression.h"
#include "msi_api.h"
#include "registry.h"
#include "text.h"

namespace Tevrian::Expression {
namespace {

using JSON::JsonObject;
using JSON::JsonValue;

bool RootKey(const std::wstring& name, HKEY& root) {
  if (name == L"HKLM") {
    root = HKEY_LOCAL_MACHINE;
  } else if (name == L"HKCU") {
    root = HKEY_CURRENT_USER;
  } else if (name == L"HKCR") {
    root = HKEY_CLASSES_ROOT;
  } else if (name == L"HKU") {
    root = HKEY_USERS;
  } else {
    return false;
  }
  return true;
}

Token ConstantValue(const JsonValue& value) {
  if (value.IsString()) return Token::Text(TokenKind::String, value.AsString());
  if (value.IsInteger()) return Token::Integer(value.AsInteger());
  if (value.IsBoolean()) return Token::Boolean(value.AsBoolean());
  return Token{};
}

}  // namespace

// A name that the registry would cut at a NUL reads another key or value than the manifest says.
const std::wstring& RegistryName(std::string_view member, const std::wstring& text) {
  return JSON::WithinMember(member, [&]() -> const std::wstring& { return JSON::WithoutNul(text); });
}

Token SearchRegistry(const JsonObject& search) {
  HKEY root = nullptr;
  if (!RootKey(JSON::RequiredString(search, "Root"), root)) return Token{};
  const std::wstring& key = RegistryName("Key", JSON::RequiredString(search, "Key"));
  const bool existsMode = JSON::RequiredString(search, "Result") == L"exists";
  const REGSAM access = JSON::GetValue(search, "Win64", false) ? (KEY_READ | KEY_WOW64_64KEY) : KEY_READ;

  TevMSI::CTevRegKey opened;
  if (!opened.Open(root, key, access)) return existsMode ? Token::Boolean(false) : Token{};
  TevMSI::CTevRegValue value = opened.Value(RegistryName("Value", JSON::GetValue(search, "Value", L"")));
  const DWORD type = value.GetType();
  if (existsMode) return Token::Boolean(type != 0);
  switch (type) {
    case REG_SZ:
      return Token::Text(TokenKind::String, value.GetString());
    case REG_EXPAND_SZ:
      return Token::Text(TokenKind::String, TevMSI::ExpandEnvironment(value.GetString()));
    case REG_DWORD:
      return Token::Integer(static_cast<std::int32_t>(value.GetDWORD()));
    default:
      return Token{};
  }
}

Token SearchProduct(const JsonObject& search) {
  if (search.find("UpgradeCode") != search.end())
    return GetRelatedProductVersion(JSON::RequiredString(search, "UpgradeCode"));
  if (search.find("ProductCode") != search.end())
    return GetInstalledProductVersion(JSON::RequiredString(search, "ProductCode"));
  return Token{};
}

std::wstring GetProductInfo(const std::wstring& productCode, const std::wstring& property) {
  const auto getInfo = TevMSI::Msi().GetProductInfo;
  if (!getInfo) return {};
  DWORD length = 0;
  UINT result = getInfo(productCode.c_str(), property.c_str(), nullptr, &length);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return {};
  std::wstring text(length, L'\0');
  ++length;
  result = getInfo(productCode.c_str(), property.c_str(), text.data(), &length);
  if (result != ERROR_SUCCESS) return {};
  text.resize(length);
  return text;
}

Token GetInstalledProductVersion(const std::wstring& productCode) {
  const auto queryState = TevMSI::Msi().QueryProductState;
  // Above 2 is installed (INSTALLSTATE_DEFAULT); advertised (1) and absent (2) are not.
  if (!queryState || queryState(productCode.c_str()) <= INSTALLSTATE_ABSENT) return Token{};
  const std::wstring version = GetProductInfo(productCode, L"VersionString");
  if (version.empty()) return Token{};
  return Token::Version(ParseVersion(version));
}

std::wstring FindRelatedProduct(const std::wstring& upgradeCode) {
  const auto enumRelated = TevMSI::Msi().EnumRelatedProducts;
  if (!enumRelated) return {};
  VersionValue best = 0;
  std::wstring chosen;
  for (DWORD index = 0;; ++index) {
    wchar_t productCode[39] = {};
    if (enumRelated(upgradeCode.c_str(), 0, index, productCode) != ERROR_SUCCESS) break;
    const VersionValue version = ParseVersion(GetProductInfo(productCode, L"VersionString"));
    if (best == 0 || version > best) {
      best = version;
      chosen = productCode;
    }
  }
  return chosen;
}

Token GetRelatedProductVersion(const std::wstring& upgradeCode) {
  const std::wstring productCode = FindRelatedProduct(upgradeCode);
  return productCode.empty() ? Token{} : GetInstalledProductVersion(productCode);
}

void CConditionExpression::AddPropertyDefinition(const std::string& name, const JsonValue& definition) {
  const std::wstring propertyName = JSON::DecodeJSONString(name);
  Token result;
  if (definition.IsObject() && !definition.AsObject().empty()) {
    const auto& [type, value] = *definition.AsObject().begin();
    if (type == "ProductSearch") {
      result = JSON::WithinMember(type, [&] { return SearchProduct(value.AsObject()); });
    } else if (type == "RegistrySearch") {
      result = JSON::WithinMember(type, [&] { return SearchRegistry(value.AsObject()); });
    } else if (type == "Value") {
      result = ConstantValue(value);
    }
  }
  if (result.kind == TokenKind::None) {
    // A search that found nothing leaves the property undefined; the log still says so.
    Log(L"Add Property " + propertyName + L"=" + DisplayText(result));
    return;
  }
  SetProperty(propertyName, std::move(result));
}

}  // namespace Tevrian::Expression
