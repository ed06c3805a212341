// An "MsiPackage": a Windows Installer product package installed by msiexec /i.
#pragma once

#include "execute_package.h"
#include "msi_exec_command.h"

namespace Tevrian {

class CExecuteMsiPackage : public CExecutePackage {
 public:
  using CExecutePackage::CExecutePackage;
  std::wstring GetPackageType() const override { return L"MsiPackage"; }
  bool Execute(const std::wstring& executeFilePath) override;
  bool IsExecute() override;

  // The command line for the package at `executeFilePath`, as Execute runs it. Uses up a
  // scheduled reboot: the command then asks for the restart.
  void BuildCommand(CMsiExecCommand& command, const std::wstring& executeFilePath);
};

}  // namespace Tevrian
