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

  // The line names what is started, from the same value the start uses.
  m_host->WriteLog(FormatText(L"Call:ShellExecute( {0}, {1} )", command.Program(), command.Parameters()));
  // A hidden run starts the installer hidden too, as every other program it starts.
  const DWORD started = command.Run(m_host->IsHidden() ? SW_HIDE : SW_SHOWNORMAL);
  if (started != 0) {
    m_host->WriteLog(FormatText(L"Failed: ShellExecuteEx():{0}", started));
    throw TevMSI::CMsiException(static_cast<std::int32_t>(started));
  }

  std::uint32_t result = m_host->ExitCode();
  DWORD exitCode = 0;
  if (!command.Process()) {
    m_host->WriteLog(L"Succeeded: ShellExecuteEx() gave no process to wait for; the exit code cannot be read");
  } else if (WaitForSingleObject(command.Process(), INFINITE) == WAIT_FAILED ||
             !GetExitCodeProcess(command.Process(), &exitCode)) {
    m_host->WriteLog(FormatText(L"Failed: GetExitCodeProcess():{0}", GetLastError()));
  } else {
    m_host->WriteLog(FormatText(L"Succeeded: GetExitCodeProcess( {0} ):ExitCode={1}", exitCode,
                                static_cast<std::int32_t>(exitCode)));
    if (exitCode == ERROR_SUCCESS_REBOOT_REQUIRED) {
      m_host->SetScheduleReboot(true);
      if (!IsPreRequired()) {
        m_host->SetExitCode(exitCode);
        result = exitCode;
      }
    } else {
      m_host->SetExitCode(exitCode);
      result = exitCode;
    }
  }
  return result == 0;
}

bool CExecuteMsiPackage::IsExecute() {
  // A package that is not a prerequisite runs again over an equal installed version.
  if (!Reading("", [&] { return m_properties.IsExecuteMSI(entry, !IsPreRequired()); })) return false;
  return CExecutePackage::IsExecute();
}

}  // namespace Tevrian
