// The chain's three phases over real folders and real files beside the launcher: what each phase
// touches, in which order, how it shows on the bar, where it stops, and what it hands to the
// exit's cleanup. Installers are recorded rather than started (the process runner has its own
// tests); everything else is real.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "msi_exception.h"
#include "package_test_app.h"

namespace {

using namespace Tevrian;
using namespace TevTest;

class ChainRunnerTest : public PackageFoldersTest {
 protected:
  void SetUp() override {
    PackageFoldersTest::SetUp();
    Fresh();
  }
  // A new application over an empty cache (the launcher's folder keeps its files).
  void Fresh() {
    RemoveFolderTree(root + L"\\User\\ProgramData");
    app = std::make_unique<CacheApp>(root);
    app->fakeRuns = true;
    bar = RecordingProgress();
    source = cancellation_token_source();
  }
  // An executable package whose "ExecuteFile" lies verified beside the launcher, cached under its Id.
  std::string Exe(const std::string& id, const std::string& members = "") {
    const std::string name = id + ".exe";
    const std::string content = "installer " + id;
    WriteText(Media(std::wstring(name.begin(), name.end()).c_str()), content);
    return R"({"ExePackage": {"Id": ")" + id + R"(", "DisplayName": ")" + id + R"(", "Cache": true, "ExecuteFile": )" +
           Entry(name, content) + (members.empty() ? "" : ", " + members) + "}}";
  }
  void LoadChain(const std::vector<std::string>& packages) {
    std::string list = "[";
    for (const auto& package : packages) list += (list.size() > 1 ? "," : "") + package;
    Load(*app, list + "]");
  }
  // The file names of the programs started, in order.
  std::vector<std::string> Started() const {
    std::vector<std::string> names;
    for (const auto& run : app->runs) {
      const std::wstring program = run.substr(0, run.find(L'|'));
      names.push_back(Narrow(program.substr(program.rfind(L'\\') + 1)));
    }
    return names;
  }
  std::vector<std::string> CleanupNames() const {
    std::vector<std::string> names;
    for (const auto& path : app->m_cleanupFiles) names.push_back(Narrow(path.substr(path.rfind(L'\\') + 1)));
    return names;
  }
  std::wstring Cached(const std::wstring& id) const { return cache + L"\\" + id + L"\\" + id + L".exe"; }
  bool Phases12() {
    return app->m_packages.ResolveSources(source.get_token(), &bar) &&
           app->m_packages.InstallPrerequisites(source.get_token(), &bar);
  }

