// An "ExePackage": an executable installer run with the entry's command line, its exit code
// mapped through the entry's "ExitCode" table.
#pragma once

#include "execute_package.h"

namespace Tevrian {

class CExecuteExePackage : public CExecutePackage {
 public:
  using CExecutePackage::CExecutePackage;
  std::wstring GetPackageType() const override { return L"ExePackage"; }
  bool Execute(const std::wstring& executeFilePath) override;
};

}  // namespace Tevrian
