// Loading the launch manifest, with the resource, the elevation answer and the temporary folder
// given by the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <algorithm>

#include "../support/describe.h"
#include "app/log_file.h"
#include "installer/msi_exception.h"
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
  // The start-up went through; the run then ends at its work folder, which the test's temporary
  // folder (which does not exist) cannot hold.
  EXPECT_EQ(app.messages.size(), 1u);
  EXPECT_EQ(app.m_exitCode, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
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

// A malformed manifest ends the run with exit code 13, and its message and log line name the
// member by its path with the kind expected and found, or the condition and what is wrong with it.
// The reader refuses containers past its bound as a syntax error; the message says which it was.
TEST(LoadManifestTest, ManifestNestedPastTheBoundSaysSo) {
  std::string deep;
  for (int i = 0; i < 600; ++i) deep += "[";
  for (const std::string& manifest :
       {R"({"LaunchPackage":{"DisplayName":"P"},"LaunchList":[],"x":)" + deep + "}", deep}) {
    ManifestApp app;
    app.manifest = manifest;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.m_exitCode, 13u);
    ASSERT_EQ(app.messages.size(), 1u);
    EXPECT_NE(app.messages[0].find(L"the manifest is nested deeper than 512 levels"), std::wstring::npos);
  }
}

TEST(LoadManifestTest, MalformedManifestsEndWithExitCode13AndNameTheirCause) {
  struct Case {
    const char* name;
    const char* manifest;
    const wchar_t* cause;
  } const cases[] = {
      {"array document", "[1, 2]", L"the manifest must be an object, found an array"},
      {"empty document", "", L"the manifest must be an object, found null"},
      {"no JSON", "not json at all", L"the manifest must be an object, found null"},
      {"no launch package", R"({"LaunchList":[]})", L"LaunchPackage: the required member is missing"},
      {"launch package of another kind", R"({"LaunchPackage":[],"LaunchList":[]})",
       L"LaunchPackage: expected an object, found an array"},
      {"no launch list", R"({"LaunchPackage":{"DisplayName":"P"}})", L"LaunchList: the required member is missing"},
      {"launch list of another kind", R"({"LaunchPackage":{"DisplayName":"P"},"LaunchList":{}})",
       L"LaunchList: expected an array, found an object"},
      {"definitions not an array", R"({"LaunchPackage":{"DisplayName":"P"},"Properies":{},"LaunchList":[]})",
       L"Properies: expected an array, found an object"},
      {"definition not an object", R"({"LaunchPackage":{"DisplayName":"P"},"Properies":[1],"LaunchList":[]})",
       L"Properies[0]: expected an object, found an integer"},
      {"name of another kind", R"({"LaunchPackage":{"DisplayName":5},"LaunchList":[]})",
       L"LaunchPackage.DisplayName: expected a string, found an integer"},
      {"flag of another kind", R"({"LaunchPackage":{"DisplayName":"P","Privileged":"yes"},"LaunchList":[]})",
       L"LaunchPackage.Privileged: expected a boolean, found a string"},
      {"no display name", R"({"LaunchPackage":{},"LaunchList":[]})",
       L"LaunchPackage.DisplayName: the required member is missing"},
      {"registry search without key",
       R"({"LaunchPackage":{"DisplayName":"P"},"Properies":[{"X":{"RegistrySearch":{"Root":"HKLM"}}}],"LaunchList":[]})",
       L"Properies[0].X.RegistrySearch.Key: the required member is missing"},
      {"NUL inside a registry key",
       R"({"LaunchPackage":{"DisplayName":"P"},"Properies":[{"X":{"RegistrySearch":{"Root":"HKLM",
         "Key":"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\u0000\\No\\Such","Result":"exists"}}}],"LaunchList":[]})",
       L"Properies[0].X.RegistrySearch.Key: the text holds a NUL character at character 42, where Windows would cut "
       L"it"},
      {"package element not an object", R"({"LaunchPackage":{"DisplayName":"P"},"LaunchList":[5]})",
       L"LaunchList[0]: expected an object, found an integer"},
      {"package member missing",
       R"({"LaunchPackage":{"DisplayName":"P"},"LaunchList":[{"ExePackage":{}},{"MsiPackage":{"Version":"1"}}]})",
       L"LaunchList[1].MsiPackage.ProductCode: the required member is missing"},
      {"condition missing an operand",
       R"({"LaunchPackage":{"DisplayName":"P","Condition":"VersionNT >="},"LaunchList":[]})",
       L"the \"Condition\" of the launch (LaunchPackage.Condition): an operand is missing at the end of the condition "
       L"in "
       L"the condition \"VersionNT >=\""},
      {"condition integer out of range",
       R"({"LaunchPackage":{"DisplayName":"P"},"LaunchList":[{"ExePackage":{"Id":"vc","ExecuteCondition":"A < 9999999999"}}]})",
       L"the \"ExecuteCondition\" of package Id vc (LaunchList[0].ExePackage.ExecuteCondition): the integer at "
       L"character "
       L"5 is beyond the signed 32-bit range in the condition \"A < 9999999999\""},
      {"condition of another kind", R"({"LaunchPackage":{"DisplayName":"P","Condition":5},"LaunchList":[]})",
       L"LaunchPackage.Condition: expected a string, found an integer"},
      {"false condition without its message",
       R"({"LaunchPackage":{"DisplayName":"P","Condition":"NOTHING"},"LaunchList":[]})",
       L"LaunchPackage.FailMessage: the required member is missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool hidden : {false, true}) {
      ManifestApp app;
      app.manifest = c.manifest;
      app.hidden = hidden;
      EXPECT_FALSE(app.InitInstance());
      EXPECT_EQ(app.ExitInstance(), 13u);
      // Shown unless hidden; logged either way, the message too.
      const std::wstring message = L"実行情報に誤りがあります。\n" + std::wstring(c.cause) + L"\n実行を中止します。";
      EXPECT_EQ(app.messages, hidden ? std::vector<std::wstring>{} : std::vector<std::wstring>{message});
      const auto bodies = app.LogBodies();
      EXPECT_NE(std::find(bodies.begin(), bodies.end(), L"Invalid manifest: " + std::wstring(c.cause)), bodies.end());
      const std::wstring logged = (hidden ? L"Message not shown (the run is hidden): " : L"Message: ") + message;
      EXPECT_NE(std::find(bodies.begin(), bodies.end(), logged), bodies.end());
      EXPECT_NE(app.m_log.LogFilePath(), L"");
    }
  }
}

