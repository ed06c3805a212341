// The package chain: one object per "LaunchList" entry, each deciding once, when it is built,
// whether it applies to this machine.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../conditions/condition_expression.h"
#include "../json/json_value.h"

namespace Tevrian {

// A package file as the cache will know it; filled when the chain resolves its files.
struct PackageFile {
  std::wstring name;
};

class CExecutePackage {
 public:
  CExecutePackage(JSON::JsonObject entry, const Expression::CConditionExpression& properties);
  virtual ~CExecutePackage() = default;
  CExecutePackage(const CExecutePackage&) = delete;
  CExecutePackage& operator=(const CExecutePackage&) = delete;

  virtual std::wstring GetPackageType() const = 0;
  // Installs the package from its cached executed file; true when the chain may go on.
  virtual bool Execute(const std::wstring& executeFilePath) = 0;
  // The base evaluates "ExecuteCondition" (absent: the package applies).
  virtual bool IsExecute();

  bool IsPreRequired() const;
  std::wstring GetId() const;

  // Where the entry lies in the manifest ("LaunchList[2].MsiPackage"), for errors about it.
  const std::wstring& Path() const { return m_path; }
  void SetPath(std::wstring path) { m_path = std::move(path); }
  // Runs `read` on this package's entry: a wrong member names its full path, a condition that
  // cannot be evaluated names its member and the package.
  template <class Read>
  decltype(auto) Reading(std::string_view member, Read&& read) const {
    try {
      return read();
    } catch (JSON::BadAnyCast& error) {
      error.At(m_path);
      throw;
    } catch (Expression::ConditionError& error) {
      error.Owner(ConditionOwner(member));
      throw;
    }
  }

  JSON::JsonObject entry;
  bool execute = false;
  std::map<std::wstring, PackageFile> files;

 protected:
  // "the "ExecuteCondition" of package Id X (LaunchList[1].ExePackage.ExecuteCondition)"
  std::wstring ConditionOwner(std::string_view member) const;

  const Expression::CConditionExpression& m_properties;
  std::wstring m_path;
};

class CExecuteExePackage : public CExecutePackage {
 public:
  using CExecutePackage::CExecutePackage;
  std::wstring GetPackageType() const override { return L"ExePackage"; }
  bool Execute(const std::wstring& executeFilePath) override;
};

class CExecuteMsiPackage : public CExecutePackage {
 public:
  using CExecutePackage::CExecutePackage;
  std::wstring GetPackageType() const override { return L"MsiPackage"; }
  bool Execute(const std::wstring& executeFilePath) override;
  bool IsExecute() override;
};

class CExecuteMspPackage : public CExecutePackage {
 public:
  using CExecutePackage::CExecutePackage;
  std::wstring GetPackageType() const override { return L"MspPackage"; }
  bool Execute(const std::wstring& executeFilePath) override;
  bool IsExecute() override;
};

class CPackageChain {
 public:
  explicit CPackageChain(const Expression::CConditionExpression& properties) : m_properties(properties) {}

  // Rebuilds the chain from "LaunchList". An element that is not an object with a known type
  // word and an object value is a malformed manifest (JSON::BadAnyCast).
  void Load(const JSON::JsonArray& launchList);
  // The first applicable package whose type word, else Id, equals `name`.
  CExecutePackage* FindExecutePackage(const std::wstring& name) const;
  // True when a package for `name` applies; otherwise `installed` tells whether the first package
  // of that name is installed already.
  bool QueryTargetPackage(const std::wstring& name, bool& installed) const;

  const std::vector<std::unique_ptr<CExecutePackage>>& Packages() const { return m_packages; }

 private:
  const Expression::CConditionExpression& m_properties;
  std::vector<std::unique_ptr<CExecutePackage>> m_packages;
};

}  // namespace Tevrian
