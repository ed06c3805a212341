#include "msi_package.h"

#include <windows.h>

#include "../installer/msi_exception.h"
#include "../shared/text_template.h"

namespace Tevrian {

void CExecuteMsiPackage::BuildCommand(CMsiExecCommand& command, const std::wstring& executeFilePath) {
  command.SetPackage(executeFilePath);
  m_host->WriteLog(FormatText(L"GetInstallMode( {0} ):{1}", executeFilePath, InstallModeName(command.Mode())));

  if (const std::wstring log = PackageInstallerLog(*this, *m_host); !log.empty()) command.SetLogFile(log);

  if (m_host->IsQuiet()) {
    command.AddArgument(L"/qn /norestart");
  } else {
    const bool preRequired = IsPreRequired();
    if (preRequired) command.AddArgument(L"/norestart");
    if (entry.contains("UILevel")) {
      command.AddArgument(UILevelArgument(Reading("UILevel", [&] { return JSON::GetValue(entry, "UILevel", L""); })));
    }
    if (!preRequired) {
      command.AddArgument(L"/promptrestart");
      if (m_host->ScheduleReboot()) {
        // The reboot an earlier package asked for happens with this one.
        m_host->SetScheduleReboot(false);
        command.AddArgument(L"/forcerestart");
      }
    }
  }

  if (entry.contains("MsiProperty")) {
    Reading("MsiProperty", [&] {
      JSON::WithinMember("MsiProperty", [&] {
        for (const auto& member : entry.at("MsiProperty").AsObject()) {
          // A NUL would end the command line there, silently dropping everything after it.
          const std::wstring value = JSON::WithoutNul(m_properties.Resolve(JSON::MemberString(member)));
          const std::wstring name = JSON::WithinMember(
              member.first, [&] { return std::wstring(JSON::WithoutNul(JSON::DecodeJSONString(member.first))); });
          command.AddArgument(name + L"=" + value);
        }
      });
    });
  }
}

bool CExecuteMsiPackage::Execute(const std::wstring& executeFilePath) {
  CMsiExecCommand command;
  BuildCommand(command, executeFilePath);
  // The system folder could not be read: never the bare name, which the shell would look for in the
  // current folder first.
  if (command.Program().empty()) throw TevMSI::CMsiException(static_cast<std::int32_t>(ERROR_FUNCTION_FAILED));
  // Started and awaited as every program of the run is: the same log lines, the same reading of how
  // it ended (a start without a process or a failed wait is a failure, never 0), and hidden when the
  // run is hidden.
  std::uint32_t exitCode = 0;
  if (!m_host->RunAndWait(exitCode, command.Program(), command.Parameters(), nullptr)) {
    throw TevMSI::CMsiException(static_cast<std::int32_t>(exitCode));
  }
  if (exitCode == ERROR_SUCCESS_REBOOT_REQUIRED) {
    m_host->SetScheduleReboot(true);
    // A prerequisite that wants a later reboot has done its work.
    if (IsPreRequired()) return true;
  }
  m_host->SetExitCode(exitCode);
  return exitCode == 0;
}

bool CExecuteMsiPackage::IsExecute() {
  // A package that is not a prerequisite runs again over an equal installed version.
  if (!Reading("", [&] { return m_properties.IsExecuteMSI(entry, !IsPreRequired()); })) return false;
  return CExecutePackage::IsExecute();
}

}  // namespace Tevrian
