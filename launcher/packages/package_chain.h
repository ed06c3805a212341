// The package chain: the packages of "LaunchList" in order, and the three phases that get their
// files and install them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "execute_package.h"

namespace Tevrian {

class CPackageChain {
 public:
  // `host` serves the packages' file work; null for a chain that only decides what applies.
  explicit CPackageChain(const Expression::CConditionExpression& properties, CPackageHost* host = nullptr)
      : m_properties(properties), m_host(host) {}

  // Rebuilds the chain from "LaunchList". An element that is not an object with a known type
  // word and an object value is a malformed manifest (JSON::BadAnyCast).
  void Load(const JSON::JsonArray& launchList);
  // The first applicable package whose type word, else Id, equals `name`.
  CExecutePackage* FindExecutePackage(const std::wstring& name) const;
  // True when a package for `name` applies; otherwise `installed` tells whether the first package
  // of that name is installed already.
  bool QueryTargetPackage(const std::wstring& name, bool& installed) const;

  const std::vector<std::unique_ptr<CExecutePackage>>& Packages() const { return m_packages; }

  // The run's progress total: per applicable package one unit, one per payload and one per byte
  // of its declared sizes; held to the 32-bit range rather than wrapped.
  std::uint32_t ProgressTotal() const;

  // The three phases, each over the applicable packages in chain order. `dialog` may be null.
  // Phase 1: where every file comes from; false only when cancelled.
  bool ResolveSources(cancellation_token cancel, CProgressSink* dialog);
  // Phase 2: each prerequisite's files acquired and the prerequisite installed, then the other
  // packages' files acquired. False when a package failed or the run was cancelled (exit code
  // 1602); raises TevMSI::CMsiException. A failing package's cached files go to the cleanup.
  bool InstallPrerequisites(cancellation_token cancel, CProgressSink* dialog);
  // Phase 3: the other packages installed. False when one failed; raises TevMSI::CMsiException.
  bool InstallPackages();

 private:
  bool InstallPrerequisite(CExecutePackage& package, const cancellation_token& cancel, CProgressSink* dialog);

  const Expression::CConditionExpression& m_properties;
  CPackageHost* m_host;
  std::vector<std::unique_ptr<CExecutePackage>> m_packages;
};

}  // namespace Tevrian
