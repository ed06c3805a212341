// The embedded manifest read into the run: its resource, its text, the newer manifest it names,
// the log file named after its package, its property definitions and its chain.
#include <windows.h>

#include <string_view>

#include "../json/json_parser.h"
#include "app.h"
#include "manifest_text.h"

namespace Tevrian {
namespace {

constexpr wchar_t kNoManifestMessage[] = L"実行情報がありません。";

// The embedded document must be one complete JSON object; what the reader makes of anything else
// is said in terms a release engineer can act on.
JSON::JsonObject ParseManifest(std::string_view bytes) {
  JSON::JsonValue document = ParseManifestText(bytes, L"the manifest");
  if (!document.IsObject()) {
    throw JSON::BadAnyCast(L"the manifest must be an object, found " + JSON::KindName(document.Kind()));
  }
  return std::move(document.AsObject());
}

}  // namespace

bool CTevLauncherApp::ReadManifestResource(std::string& bytes, std::uint32_t& error) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), L"JSON");
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  const DWORD size = loaded ? SizeofResource(module, resource) : 0;
  const void* data = size ? LockResource(loaded) : nullptr;
  if (!data) {
    error = GetLastError();
    return false;
  }
  bytes.assign(static_cast<const char*>(data), size);
  return true;
}

bool CTevLauncherApp::LoadManifest() {
  std::string bytes;
  std::uint32_t error = 0;
  if (!ReadManifestResource(bytes, error)) {
    m_exitCode = error;
    WriteLog(L"LoadManifest: the launcher carries no manifest (resource JSON 1):{0}", static_cast<std::int32_t>(error));
    EnsureLogFile();
    ShowMessage(kNoManifestMessage);
    if (m_exitCode == 0) m_exitCode = kExitNoManifest;
    return false;
  }
  m_manifest = ParseManifest(bytes);
  // Kept as embedded: a newer manifest may replace m_manifest, but the name, the log file and
  // the elevation test always follow the launcher's own document.
  const JSON::JsonObject embeddedLaunchPackage = JSON::RequiredObject(m_manifest, "LaunchPackage");

  if (!UpdateManifest(embeddedLaunchPackage)) return false;

  const bool needsLog = JSON::WithinMember("LaunchPackage", [&] {
    const auto& properties = m_properties.Properties();
    if (properties.find(L"PackageName") == properties.end() &&
        embeddedLaunchPackage.find("DisplayName") != embeddedLaunchPackage.end()) {
      m_properties.SetProperty(L"PackageName",
                               Expression::Token::Text(Expression::TokenKind::String,
                                                       JSON::GetValue(embeddedLaunchPackage, "DisplayName", L"")));
    }
    if (embeddedLaunchPackage.find("TargetPackageName") != embeddedLaunchPackage.end()) {
      m_properties.SetProperty(L"TargetPackageName", Expression::Token::Text(Expression::TokenKind::String,
                                                                             JSON::GetValue(embeddedLaunchPackage,
                                                                                            "TargetPackageName", L"")));
    }
    // A launch that needs elevation restarts itself elevated; only that instance keeps a log.
    const bool privileged = JSON::GetValue(embeddedLaunchPackage, "Privileged", false);
    return !(privileged && !IsElevated()) && m_log.LogFilePath().empty();
  });
  if (needsLog) {
    const Expression::Token packageName = m_properties.GetProperty(L"PackageName");
    // The log is named after the package: a manifest without "DisplayName" cannot be run.
    if (packageName.kind != Expression::TokenKind::String) {
      throw JSON::BadAnyCast(L"the required member is missing")
          .WithinMember("DisplayName")
          .WithinMember("LaunchPackage");
    }
    StartLogFile(packageName.TextValue());
  }

  LoadPropertyDefinitions();
  const JSON::JsonArray& launchList = JSON::RequiredArray(m_manifest, "LaunchList");
  JSON::WithinMember("LaunchList", [&] { m_packages.Load(launchList); });
  return true;
}

bool CTevLauncherApp::LoadPropertyDefinitions() {
  if (const auto it = m_manifest.find("Properies"); it != m_manifest.end()) {
    JSON::WithinMember("Properies", [&] {
      std::size_t index = 0;
      for (const JSON::JsonValue& element : it->second.AsArray()) {
        JSON::WithinElement(index++, [&] {
          for (const auto& [name, definition] : element.AsObject()) {
            JSON::WithinMember(name, [&] { m_properties.AddPropertyDefinition(name, definition); });
          }
        });
      }
    });
  }
  for (auto& [name, token] : m_commandLineProperties) m_properties.SetProperty(name, token);
  m_commandLineProperties.clear();
  return true;
}

}  // namespace Tevrian
