#include "execute_package.h"

#include <windows.h>

#include "../installer/msi_exception.h"

namespace Tevrian {
namespace {

// Installing is not part of this build yet: a package must never report an install it did not do.
[[noreturn]] void NotBuilt(const std::wstring& type) {
  throw TevMSI::CMsiException(ERROR_CALL_NOT_IMPLEMENTED, type + L" packages cannot be installed by this build.");
}

bool Matches(const CExecutePackage& package, const std::wstring& name) {
  return package.GetPackageType() == name || package.GetId() == name;
}

}  // namespace

CExecutePackage::CExecutePackage(JSON::JsonObject entryValue, const Expression::CConditionExpression& properties)
    : entry(std::move(entryValue)), m_properties(properties) {}

bool CExecutePackage::IsExecute() {
  const auto condition = entry.find("ExecuteCondition");
  if (condition == entry.end()) return true;
  return m_properties.CheckCondition(condition->second.AsString());
}

bool CExecutePackage::IsPreRequired() const { return JSON::GetValue(entry, "PreRequired", false); }

std::wstring CExecutePackage::GetId() const { return JSON::GetValue(entry, "Id", L""); }

bool CExecuteExePackage::Execute(const std::wstring&) { NotBuilt(GetPackageType()); }
bool CExecuteMsiPackage::Execute(const std::wstring&) { NotBuilt(GetPackageType()); }
bool CExecuteMspPackage::Execute(const std::wstring&) { NotBuilt(GetPackageType()); }

bool CExecuteMsiPackage::IsExecute() {
  // A package that is not a prerequisite runs again over an equal installed version.
  if (!m_properties.IsExecuteMSI(entry, !IsPreRequired())) return false;
  return CExecutePackage::IsExecute();
}

bool CExecuteMspPackage::IsExecute() {
  if (!m_properties.IsExecuteMSP(entry)) return false;
  return CExecutePackage::IsExecute();
}

void CPackageChain::Load(const JSON::JsonArray& launchList) {
  m_packages.clear();
  for (const JSON::JsonValue& element : launchList) {
    const JSON::JsonObject& object = element.AsObject();
    // An empty element or an unknown type word names no package: the manifest is malformed.
    if (object.empty()) throw JSON::BadAnyCast();
    const auto& [type, value] = *object.begin();
    JSON::JsonObject entry = value.AsObject();
    std::unique_ptr<CExecutePackage> package;
    if (type == "ExePackage") {
      package = std::make_unique<CExecuteExePackage>(std::move(entry), m_properties);
    } else if (type == "MsiPackage") {
      package = std::make_unique<CExecuteMsiPackage>(std::move(entry), m_properties);
    } else if (type == "MspPackage") {
      package = std::make_unique<CExecuteMspPackage>(std::move(entry), m_properties);
    } else {
      throw JSON::BadAnyCast();
    }
    package->execute = package->IsExecute();
    m_packages.push_back(std::move(package));
  }
}

CExecutePackage* CPackageChain::FindExecutePackage(const std::wstring& name) const {
  for (const auto& package : m_packages) {
    if (package->execute && Matches(*package, name)) return package.get();
  }
  return nullptr;
}

bool CPackageChain::QueryTargetPackage(const std::wstring& name, bool& installed) const {
  installed = false;
  if (FindExecutePackage(name)) return true;
  for (const auto& package : m_packages) {
    if (Matches(*package, name)) {
      installed = m_properties.InstalledCondition(package->entry);
      return false;
    }
  }
  return false;
}

}  // namespace Tevrian
