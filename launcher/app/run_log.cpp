// The run's log file: named after the package and the start time in the temporary folder, started
// as soon as the name is known, or under "TevLauncher" when the run ends before it is.
#include <windows.h>

#include "app.h"
#include "file_names.h"
#include "folders.h"
#include "log_file.h"

namespace Tevrian {

void CTevLauncherApp::EnsureLogFile() {
  if (!m_log.LogFilePath().empty()) return;
  const Expression::Token name = m_properties.GetProperty(L"PackageName");
  StartLogFile(name.kind == Expression::TokenKind::String ? name.TextValue() : std::wstring(L"TevLauncher"));
}

void CTevLauncherApp::StartLogFile(const std::wstring& packageName) {
  // The whole path stays within the platform's limit, room for a numbered name included. A
  // temporary folder too long for that is tried once more in its short (8.3) form, so that even
  // then the run keeps its log.
  constexpr std::size_t kLongestPath = MAX_PATH - 1;
  const auto nameIn = [&](const std::wstring& folder) {
    if (folder.empty() || folder.size() + kLogNameNumberRoom >= kLongestPath) return std::wstring();
    return LogFileName(packageName, CurrentLocalTime(), kLongestPath - folder.size() - kLogNameNumberRoom);
  };
  std::wstring folder = TempFolder();
  std::wstring name = nameIn(folder);
  if (name.empty()) {
    folder = ShortPathName(folder);
    name = nameIn(folder);
  }
  if (name.empty()) return;
  const std::wstring path = CreateLogFile(folder, name);
  if (!path.empty()) m_log.SetLogFilePath(path);
}

std::wstring CTevLauncherApp::CreateLogFile(const std::wstring& folder, const std::wstring& name) {
  return CreateNewLogFile(folder, name);
}

}  // namespace Tevrian
