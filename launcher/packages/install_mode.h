// Whether msiexec /i of a package installs its product afresh, or must be told to reinstall it
// over a copy installed from another package of the same product.
#pragma once

#include <string>

namespace Tevrian {

enum InstallMode {
  // The package database cannot be opened.
  InstallModeNotOpened,
  // The product is not installed, or installed in a newer version.
  InstallModeInstall,
  // Installed from another package in the same or an older version: needs the reinstall properties.
  InstallModeReinstall,
  // Installed from this very package (same package code).
  InstallModeSamePackage,
};

const wchar_t* InstallModeName(InstallMode mode);

// Raises TevMSI::CMsiException when the package opens but has no "ProductCode".
InstallMode GetInstallMode(const std::wstring& packagePath);

}  // namespace Tevrian
