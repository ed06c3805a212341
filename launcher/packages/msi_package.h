// An "MsiPackage": a Windows Installer product package installed by msiexec /i.
#pragma once

#include "execute_package.h"

namespace Tevrian {

class CExecuteMsiPackage : public CExecutePackage {
 public:
  using CExecutePackage::CExecutePackage;
  std::wstring GetPackageType() const override { return L"MsiPackage"; }
  bool Execute(const std::wstring& executeFilePath) override;
  bool IsExecute() override;
};

}  // namespace Tevrian
