#include "condition_expression.h"

#include "../app/text_template.h"
#include "expression.h"
#include "property_searches.h"

namespace Tevrian::Expression {
namespace {

using JSON::JsonObject;

bool Has(const JsonObject& object, std::string_view key) { return object.find(key) != object.end(); }

VersionValue InstalledVersion(const Token& token) {
  return token.kind == TokenKind::Version ? token.VersionValueOf() : 0;
}

}  // namespace

bool CConditionExpression::IsExecuteMSI(const JsonObject& entry, bool allowEqual) const {
  const std::wstring& productCode = JSON::RequiredMember(entry, "ProductCode").AsString();
  const VersionValue installed = InstalledVersion(
      Has(entry, "UpgradeCode") ? GetRelatedProductVersion(JSON::RequiredMember(entry, "UpgradeCode").AsString())
                                : GetInstalledProductVersion(productCode));
  const VersionValue package = ParseVersion(JSON::RequiredMember(entry, "Version").AsString());
  Log(FormatText(L"IsExecuteMSI( {0} ):{1} {2} {3}", productCode, FormatVersion(package), allowEqual ? L">=" : L">",
                 FormatVersion(installed)));
  return allowEqual ? package >= installed : package > installed;
}

bool CConditionExpression::IsExecuteMSP(const JsonObject& entry) const {
  const auto targets = entry.find("PatchTargets");
  if (targets == entry.end()) return false;
  for (const JSON::JsonValue& element : targets->second.AsArray()) {
    const JsonObject& target = element.AsObject();
    const std::wstring& productCode = JSON::RequiredMember(target, "ProductCode").AsString();
    const Token installed = GetInstalledProductVersion(productCode);
    if (installed.kind != TokenKind::Version) continue;
    const VersionValue version = ParseVersion(JSON::RequiredMember(target, "Version").AsString());
    Log(FormatText(L"IsExecuteMSP( {0} ):{1} == {2}", productCode, FormatVersion(version),
                   FormatVersion(installed.VersionValueOf())));
    if (version == installed.VersionValueOf()) return true;
  }
  return false;
}

bool CConditionExpression::InstalledCondition(const JsonObject& entry) const {
  if (const auto targets = entry.find("PatchTargets"); targets != entry.end()) {
    for (const JSON::JsonValue& element : targets->second.AsArray()) {
      if (GetInstalledProductVersion(JSON::RequiredMember(element.AsObject(), "ProductCode").AsString()).kind ==
          TokenKind::Version) {
        return true;
      }
    }
    return false;
  }
  if (Has(entry, "UpgradeCode")) {
    return GetRelatedProductVersion(JSON::RequiredMember(entry, "UpgradeCode").AsString()).kind == TokenKind::Version;
  }
  if (Has(entry, "ProductCode")) {
    return GetInstalledProductVersion(JSON::RequiredMember(entry, "ProductCode").AsString()).kind == TokenKind::Version;
  }
  if (Has(entry, "InstalledCondition"))
    return CheckCondition(JSON::RequiredMember(entry, "InstalledCondition").AsString());
  return false;
}

}  // namespace Tevrian::Expression
