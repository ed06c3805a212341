// The whole run as InitInstance and ExitInstance drive it, started hidden, over real folders and
// real files beside the launcher; installers are recorded rather than started. What shows under
// the dialog is in the end-to-end suites, with the dialog pressed by the UI driver.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../packages/package_test_app.h"
#include "installer/msi_exception.h"

namespace {

using namespace Tevrian;
using namespace TevTest;

class RunFlowTest : public PackageFoldersTest {
 protected:
  std::string Exe(const std::string& id, const std::string& members) {
    const std::string name = id + ".exe";
    const std::string content = "installer " + id;
    WriteText(Media(std::wstring(name.begin(), name.end()).c_str()), content);
    return R"({"ExePackage": {"Id": ")" + id + R"(", "DisplayName": ")" + id + R"(", "ExecuteFile": )" +
           Entry(name, content) + ", " + members + "}}";
  }
  std::string Manifest(const std::string& prerequisite, const std::string& main) {
    return R"({"LaunchPackage": {"DisplayName": "Demo"}, "LaunchList": [)" + Exe("Pre", prerequisite) + "," +
           Exe("Main", main) + "]}";
  }
};

// A line that starts with `text` (system texts end with a line break of their own).
bool Logged(const std::vector<std::wstring>& lines, const std::wstring& text) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) { return line.starts_with(text); });
}

TEST_F(RunFlowTest, HiddenRunsEndWithTheRightCodeAndExplainItInTheLogOnly) {
  const std::string pre = R"("PreRequired": true, "InstallCommand": "/pre")";
  const std::string main = R"("InstallCommand": "/main")";
  struct Case {
    const char* name;
    std::string prerequisite, main;
    std::function<void(RecordingApp&)> arrange;
    std::uint32_t exitCode;
    std::vector<std::string> started;
    std::wstring logged;  // a line the log must hold; empty for none
  } const cases[] = {
      {"both install", pre, main, [](RecordingApp&) {}, 0, {"Pre.exe", "Main.exe"}, L""},
      {"a prerequisite that cannot start",
       pre,
       main,
       [](RecordingApp& app) {
         app.runsFail = true;
         app.fakeExitCode = ERROR_ACCESS_DENIED;
       },
       ERROR_ACCESS_DENIED,
       {"Pre.exe"},
       TevMSI::SystemMessage(ERROR_ACCESS_DENIED).substr(0, 10)},
      {"an error without system text: the Win32 part in decimal",
       pre,
       main,
       [](RecordingApp& app) {
         app.runsFail = true;
         app.fakeExitCode = 0x8007FFFF;
       },
       0x8007FFFF,
       {"Pre.exe"},
       L"エラーが発生しました(65535)。"},
      {"an error of another facility: all eight digits",
       pre,
       main,
       [](RecordingApp& app) {
         app.runsFail = true;
         app.fakeExitCode = 0x80AB0001;
       },
       0x80AB0001,
       {"Pre.exe"},
       L"エラーが発生しました(0x80AB0001)。"},
      {"a forced reboot installs nothing after it",
       pre + R"(, "ExitCode": [{"Value": 1641, "Behavior": "forceReboot"}])",
       main,
       [](RecordingApp& app) {
         app.exitCodeOf = [](const std::wstring& p) { return p.ends_with(L"Pre.exe") ? 1641u : 0u; };
       },
       1641,
       {"Pre.exe"},
       L"Behavior:forceReboot"},
      {"a main package's unlisted code",
       pre,
       main,
       [](RecordingApp& app) {
         app.exitCodeOf = [](const std::wstring& p) { return p.ends_with(L"Main.exe") ? 1603u : 0u; };
       },
       1603,
       {"Pre.exe", "Main.exe"},
       L""},
      {"a main package that cannot start: the error's text, with the fallback too",
       pre,
       main,
       [](RecordingApp& app) {
         app.startFails = [](const std::wstring& p) { return p.ends_with(L"Main.exe"); };
         app.exitCodeOf = [](const std::wstring&) { return 0u; };
         app.fakeExitCode = 0x8007FFFF;
       },
       0x8007FFFF,
       {"Pre.exe", "Main.exe"},
       L"Message not shown (the run is hidden): エラーが発生しました(65535)。"},
      {"a malformed entry met during the run ends it as a malformed manifest",
       pre,
       R"("InstallCommand": 5)",
       [](RecordingApp&) {},
       13,
       {"Pre.exe"},
       L"Invalid manifest: LaunchList[1].ExePackage.InstallCommand: expected a string, found an integer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CacheApp app(root);
    app.hidden = true;
    app.fakeRuns = true;
    app.manifest = Manifest(c.prerequisite, c.main);
    c.arrange(app);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.ExitInstance(), c.exitCode);
    std::vector<std::string> started;
    for (const auto& run : app.runs) {
      const std::wstring program = run.substr(0, run.find(L'|'));
      started.push_back(Narrow(program.substr(program.rfind(L'\\') + 1)));
    }
    EXPECT_EQ(started, c.started);
    EXPECT_TRUE(app.messages.empty()) << "a hidden run shows nothing";
    if (!c.logged.empty()) {
      EXPECT_TRUE(Logged(app.LogBodies(), c.logged)) << Narrow(c.logged);
    }
  }
}

TEST_F(RunFlowTest, AQuietRunThatNeedsARebootEndsWith3010) {
  for (const bool quiet : {true, false}) {
    SCOPED_TRACE(quiet);
    CacheApp app(root);
    app.hidden = true;
    app.fakeRuns = true;
    app.arguments = quiet ? L"/quiet" : L"";
    app.exitCodeOf = [](const std::wstring& p) { return p.ends_with(L"Pre.exe") ? 3010u : 0u; };
    app.manifest = Manifest(R"("PreRequired": true, "ExitCode": [{"Value": 3010, "Behavior": "scheduleReboot"}])",
                            R"("SilentInstallCommand": "/q")");
    app.InitInstance();
    EXPECT_EQ(app.ExitInstance(), quiet ? 3010u : 0u);
    EXPECT_EQ(app.runs.size(), 2u) << "the chain goes on after a scheduled reboot";
  }
}

}  // namespace
