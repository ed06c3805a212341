// Where the run ends and its exit code is decided: an error that ends it (logged, shown unless
// hidden), an exception turned into its code, and the exit's cleanup and reboot rule.
#include <windows.h>

#include <new>
#include <stdexcept>

#include "../conditions/expression.h"
#include "../installer/msi_exception.h"
#include "../json/json_value.h"
#include "app.h"
#include "folders.h"

namespace Tevrian {
namespace {

constexpr wchar_t kUnexpectedErrorMessage[] = L"予期しないエラーが発生しました。\n{0}\n実行を中止します。";
constexpr wchar_t kInvalidManifestMessage[] = L"実行情報に誤りがあります。\n{0}\n実行を中止します。";

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

}  // namespace

void CTevLauncherApp::EndWithRunError(const std::wstring& logLine, const std::wstring& message,
                                      std::uint32_t exitCode) {
  m_exitCode = exitCode;
  EnsureLogFile();
  WriteLog(logLine);
  ShowMessage(message);
}

void CTevLauncherApp::EndWithUnexpectedError(const std::wstring& what) {
  EndWithRunError(FormatText(L"Unexpected error: {0}", what), FormatText(kUnexpectedErrorMessage, what),
                  kExitUnexpectedError);
}

void CTevLauncherApp::EndWithCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const JSON::BadAnyCast& error) {
      // A member of the wrong kind or a missing required member: the manifest cannot be acted on.
      const std::wstring what = error.Describe();
      EndWithRunError(L"Invalid manifest: " + what, FormatText(kInvalidManifestMessage, what), kExitInvalidManifest);
    } catch (const Expression::ConditionError& error) {
      const std::wstring what = error.Describe();
      EndWithRunError(L"Invalid manifest: " + what, FormatText(kInvalidManifestMessage, what), kExitInvalidManifest);
    } catch (const TevMSI::CMsiException& error) {
      const std::wstring text = TevMSI::ErrorText(error);
      EndWithRunError(FormatText(L"Error {0}(0x{0:08X}): {1}", error.Code(), text),
                      FormatText(kUnexpectedErrorMessage, text), static_cast<std::uint32_t>(error.Code()));
    } catch (const std::bad_alloc&) {
      EndWithUnexpectedError(L"out of memory");
    } catch (const std::exception& error) {
      EndWithUnexpectedError(Widen(error.what()));
    } catch (...) {
      EndWithUnexpectedError(L"unknown error");
    }
  } catch (...) {
    // Even the report failed (out of memory): the exit code still tells the caller.
    m_exitCode = kExitUnexpectedError;
  }
}

std::uint32_t CTevLauncherApp::ExitInstance() {
  // Exit never raises: each step that fails is logged and the next one still runs.
  const auto step = [this](const wchar_t* name, const auto& run) {
    try {
      run();
    } catch (const TevMSI::CMsiException& error) {
      WriteLog(L"Failed. {0}():{1}, {2}", name, error.Code(), TevMSI::ErrorText(error));
    } catch (const std::exception& error) {
      WriteLog(L"Failed. {0}():{1}", name, Widen(error.what()));
    } catch (...) {
      WriteLog(L"Failed. {0}():unknown error", name);
    }
  };
  try {
    step(L"RemoveCleanupFileFolder", [this] {
      if (!m_cleanupFiles.empty()) RemoveCleanupFileFolder();
    });
    step(L"RemoveFolderTree", [this] {
      if (!m_workFolder.empty()) RemoveFolderTree(m_workFolder);
    });
    m_knownFolderManager.reset();
    WriteLog(L"ExitCode={0}(0x{0:08X})", static_cast<std::int32_t>(m_exitCode));
    WriteLog(L"m_scheduleReboot={0}, m_forceReboot={1}", m_scheduleReboot, m_forceReboot);
    m_properties.LogProperties();
  } catch (...) {
    // Only an allocation can fail here; the exit code below is still the run's.
  }
  if (m_quiet && (m_forceReboot || m_scheduleReboot)) m_exitCode = ERROR_SUCCESS_REBOOT_REQUIRED;
  return m_exitCode;
}

}  // namespace Tevrian