  std::unique_ptr<CacheApp> app;
  RecordingProgress bar;
  cancellation_token_source source;
};

TEST_F(ChainRunnerTest, PrerequisitesInstallInPhaseTwoAndTheRestInPhaseThree) {
  LoadChain({Exe("A", R"("PreRequired": true)"), Exe("Skipped", R"("PreRequired": true, "ExecuteCondition": "0")"),
             Exe("B", R"("PreRequired": true)"), Exe("Main")});
  // One unit per package, per payload and per declared byte, of the packages that take part.
  const std::uint32_t total = app->m_packages.ProgressTotal();
  EXPECT_EQ(total, 3u + 11 + 11 + 14);

  ASSERT_TRUE(app->m_packages.ResolveSources(source.get_token(), &bar));
  EXPECT_EQ(bar.Total(), 3u) << "one unit per file entry";
  EXPECT_TRUE(app->runs.empty());

  ASSERT_TRUE(app->m_packages.InstallPrerequisites(source.get_token(), &bar));
  EXPECT_EQ(Started(), (std::vector<std::string>{"A.exe", "B.exe"}));
  EXPECT_EQ(bar.contents,
            (std::vector<std::wstring>{L"A をインストールしています。", L"B をインストールしています。"}));
  EXPECT_TRUE(Exists(Cached(L"Main"))) << "the main package's files are acquired in phase two";
  EXPECT_FALSE(Exists(Cached(L"Skipped")));
  EXPECT_EQ(bar.Total(), total);

  ASSERT_TRUE(app->m_packages.InstallPackages());
  EXPECT_EQ(Started(), (std::vector<std::string>{"A.exe", "B.exe", "Main.exe"}));
  EXPECT_TRUE(app->m_cleanupFiles.empty()) << "nothing failed";
}

TEST_F(ChainRunnerTest, APrerequisiteThatDoesNotSucceedStopsTheChainAtItself) {
  struct Case {
    const char* name;
    std::uint32_t exitCode;
    const char* table;
    bool goesOn;
    std::uint32_t launcherExitCode;
  } const cases[] = {
      {"forceReboot", 1641, R"([{"Value": 1641, "Behavior": "forceReboot"}])", false, 1641},
      {"an unlisted code", 5, "[]", false, 5},
      {"scheduleReboot", 3010, R"([{"Value": 3010, "Behavior": "scheduleReboot"}])", true, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    app->exitCodeOf = [&](const std::wstring& program) { return program.ends_with(L"\\A.exe") ? c.exitCode : 0u; };
    LoadChain({Exe("A", std::string(R"("PreRequired": true, "ExitCode": )") + c.table),
               Exe("B", R"("PreRequired": true)"), Exe("Main")});
    EXPECT_EQ(Phases12(), c.goesOn);
    EXPECT_EQ(app->m_exitCode, c.launcherExitCode);
    if (c.goesOn) {
      EXPECT_EQ(Started(), (std::vector<std::string>{"A.exe", "B.exe"}));
      EXPECT_TRUE(app->m_cleanupFiles.empty());
    } else {
      EXPECT_EQ(Started(), std::vector<std::string>{"A.exe"});
      EXPECT_EQ(CleanupNames(), std::vector<std::string>{"A.exe"}) << "only the failing package's files";
      EXPECT_FALSE(Exists(Cached(L"Main"))) << "nothing after it is acquired";
    }
  }
}

TEST_F(ChainRunnerTest, CancellationStopsBeforeAnythingElseIsStarted) {
  struct Case {
    const char* name;
    bool cancelAtFirstStep;  // else when the prerequisite's install text is shown
    bool resolves;
  } const cases[] = {
      {"before the first file", true, false},
      {"before the prerequisite's install", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    if (c.cancelAtFirstStep) {
      bar.onAdvance = [&](std::uint32_t) { source.cancel(); };
    } else {
      bar.onContent = [&](const std::wstring&) { source.cancel(); };
    }
    LoadChain({Exe("A", R"("PreRequired": true)"), Exe("Main")});
    EXPECT_EQ(app->m_packages.ResolveSources(source.get_token(), &bar), c.resolves);
    if (c.resolves) {
      EXPECT_FALSE(app->m_packages.InstallPrerequisites(source.get_token(), &bar));
      EXPECT_EQ(app->m_exitCode, 1602u);
      EXPECT_EQ(CleanupNames(), std::vector<std::string>{"A.exe"});
    }
    EXPECT_TRUE(app->runs.empty());
    EXPECT_FALSE(Exists(Cached(L"Main")));
  }
}

TEST_F(ChainRunnerTest, AnInstallerErrorHandsOverThePackagesFilesAndTravelsOn) {
  for (const bool prerequisite : {true, false}) {
    SCOPED_TRACE(prerequisite);
    Fresh();
    const char* members = prerequisite ? R"("PreRequired": true)" : "";
    LoadChain({Exe("Bad", members), Exe("Other", members)});
    if (!prerequisite) {
      ASSERT_TRUE(Phases12());
    }
    // A program that cannot be started: its package's files go to the cleanup, and no other's.
    app->runsFail = true;
    app->fakeExitCode = ERROR_ACCESS_DENIED;
    try {
      if (prerequisite) {
        Phases12();
      } else {
        app->m_packages.InstallPackages();
      }
      ADD_FAILURE() << "no error";
    } catch (const TevMSI::CMsiException& error) {
      EXPECT_EQ(error.Code(), ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(Started(), std::vector<std::string>{"Bad.exe"});
    EXPECT_EQ(CleanupNames(), std::vector<std::string>{"Bad.exe"});
  }
}

TEST_F(ChainRunnerTest, PhaseThreeStopsAtTheFirstFailureAndKeepsWhatWasInstalledBefore) {
  LoadChain({Exe("First"), Exe("Second"), Exe("Third")});
  app->exitCodeOf = [](const std::wstring& program) { return program.ends_with(L"\\Second.exe") ? 1603u : 0u; };
  ASSERT_TRUE(Phases12());
  EXPECT_FALSE(app->m_packages.InstallPackages());
  EXPECT_EQ(Started(), (std::vector<std::string>{"First.exe", "Second.exe"}));
  EXPECT_EQ(app->m_exitCode, 1603u);
  EXPECT_EQ(CleanupNames(), std::vector<std::string>{"Second.exe"});
}

TEST_F(ChainRunnerTest, ProgressTotalCountsOnlyTakingPartAndNeverWraps) {
  struct Case {
    const char* list;
    std::uint32_t total;
  } const cases[] = {
      {"[]", 0},
      {R"([{"ExePackage": {"ExecuteCondition": "0", "ExecuteFile": {"Name": "a", "Size": 5}}}])", 0},
      {R"([{"ExePackage": {"ExecuteFile": {"Name": "a", "Size": 5}, "Payloads": [{"Name": "b", "Size": 7}, {"Name": "c"}]}}])",
       1 + 2 + 12},
      {R"([{"ExePackage": {"ExecuteFile": {"Name": "a", "Size": 2147483647}}},
           {"ExePackage": {"ExecuteFile": {"Name": "b", "Size": 2147483647}}},
           {"ExePackage": {"ExecuteFile": {"Name": "c", "Size": 2147483647}}}])",
       0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    Fresh();
    Load(*app, c.list);
    EXPECT_EQ(app->m_packages.ProgressTotal(), c.total);
  }
}

}  // namespace
