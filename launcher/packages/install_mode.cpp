#include "install_mode.h"

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include "../installer/msi_api.h"
#include "../installer/msi_handle.h"
#include "../installer/text.h"
#include "install_mode_version.h"

namespace Tevrian {
namespace {

// A value of an installed product; empty when the installer has none.
std::wstring InstalledProductInfo(const std::wstring& productCode, const wchar_t* name) {
  const auto getInfo = TevMSI::Msi().GetProductInfo;
  if (!getInfo) return {};
  std::wstring value(64, L'\0');
  DWORD size = static_cast<DWORD>(value.size());
  UINT result = getInfo(productCode.c_str(), name, value.data(), &size);
  if (result == ERROR_MORE_DATA) {
    // Asked once more with the size the installer reported.
    value.assign(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    result = getInfo(productCode.c_str(), name, value.data(), &size);
  }
  if (result != ERROR_SUCCESS) return {};
  value.resize(size);
  return value;
}

constexpr UINT kRevisionNumber = 9;  // PID_REVNUMBER

// The summary information's revision number, which holds the package code.
std::wstring PackageCode(const TevMSI::CMsiDatabase& database) {
  TevMSI::CMsiSummaryInfo summary;
  if (!summary.Open(database, 0)) return {};
  UINT dataType = 0;
  INT integer = 0;
  FILETIME fileTime{};
  std::wstring text;
  if (!summary.GetProperty(kRevisionNumber, dataType, integer, fileTime, text)) return {};
  return text;
}

}  // namespace

const wchar_t* InstallModeName(InstallMode mode) {
  switch (mode) {
    case InstallModeNotOpened:
      return L"NotOpened";
    case InstallModeInstall:
      return L"Install";
    case InstallModeReinstall:
      return L"Reinstall";
    case InstallModeSamePackage:
      return L"SamePackage";
  }
  return L"?";
}

InstallMode GetInstallMode(const std::wstring& packagePath) {
  TevMSI::CMsiDatabase database;
  if (!database.Open(packagePath, MSIDBOPEN_READONLY)) return InstallModeNotOpened;
  const std::wstring productCode = database.GetProperty(L"ProductCode");

  const auto queryState = TevMSI::Msi().QueryProductState;
  const INSTALLSTATE state = queryState ? queryState(productCode.c_str()) : INSTALLSTATE_UNKNOWN;
  // Absent, advertised only, or a state the installer could not tell.
  if (state <= INSTALLSTATE_ABSENT) return InstallModeInstall;

  const std::wstring packageCode = PackageCode(database);
  const std::wstring installedPackageCode = InstalledProductInfo(productCode, L"PackageCode");
  if (TevMSI::CompareNoCase(packageCode, installedPackageCode) == 0) return InstallModeSamePackage;

  const std::wstring packageVersion = database.GetProperty(L"ProductVersion");
  const std::wstring installedVersion = InstalledProductInfo(productCode, L"VersionString");
  return CompareInstalledVersion(installedVersion, packageVersion) > 0 ? InstallModeInstall : InstallModeReinstall;
}

}  // namespace Tevrian
