#include "execute_package.h"

#include <windows.h>

#include "../installer/msi_exception.h"

namespace Tevrian {
namespace {

// Installing is not part of this build yet: a package must never report an install it did not do.
[[noreturn]] void NotBuilt(const std::wstring& type) {
  throw TevMSI::CMsiException(ERROR_CALL_NOT_IMPLEMENTED, type + L" packages cannot be installed by this build.");
}

// The type word first, then the Id: a package whose type word matches is never asked its Id.
bool Matches(const CExecutePackage& package, const std::wstring& name) {
  return package.GetPackageType() == name || package.Reading("Id", [&] { return package.GetId(); }) == name;
}

}  // namespace

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

bool CExecuteExePackage::Execute(const std::wstring&) { NotBuilt(GetPackageType()); }
bool CExecuteMsiPackage::Execute(const std::wstring&) { NotBuilt(GetPackageType()); }
bool CExecuteMspPackage::Execute(const std::wstring&) { NotBuilt(GetPackageType()); }

bool CExecuteMsiPackage::IsExecute() {
  // A package that is not a prerequisite runs again over an equal installed version.
  if (!Reading("", [&] { return m_properties.IsExecuteMSI(entry, !IsPreRequired()); })) return false;
  return CExecutePackage::IsExecute();
}

bool CExecuteMspPackage::IsExecute() {
  if (!Reading("", [&] { return m_properties.IsExecuteMSP(entry); })) return false;
  return CExecutePackage::IsExecute();
}

void CPackageChain::Load(const JSON::JsonArray& launchList) {
  m_packages.clear();
  std::size_t index = 0;
  for (const JSON::JsonValue& element : launchList) {
    const std::size_t position = index++;
    const std::wstring path = L"LaunchList[" + std::to_wstring(position) + L"]";
    const JSON::JsonObject& object = JSON::WithinElement(position, [&]() -> const JSON::JsonObject& {
      const JSON::JsonObject& read = element.AsObject();
      // An empty element or an unknown type word names no package: the manifest is malformed.
      if (read.empty()) throw JSON::BadAnyCast(L"the element names no package type");
      return read;
    });
    const auto& [type, value] = *object.begin();
    JSON::JsonObject entry =
        JSON::WithinElement(position, [&] { return JSON::WithinMember(type, [&] { return value.AsObject(); }); });
    std::unique_ptr<CExecutePackage> package;
    if (type == "ExePackage") {
      package = std::make_unique<CExecuteExePackage>(std::move(entry), m_properties);
    } else if (type == "MsiPackage") {
      package = std::make_unique<CExecuteMsiPackage>(std::move(entry), m_properties);
    } else if (type == "MspPackage") {
      package = std::make_unique<CExecuteMspPackage>(std::move(entry), m_properties);
    } else {
      throw JSON::BadAnyCast(L"\"" + JSON::DecodeJSONString(type) +
                             L"\" is no package type (ExePackage, MsiPackage or MspPackage)")
          .At(path);
    }
    package->SetPath(path + L"." + JSON::DecodeJSONString(type));
    package->SetHost(m_host);
    package->CheckFileNames();
    package->execute = package->IsExecute();
    m_packages.push_back(std::move(package));
  }
}

CExecutePackage* CPackageChain::FindExecutePackage(const std::wstring& name) const {
  for (const auto& package : m_packages) {
    if (Matches(*package, name) && package->execute) return package.get();
  }
  return nullptr;
}

bool CPackageChain::QueryTargetPackage(const std::wstring& name, bool& installed) const {
  installed = false;
  if (FindExecutePackage(name)) return true;
  for (const auto& package : m_packages) {
    if (Matches(*package, name)) {
      installed =
          package->Reading("InstalledCondition", [&] { return m_properties.InstalledCondition(package->entry); });
      return false;
    }
  }
  return false;
}

}  // namespace Tevrian
