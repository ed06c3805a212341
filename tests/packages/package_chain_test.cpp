// The package chain and the applicability tests against real installed products: the fixture
// package (1.2.3) is installed into the test prefix once for the suite.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/wine_path.h"
#include "package_chain.h"
#include "msi_api.h"
#include "msi_exception.h"
#include "property_searches.h"
#include "json_parser.h"

namespace {

using namespace Tevrian;
using Expression::CConditionExpression;
using Expression::Token;

const wchar_t kFixtureProduct[] = L"{6A1F7C20-3B4D-4E5F-8A9B-0C1D2E3F4A51}";
const wchar_t kFixtureUpgrade[] = L"{6A1F7C20-3B4D-4E5F-8A9B-0C1D2E3F4A52}";

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

JSON::JsonObject Object(const std::string& text) { return JSON::ParseJSON(text).AsObject(); }
JSON::JsonArray Array(const std::string& text) { return JSON::ParseJSON(text).AsArray(); }

class PackageChainTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::wstring command = L"msiexec /i \"" + TevTest::WinePath(TEV_FIXTURE_DIR "/TevFixtureA.msi") + L"\" /qn";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, 120000);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    ASSERT_EQ(exitCode, 0u);
  }

  std::vector<std::wstring> lines;
  CConditionExpression store{[this](std::wstring_view line) { lines.emplace_back(line); }};
  CPackageChain chain{store};
};

