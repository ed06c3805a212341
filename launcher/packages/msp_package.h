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

  // The msiexec /update parameters for the patch at `executeFilePath`, as Execute runs them.
  // Uses up a scheduled reboot: the command then asks for the restart.
  std::wstring Parameters(const std::wstring& executeFilePath);
};

}  // namespace Tevrian
