// The launch checks with manifests given by the test; the target and conflict checks against
// real products are in the end-to-end suite.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_app.h"

namespace {

using TevTest::RecordingApp;

std::string Manifest(const std::string& launchPackage, const std::string& launchList = "[]") {
  return R"({"LaunchPackage":{"DisplayName":"Demo")" + launchPackage + R"(},"LaunchList":)" + launchList + "}";
}

struct Outcome {
  bool goesOn;
  std::vector<std::wstring> messages;
  std::uint32_t exitCode;
};

Outcome RunChecks(const std::string& manifest, bool elevated = true) {
  RecordingApp app;
  app.manifest = manifest;
  app.elevated = elevated;
  app.fakeRuns = true;
  app.fakeExitCode = 1234;
  EXPECT_TRUE(app.LoadManifest());
  const bool goesOn = app.CheckLaunchPackage();
  return {goesOn, app.messages, app.m_exitCode};
}

TEST(CheckLaunchPackageTest, Table) {
  struct Case {
    const char* name;
    std::string manifest;
    bool goesOn;
    std::vector<std::wstring> messages;
  } const cases[] = {
      {"no members passes", Manifest(""), true, {}},
      {"null condition passes", Manifest(R"(,"Condition":null)"), true, {}},
      {"empty condition passes", Manifest(R"(,"Condition":"","FailMessage":"x")"), true, {}},
      {"true condition passes", Manifest(R"(,"Condition":"NOT ABSENT","FailMessage":"x")"), true, {}},
      {"false condition shows the expanded message",
       Manifest(
           R"(,"Condition":"NOT PackageName","FailMessage":"「[PackageName]」は\nこの環境にインストールできません。")"),
       false,
       {L"「Demo」は\nこの環境にインストールできません。"}},
      {"target that will run passes",
       Manifest(R"(,"TargetPackage":"main","NoInstalledTargetPackage":"x")", R"([{"ExePackage":{"Id":"main"}}])"),
       true,
       {}},
      {"target that will not run and is not installed",
       Manifest(R"(,"TargetPackage":"main","NoInstalledTargetPackage":"[PackageName] がありません")",
                R"([{"ExePackage":{"Id":"main","ExecuteCondition":"ABSENT"}}])"),
       false,
       {L"Demo がありません"}},
      {"target unknown to the chain",
       Manifest(R"(,"TargetPackage":"nothing","NoInstalledTargetPackage":"none")"),
       false,
       {L"none"}},
      {"target installed by its condition",
       Manifest(R"(,"TargetPackage":"main","InstalledTargetPackage":"インストール済みです")",
                R"([{"ExePackage":{"Id":"main","ExecuteCondition":"ABSENT","InstalledCondition":"NOT ABSENT"}}])"),
       false,
       {L"インストール済みです"}},
      {"no message for the case: no refusal",
       Manifest(R"(,"TargetPackage":"nothing","InstalledTargetPackage":"x")"),
       true,
       {}},
      {"conflict key that does not exist",
       Manifest(R"(,"TargetPackage":"main","WendSpecialCheck":"Software\\TevNoSuchKey","WendSpecialCheckMessage":"x")",
                R"([{"ExePackage":{"Id":"main"}}])"),
       true,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = RunChecks(c.manifest);
    EXPECT_EQ(outcome.goesOn, c.goesOn);
    EXPECT_EQ(outcome.messages, c.messages);
    EXPECT_EQ(outcome.exitCode, 0u);
  }
}

TEST(CheckLaunchPackageTest, MalformedMembersAreErrors) {
  for (const std::string& manifest :
       {Manifest(R"(,"Condition":"NOT VersionNT")"), Manifest(R"(,"Condition":5,"FailMessage":"x")"),
        Manifest(R"(,"Condition":"VersionNT AND","FailMessage":"x")"), Manifest(R"(,"TargetPackage":7)"),
        Manifest(R"(,"Condition":"X == 2147483648","FailMessage":"x")"), Manifest(R"(,"Privileged":"yes")")}) {
    SCOPED_TRACE(manifest);
    RecordingApp app;
    app.manifest = manifest;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.ExitInstance(), 13u);
  }
}

TEST(CheckLaunchPackageTest, ElevationRestartsWithTheSameArgumentsAndTakesItsExitCode) {
  RecordingApp app;
  app.manifest = Manifest(R"(,"Privileged":true)");
  app.elevated = false;
  app.fakeRuns = true;
  app.fakeExitCode = 3010;
  app.arguments = L" /q A=1";
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(app.runs, std::vector<std::wstring>{L"C:\\Setup\\TevLauncher.exe| /q A=1|RunAs"});
  EXPECT_EQ(app.ExitInstance(), 3010u);
  EXPECT_EQ(app.m_log.LogFilePath(), L"");  // only the elevated instance keeps a log

  RecordingApp elevated;
  elevated.manifest = app.manifest;
  elevated.fakeRuns = true;
  EXPECT_TRUE(elevated.LoadManifest());
  EXPECT_TRUE(elevated.CheckLaunchPackage());
  EXPECT_TRUE(elevated.runs.empty());
}

}  // namespace