TEST_F(PackageChainTest, IsExecuteMsiAgainstTheInstalledVersion) {
  struct Case {
    const char* name;
    std::string entry;
    bool allowEqual;
    bool answer;
    std::wstring log;
  } const cases[] = {
      {"not installed runs", R"({"ProductCode":"{00000000-0000-0000-0000-000000000001}","Version":"v2.00.0310.0"})",
       true, true, L"IsExecuteMSI( {00000000-0000-0000-0000-000000000001} ):v2.0.310.0 >= v0.0.0.0"},
      {"equal runs with allowEqual", R"({"ProductCode":")" + Narrow(kFixtureProduct) + R"(","Version":"1.2.3"})", true,
       true, L"IsExecuteMSI( " + std::wstring(kFixtureProduct) + L" ):v1.2.3.0 >= v1.2.3.0"},
      {"equal does not run without", R"({"ProductCode":")" + Narrow(kFixtureProduct) + R"(","Version":"1.2.3"})", false,
       false, L"IsExecuteMSI( " + std::wstring(kFixtureProduct) + L" ):v1.2.3.0 > v1.2.3.0"},
      {"older never runs", R"({"ProductCode":")" + Narrow(kFixtureProduct) + R"(","Version":"1.2.2.9"})", true, false,
       L"IsExecuteMSI( " + std::wstring(kFixtureProduct) + L" ):v1.2.2.9 >= v1.2.3.0"},
      {"by upgrade code", R"({"ProductCode":"x","UpgradeCode":")" + Narrow(kFixtureUpgrade) + R"(","Version":"1.3"})",
       false, true, L"IsExecuteMSI( x ):v1.3.0.0 > v1.2.3.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lines.clear();
    EXPECT_EQ(store.IsExecuteMSI(Object(c.entry), c.allowEqual), c.answer);
    EXPECT_EQ(lines, std::vector<std::wstring>{c.log});
  }
  try {
    store.IsExecuteMSI(Object(R"({"ProductCode":"x"})"), true);
    ADD_FAILURE() << "no error";
  } catch (const JSON::BadAnyCast& error) {
    EXPECT_EQ(error.Describe(), L"Version: the required member is missing");
  }
}

TEST_F(PackageChainTest, IsExecuteMspNeedsATargetInExactlyItsVersion) {
  const std::string product = Narrow(kFixtureProduct);
  EXPECT_FALSE(store.IsExecuteMSP(Object(R"({})")));
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(store.IsExecuteMSP(Object(R"({"PatchTargets":[{"ProductCode":"{00000000-0000-0000-0000-000000000002}"},
                                           {"ProductCode":")" +
                                        product + R"(","Version":"v1.2.3.0"}]})")));
  EXPECT_EQ(lines,
            std::vector<std::wstring>{L"IsExecuteMSP( " + std::wstring(kFixtureProduct) + L" ):v1.2.3.0 == v1.2.3.0"});
  lines.clear();
  EXPECT_FALSE(
      store.IsExecuteMSP(Object(R"({"PatchTargets":[{"ProductCode":")" + product + R"(","Version":"1.2"}]})")));
  EXPECT_EQ(lines,
            std::vector<std::wstring>{L"IsExecuteMSP( " + std::wstring(kFixtureProduct) + L" ):v1.2.0.0 == v1.2.3.0"});
}

TEST_F(PackageChainTest, InstalledConditionFirstRuleDecides) {
  const std::string product = Narrow(kFixtureProduct);
  store.SetProperty(L"FLAG", Token::Boolean(true));
  EXPECT_TRUE(store.InstalledCondition(
      Object(R"({"PatchTargets":[{"ProductCode":")" + product + R"("}],"InstalledCondition":"NOT FLAG"})")));
  EXPECT_TRUE(store.InstalledCondition(Object(R"({"UpgradeCode":")" + Narrow(kFixtureUpgrade) + R"("})")));
  EXPECT_FALSE(store.InstalledCondition(Object(R"({"ProductCode":"{00000000-0000-0000-0000-000000000003}",
                                                   "InstalledCondition":"FLAG"})")));
  EXPECT_TRUE(store.InstalledCondition(Object(R"({"InstalledCondition":"FLAG"})")));
  EXPECT_FALSE(store.InstalledCondition(Object(R"({})")));
}

TEST_F(PackageChainTest, LoadBuildsOnePackagePerEntryAndDecidesOnce) {
  store.SetProperty(L"NEW", Token::Integer(0));
  chain.Load(Array(R"([
    {"MsiPackage": {"Id": "old"}, "ExePackage": {"Id": "first", "ExecuteCondition": "NOT NEW"}},
    {"ExePackage": {"Id": "skipped", "ExecuteCondition": "NEW"}},
    {"MsiPackage": {"Id": "main", "ProductCode": ")" +
                   Narrow(kFixtureProduct) + R"(", "Version": "1.2.3"}},
    {"MsiPackage": {"Id": "prereq", "PreRequired": true, "ProductCode": ")" +
                   Narrow(kFixtureProduct) +
                   R"(", "Version": "1.2.3"}},
    {"MspPackage": {"Id": "patch"}}
  ])"));
  std::vector<std::wstring> built;
  for (const auto& package : chain.Packages()) {
    built.push_back(package->GetPackageType() + L":" + package->GetId() + (package->execute ? L"+" : L"-"));
  }
  EXPECT_EQ(built, (std::vector<std::wstring>{L"ExePackage:first+", L"ExePackage:skipped-", L"MsiPackage:main+",
                                              L"MsiPackage:prereq-", L"MspPackage:patch-"}));
  EXPECT_EQ(chain.FindExecutePackage(L"MsiPackage")->GetId(), L"main");
  EXPECT_EQ(chain.FindExecutePackage(L"first")->GetId(), L"first");
  EXPECT_EQ(chain.FindExecutePackage(L"skipped"), nullptr);
  EXPECT_EQ(chain.FindExecutePackage(L"msipackage"), nullptr);

  bool installed = true;
  EXPECT_FALSE(chain.QueryTargetPackage(L"prereq", installed));
  EXPECT_TRUE(installed);  // the product is there
  EXPECT_FALSE(chain.QueryTargetPackage(L"nothing", installed));
  EXPECT_FALSE(installed);
  EXPECT_TRUE(chain.QueryTargetPackage(L"main", installed));

  chain.Load(Array(R"([{"ExePackage": {"Id": "only"}}])"));
  ASSERT_EQ(chain.Packages().size(), 1u);
  EXPECT_EQ(chain.Packages()[0]->GetId(), L"only");
}

// Each malformed entry is an error that names the member by its path (the launcher adds
// "LaunchList" before a path that starts with an element), never a crash.
TEST_F(PackageChainTest, MalformedEntriesAreErrorsThatNameTheMember) {
  struct Case {
    const char* name;
    const char* list;
    const wchar_t* description;
  } const cases[] = {
      {"empty element", R"([{}])", L"[0]: the element names no package type"},
      {"type word in other letter case", R"([{"ExePackage": {}}, {"exePackage": {}}])",
       L"LaunchList[1]: \"exePackage\" is no package type (ExePackage, MsiPackage or MspPackage)"},
      {"unknown type word", R"([{"Bundle": {}}])",
       L"LaunchList[0]: \"Bundle\" is no package type (ExePackage, MsiPackage or MspPackage)"},
      {"element not an object", R"([1])", L"[0]: expected an object, found an integer"},
      {"entry not an object", R"([{"ExePackage": []}])", L"[0].ExePackage: expected an object, found an array"},
      {"condition not a string", R"([{"ExePackage": {"ExecuteCondition": 5}}])",
       L"LaunchList[0].ExePackage.ExecuteCondition: expected a string, found an integer"},
      {"flag not a boolean", R"([{"MsiPackage": {"PreRequired": "yes", "ProductCode": "x", "Version": "1"}}])",
       L"LaunchList[0].MsiPackage.PreRequired: expected a boolean, found a string"},
      {"patch target not an object", R"([{"MspPackage": {"PatchTargets": [{"ProductCode": "x"}, 7]}}])",
       L"LaunchList[0].MspPackage.PatchTargets[1]: expected an object, found an integer"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      chain.Load(Array(c.list));
      ADD_FAILURE() << "no error";
    } catch (const JSON::BadAnyCast& error) {
      EXPECT_EQ(error.Describe(), c.description);
    }
  }
  try {
    chain.Load(Array(R"([{"ExePackage": {"Id": "p", "ExecuteCondition": "A AND"}}])"));
    ADD_FAILURE() << "no error";
  } catch (const Expression::ConditionError& error) {
    EXPECT_EQ(error.Describe(),
              L"the \"ExecuteCondition\" of package Id p (LaunchList[0].ExePackage.ExecuteCondition): an operand is "
              L"missing at the end of the condition in the condition \"A AND\"");
  }
}

// The type word is compared first, then the Id, and only then whether the package applies: the Id
// of a package that does not apply is read like any other.
TEST_F(PackageChainTest, LookupComparesTypeWordThenIdThenApplicability) {
  chain.Load(Array(R"([{"ExePackage": {"Id": 5, "ExecuteCondition": "NOTHING"}}, {"ExePackage": {"Id": "x"}}])"));
  EXPECT_EQ(chain.FindExecutePackage(L"ExePackage")->GetId(), L"x");
  try {
    chain.FindExecutePackage(L"x");
    ADD_FAILURE() << "no error";
  } catch (const JSON::BadAnyCast& error) {
    EXPECT_EQ(error.Describe(), L"LaunchList[0].ExePackage.Id: expected a string, found an integer");
  }
}

INSTALLSTATE answer;
INSTALLSTATE WINAPI AnsweredProductState(LPCWSTR) { return answer; }

// A product that the installer reports absent (state 2: installed for another user only) is not
// installed here. That state cannot be made under Wine, so the installer's answer is a stand-in.
TEST_F(PackageChainTest, OnlyStatesAboveTwoCountAsInstalled) {
  auto& api = TevMSI::MsiForTests();
  const auto real = api.QueryProductState;
  api.QueryProductState = &AnsweredProductState;
  for (const auto& [state, installed] :
       {std::pair{INSTALLSTATE_ADVERTISED, false}, std::pair{INSTALLSTATE_ABSENT, false},
        std::pair{INSTALLSTATE_DEFAULT, true}}) {
    SCOPED_TRACE(static_cast<int>(state));
    answer = state;
    EXPECT_EQ(Expression::GetInstalledProductVersion(kFixtureProduct).kind == Expression::TokenKind::Version,
              installed);
  }
  api.QueryProductState = real;
}

// A file's "Name" is joined under the cache, the work folder and the launcher's folder: anything
// that would reach outside them is refused when the chain is loaded, before a file is touched.
TEST_F(PackageChainTest, FileNamesThatLeaveTheirFolderAreMalformed) {
  struct Case {
    const char* name;  // JSON text of the "Name" value
    const wchar_t* reason;
  } const cases[] = {
      {R"("..\\x.exe")", L"it climbs out of its folder with \"..\""},
      {R"("sub/../../x.exe")", L"it climbs out of its folder with \"..\""},
      {R"("C:\\Windows\\x.dll")", L"it holds the character \":\""},
      {R"("C:x.dll")", L"it holds the character \":\""},
      {R"("\\Windows\\x.dll")", L"it is rooted (it starts with a path separator)"},
      {R"("\\\\server\\share\\x.msi")", L"it is rooted (it starts with a path separator)"},
      {R"("/etc/x")", L"it is rooted (it starts with a path separator)"},
      {R"("x.exe:stream")", L"it holds the character \":\""},
      {R"("NUL")", L"the part \"NUL\" names a device"},
      {R"("sub\\com1.txt")", L"the part \"com1.txt\" names a device"},
      {R"("x.exe.")", L"the part \"x.exe.\" ends with a dot or a blank"},
      {R"("a\\\\b")", L"it has an empty folder name"},
      {R"("a\\")", L"it has an empty folder name"},
      {R"(".\\x")", L"it has a \".\" folder name"},
      {R"("x*.msi")", L"it holds the character \"*\""},
      {R"("x\u0001.msi")", L"it holds a control character"},
      {R"("")", L"it is empty"},
      {R"("x.msi.TEVPART")", L"it ends with \".tevpart\", the launcher's name for a file being written"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [list, path] :
         {std::pair{std::string(R"([{"ExePackage": {"ExecuteFile": {"Name": )") + c.name + "}}}]",
                    std::wstring(L"LaunchList[0].ExePackage.ExecuteFile.Name")},
          std::pair{
              std::string(R"([{"MsiPackage": {"ExecuteCondition": "0", "Payloads": [{"Name": "a.cab"}, {"Name": )") +
                  c.name + "}]}}]",
              std::wstring(L"LaunchList[0].MsiPackage.Payloads[1].Name")}}) {
      try {
        chain.Load(Array(list));
        ADD_FAILURE() << "no error";
      } catch (const JSON::BadAnyCast& error) {
        EXPECT_EQ(error.Path(), path);
        EXPECT_NE(error.Problem().find(std::wstring(L"cannot be used: ") + c.reason), std::wstring::npos)
            << Narrow(error.Problem());
      }
    }
  }
  // Subfolders, dots inside names and names of any script stay allowed.
  chain.Load(Array(R"([{"ExePackage": {"ExecuteFile": {"Name": "redist/x64/vc.exe"},
                        "Payloads": [{"Name": "a.b.c.cab"}, {"Name": "日本語\\データ.cab"}, {"Name": "..x"}]}}])"));
  EXPECT_EQ(chain.Packages().size(), 1u);
  // A file entry without a name names nothing to fetch.
  try {
    chain.Load(Array(R"([{"ExePackage": {"Payloads": [{"DownloadUrl": "http://h/x"}]}}])"));
    ADD_FAILURE() << "no error";
  } catch (const JSON::BadAnyCast& error) {
    EXPECT_EQ(error.Describe(), L"LaunchList[0].ExePackage.Payloads[0].Name: the required member is missing");
  }
}

TEST_F(PackageChainTest, CacheFolderNamesMustStayInsideTheCache) {
  try {
    chain.Load(Array(R"([{"ExePackage": {"Cache": true, "CacheId": "..\\..\\Windows"}}])"));
    ADD_FAILURE() << "no error";
  } catch (const JSON::BadAnyCast& error) {
    EXPECT_EQ(error.Path(), L"LaunchList[0].ExePackage.CacheId");
  }
  // Not cached: the cache names are never read.
  chain.Load(Array(R"([{"ExePackage": {"CacheId": 5}}])"));
}

}  // namespace