// An installer error raised while the manifest is read keeps its code and its text.
TEST(LoadManifestTest, InstallerErrorKeepsItsCodeAndText) {
  ManifestApp app;
  app.onUpdateManifest = [] { throw TevMSI::CMsiException(1612, L"the source is gone"); };
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(app.ExitInstance(), 1612u);
  EXPECT_EQ(app.messages,
            std::vector<std::wstring>{L"予期しないエラーが発生しました。\nthe source is gone\n実行を中止します。"});
  const auto bodies = app.LogBodies();
  EXPECT_NE(std::find(bodies.begin(), bodies.end(), L"Error 1612(0x0000064C): the source is gone"), bodies.end());
}

// The log file is always the launcher's own: a name cleaned of control characters (a NUL would
// end it at "notes.txt"), cut to fit the path limit, always ending with the time and ".log".
TEST(LoadManifestTest, LogFileNameIsCleanedAndFitsThePathLimit) {
  struct Case {
    const char* name;
    std::string displayName;  // as the manifest writes it
    std::wstring stem;        // what the package name becomes
  } const cases[] = {
      {"NUL at the end", R"(notes.txt\u0000)", L"notes.txt_"},
      {"control characters", R"(a\tb\u0001c\nd)", L"a_b_c_d"},
      // Q:\no such folder\ (18) + name + _2024-12-08-23-05-09.log (24) + room for "(99)" = 259.
      {"300 characters", std::string(300, 'x'), std::wstring(259 - 4 - 18 - 24, L'x')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ManifestApp app;
    app.manifest = R"({"LaunchPackage":{"DisplayName":")" + c.displayName + R"("},"LaunchList":[]})";
    ASSERT_TRUE(app.LoadManifest());
    const std::wstring path = app.m_log.LogFilePath();
    EXPECT_EQ(path.substr(0, 18 + c.stem.size()), L"Q:\\no such folder\\" + c.stem) << TevTest::Narrow(path);
    EXPECT_EQ(path.size(), 18 + c.stem.size() + 24);
    EXPECT_EQ(path.substr(path.size() - 4), L".log");
    EXPECT_LE(path.size() + kLogNameNumberRoom, 259u);
  }
}

}  // namespace
