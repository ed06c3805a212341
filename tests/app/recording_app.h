// The application object with its Win32 edge replaced: messages are recorded instead of shown,
// log lines are kept in memory, the command line, the manifest and the machine's answers are the
// test's own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/app.h"

namespace TevTest {

class RecordingApp : public Tevrian::CTevLauncherApp {
 public:
  RecordingApp()
      : CTevLauncherApp([this](const std::wstring&, const std::vector<std::wstring>& lines) {
          written.insert(written.end(), lines.begin(), lines.end());
          return true;
        }) {}

  std::wstring arguments;
  std::string manifest = R"({"LaunchPackage":{"DisplayName":"T"},"LaunchList":[]})";
  std::function<void()> onUpdateManifest;
  bool hasResource = true;
  std::uint32_t resourceError = 0;
  bool integrityOk = true;
  bool elevated = true;
  bool hidden = false;
  std::vector<std::wstring> messages;
  std::vector<std::wstring> written;  // lines that reached the log file
  // When set, programs are not started: each start is recorded as "program|parameters|verb" and
  // ends with `exitCodeOf(program)` when given, else `fakeExitCode`; with `runsFail` (or when
  // `startFails(program)`) the start fails instead, with `fakeExitCode` as the system error.
  bool fakeRuns = false;
  std::uint32_t fakeExitCode = 0;
  std::function<std::uint32_t(const std::wstring&)> exitCodeOf;
  bool runsFail = false;
  std::function<bool(const std::wstring&)> startFails;
  std::vector<std::wstring> runs;
  // What the session's setup lock answers; the real lock has tests of its own.
  Tevrian::SetupRunState runState = Tevrian::SetupRunState::First;

  bool RunAndWait(std::uint32_t& exitCode, const std::wstring& program, const std::wstring& parameters,
                  const wchar_t* verb) override {
    if (!fakeRuns) return CTevLauncherApp::RunAndWait(exitCode, program, parameters, verb);
    runs.push_back(program + L"|" + parameters + L"|" + (verb ? verb : L""));
    const bool fails = runsFail || (startFails && startFails(program));
    exitCode = exitCodeOf && !fails ? exitCodeOf(program) : fakeExitCode;
    return !fails;
  }

  // Every line logged so far, without its time prefix, in order.
  std::vector<std::wstring> LogBodies() const {
    std::vector<std::wstring> bodies;
    for (const auto& line : written) bodies.push_back(line.substr(21));
    for (const auto& line : m_log.PendingLines()) bodies.push_back(line.substr(21));
    return bodies;
  }

 protected:
  void ShowMessageBox(const std::wstring& text) override { messages.push_back(text); }
  std::wstring CreateLogFile(const std::wstring& folder, const std::wstring& name) override { return folder + name; }
  std::wstring CommandLineArguments() override { return arguments; }
  bool CheckIntegrity() override {
    if (!integrityOk) ShowMessage(L"integrity");
    return integrityOk;
  }
  bool ReadManifestResource(std::string& bytes, std::uint32_t& error) override {
    error = resourceError;
    bytes = manifest;
    return hasResource;
  }
  bool UpdateManifest(const Tevrian::JSON::JsonObject& embedded) override {
    if (onUpdateManifest) onUpdateManifest();
    return CTevLauncherApp::UpdateManifest(embedded);
  }
  Tevrian::SetupRunState AcquireSetupRun() override { return runState; }
  bool IsElevated() override { return elevated; }
  bool IsHidden() override { return hidden; }
  std::wstring TempFolder() override { return L"Q:\\no such folder\\"; }
  std::wstring ModulePath() override { return L"C:\\Setup\\TevLauncher.exe"; }
};

}  // namespace TevTest
