#include "msp_package.h"

#include <windows.h>

#include <shlwapi.h>

#include "../installer/msi_exception.h"
#include "../installer/registry.h"
#include "../shared/text_template.h"
#include "msi_exec_command.h"

namespace Tevrian {
namespace {

// msiexec.exe in the installer's own folder when the registry names one; else the system's.
std::wstring MsiExecProgram() {
  std::wstring location;
  TevMSI::CTevRegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer", KEY_READ)) {
    location = key.Value(L"InstallLocation").GetString();
  }
  wchar_t program[MAX_PATH] = {};
  if (location.empty() || !PathCombineW(program, location.c_str(), L"msiexec.exe")) {
    const std::wstring system = SystemMsiexecPath();
    // Never a bare name, which the shell would look for in the current folder first.
    if (system.empty()) throw TevMSI::CMsiException(static_cast<std::int32_t>(ERROR_FUNCTION_FAILED));
    return system;
  }
  return program;
}

}  // namespace

std::wstring CExecuteMspPackage::Parameters(const std::wstring& executeFilePath) {
  std::wstring parameters = L"/update \"" + executeFilePath + L"\"";
  if (m_host->IsQuiet()) {
    parameters += L" /qn /norestart";
  } else {
    const bool preRequired = IsPreRequired();
    if (preRequired) parameters += L" /norestart";
    if (entry.contains("UILevel")) {
      const std::wstring level =
          UILevelArgument(Reading("UILevel", [&] { return JSON::GetValue(entry, "UILevel", L""); }));
      if (!level.empty()) parameters += L" " + level;
    }
    if (!preRequired) {
      parameters += L" /promptrestart";
      if (m_host->ScheduleReboot()) {
        // The reboot an earlier package asked for happens with this one.
        m_host->SetScheduleReboot(false);
        parameters += L" /forcerestart";
      }
    }
  }
  if (const std::wstring log = PackageInstallerLog(*this, *m_host); !log.empty()) {
    parameters += L" /l*xv \"" + log + L"\" ";
  }
  return parameters;
}

bool CExecuteMspPackage::Execute(const std::wstring& executeFilePath) {
  const std::wstring parameters = Parameters(executeFilePath);
  std::uint32_t exitCode = 0;
  if (!m_host->RunAndWait(exitCode, MsiExecProgram(), parameters, nullptr)) {
    throw TevMSI::CMsiException(static_cast<std::int32_t>(exitCode));
  }
  if (exitCode == 0) return true;
  if (exitCode == ERROR_SUCCESS_REBOOT_REQUIRED) {
    m_host->SetScheduleReboot(true);
    // A prerequisite patch that wants a later reboot has done its work, as a prerequisite
    // product package does: failing here would stop the chain while the exit code still says 0.
    if (IsPreRequired()) return true;
  }
  m_host->SetExitCode(exitCode);
  return false;
}

bool CExecuteMspPackage::IsExecute() {
  if (!Reading("", [&] { return m_properties.IsExecuteMSP(entry); })) return false;
  return CExecutePackage::IsExecute();
}

}  // namespace Tevrian
