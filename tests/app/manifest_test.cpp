// Loading the launch manifest, with the resource, the elevation answer and the temporary folder
// given by the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_app.h"

namespace {

using namespace Tevrian;

using ManifestApp = TevTest::RecordingApp;

constexpr char kManifest[] = R"({
  "LaunchPackage": { "DisplayName": "Setup A", "TargetPackageName": "Target" },
  "Properies": [ { "B": { "Value": 1 } }, { "A": { "Value": "text" } }, { "C": { "Value": null } } ],
  "LaunchList": [ { "ExePackage": { "Id": "x" } } ]
})";

TEST(LoadManifestTest, MissingResource) {
  for (std::uint32_t error : {0u, 1813u}) {
    SCOPED_TRACE(error);
    ManifestApp app;
    app.hasResource = false;
    app.resourceError = error;
    EXPECT_FALSE(app.LoadManifest());
    EXPECT_EQ(app.messages, std::vector<std::wstring>{L"実行情報がありません。"});
    EXPECT_EQ(app.m_exitCode, error ? error : 5007u);
  }
}

TEST(LoadManifestTest, NamesThePackageAndTheLogFileThenDefinesProperties) {
  ManifestApp app;
  app.manifest = kManifest;
  app.arguments = L"PackageName=Other A=cmd";
  ASSERT_FALSE(app.InitInstance());
  EXPECT_TRUE(app.messages.empty());
  EXPECT_EQ(app.m_exitCode, 0u);
  const std::wstring path = app.m_log.LogFilePath();
  // Named before the command line's PackageName is merged.
  EXPECT_EQ(path.rfind(L"Q:\\no such folder\\Setup_A_", 0), 0u) << path;
  EXPECT_EQ(path.size(), std::wstring(L"Q:\\no such folder\\Setup_A_2024-12-08-23-05-09.log").size());
  EXPECT_EQ(app.m_properties.GetProperty(L"PackageName").TextValue(), L"Other");
  EXPECT_EQ(app.m_properties.GetProperty(L"TargetPackageName").TextValue(), L"Target");
  EXPECT_EQ(app.m_properties.GetProperty(L"A").TextValue(), L"cmd");
  EXPECT_EQ(app.m_properties.GetProperty(L"B").IntegerValue(), 1);
  EXPECT_EQ(app.m_packages.Packages().size(), 1u);
  EXPECT_TRUE(app.m_commandLineProperties.empty());
}

TEST(LoadManifestTest, DefinitionsInOrderThenCommandLine) {
  ManifestApp app;
  app.manifest = kManifest;
  app.arguments = L"Z=1 A=cmd";
  ASSERT_FALSE(app.InitInstance());
  std::vector<std::wstring> added;
  for (const auto& line : app.LogBodies()) {
    if (line.rfind(L"Add Property ", 0) == 0) added.push_back(line.substr(13));
  }
  ASSERT_GE(added.size(), 6u);
  const std::vector<std::wstring> tail(added.end() - 6, added.end());
  EXPECT_EQ(tail,
            (std::vector<std::wstring>{L"TargetPackageName=Target", L"B=1", L"A=text", L"C=(none)", L"A=cmd", L"Z=1"}));
}

TEST(LoadManifestTest, ByteOrderMarkIsReadLikeWithout) {
  ManifestApp app;
  app.manifest = std::string("\xEF\xBB\xBF") + kManifest;
  EXPECT_TRUE(app.LoadManifest());
  EXPECT_EQ(app.m_properties.GetProperty(L"PackageName").TextValue(), L"Setup A");
}

TEST(LoadManifestTest, PrivilegedLaunchWithoutElevationStartsNoLog) {
  ManifestApp app;
  app.manifest = R"({"LaunchPackage":{"DisplayName":"P","Privileged":true},"LaunchList":[]})";
  app.elevated = false;
  EXPECT_TRUE(app.LoadManifest());
  EXPECT_EQ(app.m_log.LogFilePath(), L"");
  app.elevated = true;
  ManifestApp elevated;
  elevated.manifest = app.manifest;
  EXPECT_TRUE(elevated.LoadManifest());
  EXPECT_NE(elevated.m_log.LogFilePath(), L"");
}

TEST(LoadManifestTest, MalformedManifestsEndInOrderWithExitCode13) {
  const char* const cases[] = {
      "[1, 2]",
      "",
      "not json at all",
      R"({"LaunchList":[]})",
      R"({"LaunchPackage":[],"LaunchList":[]})",
      R"({"LaunchPackage":{"DisplayName":"P"}})",
      R"({"LaunchPackage":{"DisplayName":"P"},"LaunchList":{}})",
      R"({"LaunchPackage":{"DisplayName":"P"},"Properies":{},"LaunchList":[]})",
      R"({"LaunchPackage":{"DisplayName":"P"},"Properies":[1],"LaunchList":[]})",
      R"({"LaunchPackage":{"DisplayName":5},"LaunchList":[]})",
      R"({"LaunchPackage":{"DisplayName":"P","Privileged":"yes"},"LaunchList":[]})",
      R"({"LaunchPackage":{},"LaunchList":[]})",
      R"({"LaunchPackage":{"DisplayName":"P"},"Properies":[{"X":{"RegistrySearch":{"Root":"HKLM"}}}],"LaunchList":[]})",
  };
  for (const char* manifest : cases) {
    SCOPED_TRACE(manifest);
    for (bool hidden : {false, true}) {
      ManifestApp app;
      app.manifest = manifest;
      app.hidden = hidden;
      EXPECT_FALSE(app.InitInstance());
      EXPECT_EQ(app.ExitInstance(), 13u);
      // Shown unless hidden; logged either way.
      EXPECT_EQ(app.messages.size(), hidden ? 0u : 1u);
      if (!hidden && !app.messages.empty()) {
        EXPECT_EQ(app.messages[0].rfind(L"実行情報に誤りがあります。", 0), 0u);
      }
      bool logged = false;
      for (const auto& line : app.LogBodies()) logged = logged || line.rfind(L"Invalid manifest: ", 0) == 0;
      EXPECT_TRUE(logged);
      EXPECT_NE(app.m_log.LogFilePath(), L"");
    }
  }
}

}  // namespace
