// The launch checks, once the manifest is loaded: its condition, the target package, a conflicting
// application, and the restart elevated that a privileged launch needs.
#include <windows.h>

#include "../conditions/expression.h"
#include "../conditions/property_searches.h"
#include "../installer/msi_api.h"
#include "../installer/registry.h"
#include "../installer/text.h"
#include "../installer/unique_handle.h"
#include "app.h"

namespace Tevrian {

bool CTevLauncherApp::CheckLaunchPackage() {
  const JSON::JsonObject& launchPackage = JSON::RequiredObject(m_manifest, "LaunchPackage");
  // Members of "LaunchPackage" name their path; package errors come with theirs.
  const auto member = [&](std::string_view key, const auto& read) {
    return JSON::WithinMember("LaunchPackage", [&] { return read(key); });
  };
  const auto text = [&](std::string_view key) {
    return member(key, [&](std::string_view k) { return JSON::RequiredString(launchPackage, k); });
  };
  const auto refuse = [&](std::string_view messageKey) {
    ShowMessage(m_properties.Resolve(text(messageKey)));
    return false;
  };

  if (const auto condition = launchPackage.find("Condition");
      condition != launchPackage.end() && !condition->second.IsNull()) {
    bool holds = false;
    try {
      holds = m_properties.CheckCondition(text("Condition"));
    } catch (Expression::ConditionError& error) {
      error.Owner(L"the \"Condition\" of the launch (LaunchPackage.Condition)");
      throw;
    }
    if (!holds) return refuse("FailMessage");
  }

  if (launchPackage.find("TargetPackage") != launchPackage.end()) {
    const std::wstring targetName = text("TargetPackage");
    bool installed = false;
    if (!m_packages.QueryTargetPackage(targetName, installed)) {
      const char* key = installed ? "InstalledTargetPackage" : "NoInstalledTargetPackage";
      if (launchPackage.find(key) != launchPackage.end()) return refuse(key);
    } else if (const std::wstring conflict = FindConflictingProduct(launchPackage, targetName); !conflict.empty()) {
      m_properties.SetProperty(
          L"CONFLICT_APP_NAME",
          Expression::Token::Text(Expression::TokenKind::String, Expression::GetProductInfo(conflict, L"ProductName")));
      return refuse("WendSpecialCheckMessage");
    }
  }

  if (member("Privileged", [&](std::string_view k) { return JSON::GetValue(launchPackage, k, false); }) &&
      !IsElevated()) {
    // The elevated instance does the launch; this one ends with its exit code.
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    RunAndWait(m_exitCode, ModulePath(), CommandLineArguments(), L"RunAs");
    SetCursor(previous ? previous : LoadCursorW(nullptr, IDC_ARROW));
    return false;
  }
  return true;
}

std::wstring CTevLauncherApp::FindConflictingProduct(const JSON::JsonObject& launchPackage,
                                                     const std::wstring& targetName) {
  const auto check = launchPackage.find("WendSpecialCheck");
  if (check == launchPackage.end()) return {};
  const std::wstring& keyName = JSON::WithinMember("LaunchPackage", [&]() -> const std::wstring& {
    return JSON::WithinMember(check->first,
                              [&]() -> const std::wstring& { return JSON::WithoutNul(check->second.AsString()); });
  });
  TevMSI::CTevRegKey key;
  if (!key.Open(HKEY_LOCAL_MACHINE, keyName, KEY_READ)) return {};
  const std::wstring registered = key.Value(L"ProductCode").GetString();
  if (registered.empty()) return {};
  const CExecutePackage* package = m_packages.FindExecutePackage(targetName);
  if (!package) return {};
  const auto own = package->entry.find("ProductCode");
  if (own == package->entry.end()) return {};
  const std::wstring& ownCode =
      package->Reading("ProductCode", [&]() -> const std::wstring& { return JSON::MemberString(*own); });
  // The registered product is the package's own, whatever the letter case of its code.
  if (TevMSI::CompareNoCase(registered, ownCode) == 0) return {};
  const auto queryState = TevMSI::Msi().QueryProductState;
  if (!queryState || queryState(registered.c_str()) < INSTALLSTATE_LOCAL) return {};
  return registered;
}

bool CTevLauncherApp::IsElevated() {
  TevMSI::CKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  DWORD elevation = 0;
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return false;
  return elevation != 0;
}

}  // namespace Tevrian
