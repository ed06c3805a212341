#include "exe_package.h"

#include <optional>

#include "../installer/msi_exception.h"
#include "../shared/text_template.h"

namespace Tevrian {
namespace {

// What an "ExitCode" row tells the chain. The texts are matched exactly, letter case included.
enum class Behavior { Success, ScheduleReboot, ForceReboot, Error, Other };

Behavior BehaviorOf(const std::wstring& text) {
  if (text == L"success") return Behavior::Success;
  if (text == L"scheduleReboot") return Behavior::ScheduleReboot;
  if (text == L"forceReboot") return Behavior::ForceReboot;
  if (text == L"error") return Behavior::Error;
  return Behavior::Other;
}

}  // namespace

bool CExecuteExePackage::Execute(const std::wstring& executeFilePath) {
  const char* key = m_host->IsQuiet() ? "SilentInstallCommand" : "InstallCommand";
  // A NUL would end the command line there, silently dropping everything after it.
  const std::wstring arguments = Reading(key, [&] {
    const std::wstring resolved = m_properties.Resolve(JSON::GetValue(entry, key, L""));
    return JSON::WithinMember(key, [&] { return std::wstring(JSON::WithoutNul(resolved)); });
  });

  std::uint32_t exitCode = 0;
  if (!m_host->RunAndWait(exitCode, executeFilePath, arguments, nullptr)) {
    throw TevMSI::CMsiException(static_cast<std::int32_t>(exitCode));
  }
  if (exitCode == 0) return true;

  // The first row with this "Value" and a "Behavior" decides; rows without either are passed over.
  const std::optional<std::wstring> behavior = Reading("ExitCode", [&] {
    return JSON::WithinMember("ExitCode", [&]() -> std::optional<std::wstring> {
      const auto table = entry.find("ExitCode");
      if (table == entry.end()) return std::nullopt;
      std::size_t index = 0;
      for (const JSON::JsonValue& element : table->second.AsArray()) {
        const auto found = JSON::WithinElement(index++, [&]() -> std::optional<std::wstring> {
          const JSON::JsonObject& row = element.AsObject();
          if (!row.contains("Value")) return std::nullopt;
          // A "Value" of another kind is a malformed row, whether or not it has a "Behavior".
          const auto value = static_cast<std::uint32_t>(JSON::GetValue(row, "Value", std::int32_t{0}));
          if (value != exitCode || !row.contains("Behavior")) return std::nullopt;
          return JSON::GetValue(row, "Behavior", L"");
        });
        if (found) return found;
      }
      return std::nullopt;
    });
  });
  if (!behavior) {
    m_host->SetExitCode(exitCode);
    return false;
  }
  m_host->WriteLog(L"Behavior:" + *behavior);
  switch (BehaviorOf(*behavior)) {
    case Behavior::Success:
      return true;
    case Behavior::ScheduleReboot:
      m_host->SetScheduleReboot(true);
      return true;
    case Behavior::ForceReboot:
      m_host->SetForceReboot();
      m_host->SetExitCode(exitCode);
      return false;
    case Behavior::Error:
      throw TevMSI::CMsiException(static_cast<std::int32_t>(exitCode));
    case Behavior::Other:
      break;
  }
  m_host->SetExitCode(exitCode);
  return false;
}

}  // namespace Tevrian
