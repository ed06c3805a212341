#include "condition_expression.h"

#include "../shared/text_template.h"
#include "expression.h"
#include "property_searches.h"

namespace Tevrian::Expression {
namespace {

using JSON::JsonObject;

bool Has(const JsonObject& object, std::string_view key) { return object.find(key) != object.end(); }

// "PatchTargets[1].Version" and the like name the member that is wrong.
const JSON::JsonArray& PatchTargets(const JsonObject::value_type& member) {
  return JSON::WithinMember(member.first, [&]() -> const JSON::JsonArray& { return member.second.AsArray(); });
}
const JsonObject& Target(std::size_t index, const JSON::JsonValue& element) {
  return JSON::WithinMember("PatchTargets", [&]() -> const JsonObject& {
    return JSON::WithinElement(index, [&]() -> const JsonObject& { return element.AsObject(); });
  });
}
const std::wstring& TargetString(std::size_t index, const JsonObject& target, std::string_view key) {
  return JSON::WithinMember("PatchTargets", [&]() -> const std::wstring& {
    return JSON::WithinElement(index, [&]() -> const std::wstring& { return JSON::RequiredString(target, key); });
  });
}

VersionValue InstalledVersion(const Token& token) {
  return token.kind == TokenKind::Version ? token.VersionValueOf() : 0;
}

}  // namespace

bool CConditionExpression::IsExecuteMSI(const JsonObject& entry, bool allowEqual) const {
  const std::wstring& productCode = JSON::RequiredString(entry, "ProductCode");
  const VersionValue installed =
      InstalledVersion(Has(entry, "UpgradeCode") ? GetRelatedProductVersion(JSON::RequiredString(entry, "UpgradeCode"))
                                                 : GetInstalledProductVersion(productCode));
  const VersionValue package = ParseVersion(JSON::RequiredString(entry, "Version"));
  Log(FormatText(L"IsExecuteMSI( {0} ):{1} {2} {3}", productCode, FormatVersion(package), allowEqual ? L">=" : L">",
                 FormatVersion(installed)));
  return allowEqual ? package >= installed : package > installed;
}

bool CConditionExpression::IsExecuteMSP(const JsonObject& entry) const {
  const auto targets = entry.find("PatchTargets");
  if (targets == entry.end()) return false;
  std::size_t index = 0;
  for (const JSON::JsonValue& element : PatchTargets(*targets)) {
    const JsonObject& target = Target(index++, element);
    const std::wstring& productCode = TargetString(index - 1, target, "ProductCode");
    const Token installed = GetInstalledProductVersion(productCode);
    if (installed.kind != TokenKind::Version) continue;
    const VersionValue version = ParseVersion(TargetString(index - 1, target, "Version"));
    Log(FormatText(L"IsExecuteMSP( {0} ):{1} == {2}", productCode, FormatVersion(version),
                   FormatVersion(installed.VersionValueOf())));
    if (version == installed.VersionValueOf()) return true;
  }
  return false;
}

bool CConditionExpression::InstalledCondition(const JsonObject& entry) const {
  if (const auto targets = entry.find("PatchTargets"); targets != entry.end()) {
    std::size_t index = 0;
    for (const JSON::JsonValue& element : PatchTargets(*targets)) {
      const JsonObject& target = Target(index, element);
      if (GetInstalledProductVersion(TargetString(index++, target, "ProductCode")).kind == TokenKind::Version) {
        return true;
      }
    }
    return false;
  }
  if (Has(entry, "UpgradeCode")) {
    return GetRelatedProductVersion(JSON::RequiredString(entry, "UpgradeCode")).kind == TokenKind::Version;
  }
  if (Has(entry, "ProductCode")) {
    return GetInstalledProductVersion(JSON::RequiredString(entry, "ProductCode")).kind == TokenKind::Version;
  }
  if (Has(entry, "InstalledCondition")) return CheckCondition(JSON::RequiredString(entry, "InstalledCondition"));
  return false;
}

}  // namespace Tevrian::Expression
