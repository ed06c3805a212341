#include "msi_exec_command.h"

#include "../shared/stamped_file_name.h"
#include "../shared/text_template.h"

namespace Tevrian {

CMsiExecCommand::CMsiExecCommand() : m_program(SystemMsiexecPath()) {}

void CMsiExecCommand::SetPackage(const std::wstring& path) { SetPackage(path, GetInstallMode(path)); }

void CMsiExecCommand::SetPackage(const std::wstring& path, InstallMode mode) {
  m_packagePath = path;
  m_installMode = mode;
}

void CMsiExecCommand::SetLogFile(const std::wstring& path) { m_logFile = path; }

void CMsiExecCommand::AddArgument(const std::wstring& token) {
  if (token.empty()) return;
  if (!m_arguments.empty()) m_arguments += L' ';
  m_arguments += token;
}

std::wstring CMsiExecCommand::Parameters() const {
  // msiexec reads the options right after the closing quotation mark: no blank is needed there.
  std::wstring parameters = FormatText(L"/{0} \"{1}\"", L"i", m_packagePath);
  if (!m_logFile.empty()) parameters += FormatText(L"/l*xv \"{0}\" ", m_logFile);
  parameters += m_arguments;
  if (m_installMode == InstallModeReinstall) parameters += L" REINSTALLMODE=vomus REINSTALL=ALL";
  return parameters;
}

std::wstring SystemMsiexecPath() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(folder) + L"\\msiexec.exe";
}

std::wstring UILevelArgument(const std::wstring& uiLevel) {
  if (uiLevel == L"None") return L"/qn";
  if (uiLevel == L"Basic") return L"/qb";
  if (uiLevel == L"Reduce") return L"/qr";
  if (uiLevel == L"Full") return L"/qf";
  return {};
}

std::wstring InstallerLogPath(const std::wstring& folder, std::wstring displayName, const LocalTime& t) {
  const std::wstring stamp = FormatText(L"_MSI_{0}-{1:02d}-{2:02d}-{3:02d}-{4:02d}-{5:02d}.log", t.year, t.month, t.day,
                                        t.hour, t.minute, t.second);
  constexpr std::size_t kLongestPath = MAX_PATH - 1;
  if (folder.size() > kLongestPath) return {};
  const std::wstring name = StampedFileName(std::move(displayName), stamp, kLongestPath - folder.size());
  return name.empty() ? std::wstring() : folder + name;
}

std::wstring InstallerLogPath(const std::wstring& folder, const std::wstring& displayName) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return InstallerLogPath(folder, displayName,
                          LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond});
}

std::wstring PackageInstallerLog(const CExecutePackage& package, CPackageHost& host) {
  if (!package.entry.contains("DisplayName")) return {};
  const std::wstring name =
      package.Reading("DisplayName", [&] { return JSON::GetValue(package.entry, "DisplayName", L""); });
  const std::wstring log = InstallerLogPath(host.TempFolder(), name);
  if (log.empty()) host.WriteLog(L"No installer log: the temporary folder's path is too long");
  return log;
}

}  // namespace Tevrian
