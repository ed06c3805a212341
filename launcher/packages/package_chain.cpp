#include "package_chain.h"

#include <algorithm>
#include <limits>

#include "../installer/msi_exception.h"
#include "../shared/exit_codes.h"
#include "../shared/text_template.h"
#include "exe_package.h"
#include "msi_package.h"
#include "msp_package.h"

namespace Tevrian {
namespace {

// The type word first, then the Id: a package whose type word matches is never asked its Id.
bool Matches(const CExecutePackage& package, const std::wstring& name) {
  return package.GetPackageType() == name || package.Reading("Id", [&] { return package.GetId(); }) == name;
}

constexpr wchar_t kInstallingText[] = L"[DisplayName] をインストールしています。";

// A package that fails, by a false result or an installer error, hands its cached files to the
// exit's cleanup; other errors (a malformed entry) end the run without it.
template <class Step>
bool WithCleanupOnFailure(CExecutePackage& package, Step&& step) {
  bool done = false;
  try {
    done = step();
  } catch (const TevMSI::CMsiException&) {
    package.AddCleanupFiles();
    throw;
  }
  if (!done) package.AddCleanupFiles();
  return done;
}

// Each phase's start and outcome in the log; an error leaving it is logged by the run flow.
template <class Run>
bool LoggedPhase(CPackageHost& host, const wchar_t* name, Run&& run) {
  host.WriteLog(FormatText(L"Start {0}()", name));
  const bool done = run();
  host.WriteLog(FormatText(L"End {0}():{1}", name, done));
  return done;
}

bool IsPrerequisite(const CExecutePackage& package) {
  return package.Reading("PreRequired", [&] { return package.IsPreRequired(); });
}

}  // namespace

void CPackageChain::Load(const JSON::JsonArray& launchList) {
  m_packages.clear();
  std::size_t index = 0;
  for (const JSON::JsonValue& element : launchList) {
    const std::size_t position = index++;
    const std::wstring path = L"LaunchList[" + std::to_wstring(position) + L"]";
    const JSON::JsonObject& object = JSON::WithinElement(position, [&]() -> const JSON::JsonObject& {
      const JSON::JsonObject& read = element.AsObject();
      // An empty element or an unknown type word names no package: the manifest is malformed.
      if (read.empty()) throw JSON::BadAnyCast(L"the element names no package type");
      return read;
    });
    const auto& [type, value] = *object.begin();
    JSON::JsonObject entry =
        JSON::WithinElement(position, [&] { return JSON::WithinMember(type, [&] { return value.AsObject(); }); });
    std::unique_ptr<CExecutePackage> package;
    if (type == "ExePackage") {
      package = std::make_unique<CExecuteExePackage>(std::move(entry), m_properties);
    } else if (type == "MsiPackage") {
      package = std::make_unique<CExecuteMsiPackage>(std::move(entry), m_properties);
    } else if (type == "MspPackage") {
      package = std::make_unique<CExecuteMspPackage>(std::move(entry), m_properties);
    } else {
      throw JSON::BadAnyCast(L"\"" + JSON::DecodeJSONString(type) +
                             L"\" is no package type (ExePackage, MsiPackage or MspPackage)")
          .At(path);
    }
    package->SetPath(path + L"." + JSON::DecodeJSONString(type));
    package->SetHost(m_host);
    package->CheckFileNames();
    package->execute = package->IsExecute();
    m_packages.push_back(std::move(package));
  }
}

CExecutePackage* CPackageChain::FindExecutePackage(const std::wstring& name) const {
  for (const auto& package : m_packages) {
    if (Matches(*package, name) && package->execute) return package.get();
  }
  return nullptr;
}

bool CPackageChain::QueryTargetPackage(const std::wstring& name, bool& installed) const {
  installed = false;
  if (FindExecutePackage(name)) return true;
  for (const auto& package : m_packages) {
    if (Matches(*package, name)) {
      installed =
          package->Reading("InstalledCondition", [&] { return m_properties.InstalledCondition(package->entry); });
      return false;
    }
  }
  return false;
}

std::uint32_t CPackageChain::ProgressTotal() const {
  std::uint64_t total = 0;
  for (const auto& package : m_packages) {
    if (!package->execute) continue;
    const auto payloads = package->entry.find("Payloads");
    const std::size_t count = package->Reading("Payloads", [&]() -> std::size_t {
      return payloads == package->entry.end() ? 0 : payloads->second.AsArray().size();
    });
    total += 1 + count + static_cast<std::uint64_t>(package->GetTotalSize());
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
}

bool CPackageChain::ResolveSources(cancellation_token cancel, CProgressSink* dialog) {
  return LoggedPhase(*m_host, L"ResolveSources", [&] {
    for (const auto& package : m_packages) {
      if (package->execute && !package->ResolveFiles(cancel, dialog)) return false;
    }
    return true;
  });
}

bool CPackageChain::InstallPrerequisite(CExecutePackage& package, const cancellation_token& cancel,
                                        CProgressSink* dialog) {
  if (!package.AcquireFiles(cancel, dialog)) return false;
  const std::wstring path = package.GetExecuteFilePath();
  if (dialog) {
    const std::wstring text = m_properties.Resolve(kInstallingText);
    m_host->WriteLog(text);
    dialog->SetContent(text);
    dialog->WaitWhilePaused();
  }
  if (cancel.is_canceled()) {
    m_host->WriteLog(FormatText(L"Cancelled before installing {0}", package.Path()));
    m_host->SetExitCode(kExitCancelled);
    return false;
  }
  return package.Execute(path);
}

bool CPackageChain::InstallPrerequisites(cancellation_token cancel, CProgressSink* dialog) {
  return LoggedPhase(*m_host, L"InstallPrerequisites", [&] {
    for (const auto& package : m_packages) {
      if (!package->execute || !IsPrerequisite(*package)) continue;
      if (!WithCleanupOnFailure(*package, [&] { return InstallPrerequisite(*package, cancel, dialog); })) return false;
    }
    for (const auto& package : m_packages) {
      if (!package->execute || IsPrerequisite(*package)) continue;
      if (!WithCleanupOnFailure(*package, [&] { return package->AcquireFiles(cancel, dialog); })) return false;
    }
    return true;
  });
}

bool CPackageChain::InstallPackages() {
  return LoggedPhase(*m_host, L"InstallPackages", [&] {
    for (const auto& package : m_packages) {
      if (!package->execute || IsPrerequisite(*package)) continue;
      if (!WithCleanupOnFailure(*package, [&] { return package->Execute(package->GetExecuteFilePath()); })) {
        return false;
      }
    }
    return true;
  });
}

}  // namespace Tevrian
