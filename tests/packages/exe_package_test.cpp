// An executable package's command line and what its exit code means, through the application's
// process runner: recorded for the table, and once for real with the exitwith stand-in.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "../app/recording_app.h"
#include "../support/wine_path.h"
#include "json_parser.h"
#include "msi_exception.h"

namespace {

using namespace Tevrian;
using TevTest::RecordingApp;

CExecutePackage& LoadOne(RecordingApp& app, const std::string& entry) {
  app.m_packages.Load(JSON::ParseJSON(R"([{"ExePackage": )" + entry + "}]").AsArray());
  return *app.m_packages.Packages()[0];
}

TEST(ExePackageTest, ExitCodeTableDecides) {
  const std::string reboot = R"([{"Value": 3010, "Behavior": "scheduleReboot"}])";
  struct Case {
    const char* name;
    std::uint32_t exitCode;
    std::string table;  // the "ExitCode" member, or empty for none
    bool result;
    std::optional<std::int32_t> raised;
    bool schedule, force;
    std::uint32_t launcherExitCode;
    const wchar_t* behaviorLine;  // null: none logged
  } const cases[] = {
      {"0 never reads the table", 0, R"("x")", true, {}, false, false, 0, nullptr},
      {"3010 scheduleReboot", 3010, reboot, true, {}, true, false, 0, L"Behavior:scheduleReboot"},
      {"3010 unlisted", 3010, "", false, {}, false, false, 3010, nullptr},
      {"1641 forceReboot",
       1641,
       R"([{"Value": 1641, "Behavior": "forceReboot"}])",
       false,
       {},
       false,
       true,
       1641,
       L"Behavior:forceReboot"},
      {"a row without Behavior is passed over",
       5,
       R"([{"Value": 5}, {"Value": 5, "Behavior": "success"}])",
       true,
       {},
       false,
       false,
       0,
       L"Behavior:success"},
      {"a row without Value is passed over", 5, R"([{"Behavior": "success"}])", false, {}, false, false, 5, nullptr},
      {"letter case counts",
       5,
       R"([{"Value": 5, "Behavior": "Success"}])",
       false,
       {},
       false,
       false,
       5,
       L"Behavior:Success"},
      {"error raises the exit code", 1603, R"([{"Value": 1603, "Behavior": "error"}])", false, 1603, false, false, 0,
       L"Behavior:error"},
      {"the first match wins",
       7,
       R"([{"Value": 7, "Behavior": "success"}, {"Value": 7, "Behavior": "error"}])",
       true,
       {},
       false,
       false,
       0,
       L"Behavior:success"},
      {"a negative Value matches a code above 2^31",
       0xC0000005u,
       R"([{"Value": -1073741819, "Behavior": "success"}])",
       true,
       {},
       false,
       false,
       0,
       L"Behavior:success"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingApp app;
    app.fakeRuns = true;
    app.fakeExitCode = c.exitCode;
    std::string entry = R"({"InstallCommand": "/i")";
    if (!c.table.empty()) entry += R"(, "ExitCode": )" + c.table;
    CExecutePackage& package = LoadOne(app, entry + "}");
    std::optional<std::int32_t> raised;
    bool result = false;
    try {
      result = package.Execute(L"C:\\w\\setup.exe");
    } catch (const TevMSI::CMsiException& error) {
      raised = error.Code();
      EXPECT_EQ(error.Message(), L"");
    }
    EXPECT_EQ(raised, c.raised);
    if (!c.raised) {
      EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(app.m_scheduleReboot, c.schedule);
    EXPECT_EQ(app.m_forceReboot, c.force);
    EXPECT_EQ(app.m_exitCode, c.launcherExitCode);
    const auto lines = app.LogBodies();
    const bool logged = c.behaviorLine && std::find(lines.begin(), lines.end(), c.behaviorLine) != lines.end();
    EXPECT_EQ(logged, c.behaviorLine != nullptr);
  }
}

TEST(ExePackageTest, CommandLineFollowsTheQuietSwitchWithPropertiesSubstituted) {
  struct Case {
    bool quiet;
    const char* entry;
    const wchar_t* run;
  } const cases[] = {
      {false, R"({"InstallCommand": "/i [Mode]", "SilentInstallCommand": "/q [Mode]"})", L"C:\\w\\setup.exe|/i fast|"},
      {true, R"({"InstallCommand": "/i [Mode]", "SilentInstallCommand": "/q [Mode]"})", L"C:\\w\\setup.exe|/q fast|"},
      // A quiet run without a silent command line starts the program with no arguments.
      {true, R"({"InstallCommand": "/i"})", L"C:\\w\\setup.exe||"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    RecordingApp app;
    app.fakeRuns = true;
    app.m_quiet = c.quiet;
    app.m_properties.SetProperty(L"Mode", Expression::Token::Text(Expression::TokenKind::String, L"fast"));
    EXPECT_TRUE(LoadOne(app, c.entry).Execute(L"C:\\w\\setup.exe"));
    EXPECT_EQ(app.runs, std::vector<std::wstring>{c.run});
  }
}

TEST(ExePackageTest, MalformedMembersNameTheirPath) {
  for (const char* entry :
       {R"({"InstallCommand": 5})", R"({"ExitCode": {}})", R"({"ExitCode": [5]})",
        R"({"ExitCode": [{"Value": "5", "Behavior": "success"}]})", R"({"ExitCode": [{"Value": 5, "Behavior": 1}]})",
        // A row without "Behavior" is passed over, but only once its "Value" has been read.
        R"({"ExitCode": [{"Value": "5"}]})", R"({"ExitCode": [{"Value": true}, {"Value": 5, "Behavior": "success"}]})",
        // Windows would cut the command line at a NUL: " /TAIL" would silently be lost.
        R"({"InstallCommand": "0\u0000 /TAIL"})"}) {
    SCOPED_TRACE(entry);
    RecordingApp app;
    app.fakeRuns = true;
    app.fakeExitCode = 5;
    CExecutePackage& package = LoadOne(app, entry);
    try {
      package.Execute(L"C:\\w\\setup.exe");
      ADD_FAILURE() << "no error";
    } catch (const JSON::BadAnyCast& error) {
      const std::wstring described = error.Describe();
      EXPECT_EQ(described.rfind(L"LaunchList[0].ExePackage.", 0), 0u)
          << std::string(described.begin(), described.end());
    }
  }
}

// The real process runner: a program that cannot start is an installer error with the system's
// code; a real one's exit code reaches the table.
TEST(ExePackageTest, RealProgramsThroughTheProcessRunner) {
  RecordingApp app;
  app.hidden = true;
  CExecutePackage& missing = LoadOne(app, R"({"InstallCommand": "3010"})");
  try {
    missing.Execute(L"C:\\no such folder\\setup.exe");
    ADD_FAILURE() << "no error";
  } catch (const TevMSI::CMsiException& error) {
    EXPECT_TRUE(error.Code() == ERROR_FILE_NOT_FOUND || error.Code() == ERROR_PATH_NOT_FOUND) << error.Code();
  }
  CExecutePackage& real =
      LoadOne(app, R"({"InstallCommand": "3010", "ExitCode": [{"Value": 3010, "Behavior": "scheduleReboot"}]})");
  EXPECT_TRUE(real.Execute(TevTest::WinePath(TEV_EXITWITH)));
  EXPECT_TRUE(app.m_scheduleReboot);
}

}  // namespace
