// An "MspPackage": a Windows Installer patch applied by msiexec /update.
#pragma once

#include "execute_package.h"

namespace Tevrian {

class CExecuteMspPackage : public CExecutePackage {
 public:
  using CExecutePackage::CExecutePackage;
  std::wstring GetPackageType() const override { return L"MspPackage"; }
  bool Execute(const std::wstring& executeFilePath) override;
  bool IsExecute() override;
};

}  // namespace Tevrian
