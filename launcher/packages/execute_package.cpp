#include "execute_package.h"

namespace Tevrian {
CExecutePackage::CExecutePackage(JSON::JsonObject entryValue, const Expression::CConditionExpression& properties)
    : entry(std::move(entryValue)), m_properties(properties) {}

bool CExecutePackage::IsExecute() {
  const auto condition = entry.find("ExecuteCondition");
  if (condition == entry.end()) return true;
  return Reading("ExecuteCondition", [&] { return m_properties.CheckCondition(JSON::MemberString(*condition)); });
}

std::wstring CExecutePackage::ConditionOwner(std::string_view member) const {
  const std::wstring name = JSON::DecodeJSONString(member);
  const auto id = entry.find("Id");
  std::wstring owner = L"the \"" + name + L"\" of package ";
  if (id != entry.end() && id->second.IsString()) owner += L"Id " + id->second.AsString() + L" ";
  return owner + L"(" + m_path + L"." + name + L")";
}

bool CExecutePackage::IsPreRequired() const { return JSON::GetValue(entry, "PreRequired", false); }

std::wstring CExecutePackage::GetId() const { return JSON::GetValue(entry, "Id", L""); }

}  // namespace Tevrian
