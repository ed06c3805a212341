// The package files as the application meets them: real folders under the test prefix, real
// copies and verification, and the bookkeeping that exit turns into restored and deleted files.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <tuple>
#include <functional>
#include <string>
#include <vector>

#include "../support/md5_words.h"
#include "package_test_app.h"
#include "app/folders.h"
#include "json_parser.h"
#include "msi_exception.h"
#include "copy_progress.h"
#include "partial_file.h"

namespace {

using namespace Tevrian;
using namespace TevTest;

class PackageCacheTest : public PackageFoldersTest {};

TEST_F(PackageCacheTest, FoldersFollowThePrivilegeOfTheLaunch) {
  for (const bool privileged : {false, true}) {
    SCOPED_TRACE(privileged);
    CacheApp app(root);
    app.m_manifest =
        JSON::ParseJSON(std::string(R"({"LaunchPackage": {"Privileged": )") + (privileged ? "true" : "false") + "}}")
            .AsObject();
    ASSERT_TRUE(app.PrepareFolders());
    EXPECT_EQ(app.m_workFolder, root + L"\\Temp\\{701B65B4-B91C-4B3B-93A2-8240BBE49DDA}");
    EXPECT_EQ(app.m_backupFolder, app.m_workFolder + L"\\CacheBackup");
    // Without a per-user program-data folder the cache lives under the local application data.
    EXPECT_EQ(app.m_cacheFolder, privileged ? root + L"\\Machine\\TevLauncherPackageCache" : cache);
    for (const auto& folder : {app.m_workFolder, app.m_backupFolder, app.m_cacheFolder}) {
      EXPECT_TRUE(Exists(folder)) << Narrow(folder);
    }
  }
}

TEST_F(PackageCacheTest, TheSystemsOwnKnownFoldersAreUsedUnderWine) {
  CacheApp app(root);
  app.fakeKnownFolders = false;
  app.m_manifest = JSON::ParseJSON(R"({"LaunchPackage": {"Privileged": true}})").AsObject();
  ASSERT_TRUE(app.PrepareFolders());
  EXPECT_EQ(app.m_cacheFolder, L"C:\\ProgramData\\TevLauncherPackageCache");
  app.m_manifest = JSON::ParseJSON(R"({"LaunchPackage": {}})").AsObject();
  ASSERT_TRUE(app.PrepareFolders());
  wchar_t local[MAX_PATH];
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local)));
  EXPECT_EQ(app.m_cacheFolder, std::wstring(local) + L"\\ProgramData\\TevLauncherPackageCache");
}

TEST_F(PackageCacheTest, ACacheBaseThatCannotBeNamedIsAnErrorThatSaysWhich) {
  for (const auto& [privileged, id, message] :
       {std::tuple{true, &FOLDERID_ProgramData, L"%ProgramData% フォルダが取得できません。"},
        std::tuple{false, &FOLDERID_LocalAppData, L"%LocalAppData% フォルダが取得できません。"}}) {
    CacheApp app(root);
    app.failing = id;
    app.m_manifest =
        JSON::ParseJSON(std::string(R"({"LaunchPackage": {"Privileged": )") + (privileged ? "true" : "false") + "}}")
            .AsObject();
    try {
      app.PrepareFolders();
      ADD_FAILURE() << "no error";
    } catch (const TevMSI::CMsiException& error) {
      EXPECT_EQ(error.Code(), E_ACCESSDENIED);
      EXPECT_EQ(error.Message(), message);
    }
  }
}

TEST_F(PackageCacheTest, CacheFolderIsCacheIdOverProductCodeOverId) {
  struct Case {
    const char* members;
    bool cached;
    std::wstring folder;
  } const cases[] = {
      {R"("Id": "p")", false, L"work"},
      {R"("Cache": false, "CacheId": "c", "Id": "p")", false, L"work"},
      {R"("Cache": true)", true, cache},
      {R"("Cache": true, "Id": "p")", true, cache + L"\\p"},
      {R"("Cache": true, "ProductCode": "{PC}", "Id": "p")", true, cache + L"\\{PC}"},
      {R"("Cache": true, "CacheId": "c", "ProductCode": "{PC}", "Id": "p")", true, cache + L"\\c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.members);
    CacheApp app(root);
    Load(app, std::string(R"([{"ExePackage": {)") + c.members + "}}]");
    std::wstring folder;
    EXPECT_EQ(Package(app).GetCacheFolder(folder), c.cached);
    EXPECT_EQ(folder, c.folder == L"work" ? app.m_workFolder : c.folder);
  }
}

TEST_F(PackageCacheTest, AFileBesideTheLauncherIsUsedOnlyWhenItVerifies) {
  WriteText(Media(L"good.exe"), "the right content");
  WriteText(Media(L"short.cab"), "too short");
  CacheApp app(root);
  Load(app, R"([{"ExePackage": {"ExecuteFile": )" + Entry("good.exe", "the right content") + R"(, "Payloads": [)" +
                Entry("short.cab", "the content it should have") + "," + Entry("absent.cab", "x") + "]}}]");
  auto& package = Package(app);
  RecordingProgress progress;
  ASSERT_TRUE(package.ResolveFiles({}, &progress));
  EXPECT_EQ(progress.steps, (std::vector<std::uint32_t>{1, 1, 1}));
  const PackageFile& good = package.files.at(L"good.exe");
  EXPECT_TRUE(good.local);
  EXPECT_EQ(good.source, Media(L"good.exe"));
  EXPECT_EQ(good.cachePath, app.m_workFolder + L"\\good.exe");
  EXPECT_FALSE(good.cached);
  for (const wchar_t* name : {L"short.cab", L"absent.cab"}) {
    EXPECT_FALSE(package.files.at(name).local);
    EXPECT_EQ(package.files.at(name).source, std::wstring(L"http://127.0.0.1:9/") + name);
  }
  // The wrong file beside the launcher is logged once, then left for the download.
  int logged = 0;
  for (const auto& line : app.LogBodies()) logged += line.find(L"file size varies(") != std::wstring::npos;
  EXPECT_EQ(logged, 1);
  EXPECT_EQ(package.GetExecuteFilePath(), app.m_workFolder + L"\\good.exe");
  EXPECT_EQ(package.GetTotalSize(), 17 + 26 + 1);
}

TEST_F(PackageCacheTest, CopiesArriveWholeVerifiedAndWritable) {
  const std::string content(300000, 'p');
  WriteText(Media(L"sub"), "");
  DeleteFileW(Media(L"sub").c_str());
  CreateDirectoryW(Media(L"redist").c_str(), nullptr);
  WriteText(Media(L"redist\\vc.exe"), content);
  SetFileAttributesW(Media(L"redist\\vc.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  CacheApp app(root);
  Load(app, CachedExePackage("vc", "redist/vc.exe", content));
  auto& package = Package(app);
  ASSERT_TRUE(package.ResolveFiles({}, nullptr));
  RecordingProgress progress;
  ASSERT_TRUE(package.AcquireFiles({}, &progress));
  const std::wstring placed = cache + L"\\vc\\redist/vc.exe";
  EXPECT_EQ(package.GetExecuteFilePath(), placed);
  EXPECT_EQ(ReadText(placed), content);
  EXPECT_FALSE(GetFileAttributesW(placed.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(Exists(PartialFilePath(placed)));
  EXPECT_EQ(app.m_obtainedFiles, std::set<std::wstring>{placed});
  EXPECT_TRUE(app.m_restoreFiles.empty());  // nothing was there to back up
  SetFileAttributesW(Media(L"redist\\vc.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A read-only file in the cache that no longer verifies is replaced all the same, and the new copy is
// writable (Windows refuses a move over a read-only file).
TEST_F(PackageCacheTest, AStaleReadOnlyCachedFileIsReplaced) {
  const std::string content(3000, 'n');
  WriteText(Media(L"new.exe"), content);
  CacheApp app(root);
  Load(app, CachedExePackage("ro", "new.exe", content));
  auto& package = Package(app);
  ASSERT_TRUE(package.ResolveFiles({}, nullptr));
  const std::wstring placed = package.GetExecuteFilePath();
  CreateDirectoryW((cache + L"\\ro").c_str(), nullptr);
  WriteText(placed, "an older release");
  SetFileAttributesW(placed.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(package.AcquireFiles({}, nullptr));
  EXPECT_EQ(ReadText(placed), content);
  EXPECT_FALSE(GetFileAttributesW(placed.c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(Exists(PartialFilePath(placed)));
}

// A source that changed after it was found is not copied into the cache as if it were right.
TEST_F(PackageCacheTest, ACopyThatDoesNotVerifyNeverEntersTheCache) {
  WriteText(Media(L"a.msi"), "the right content");
  CacheApp app(root);
  Load(app, R"([{"ExePackage": {"Cache": true, "ExecuteFile": )" + Entry("a.msi", "the right content") + "}}]");
  auto& package = Package(app);
  ASSERT_TRUE(package.ResolveFiles({}, nullptr));
  WriteText(Media(L"a.msi"), "the wrong content");
  try {
    package.AcquireFiles({}, nullptr);
    ADD_FAILURE() << "no error";
  } catch (const TevMSI::CMsiException& error) {
    EXPECT_EQ(static_cast<std::uint32_t>(error.Code()), 0x80073CF5u);
  }
  EXPECT_FALSE(Exists(cache + L"\\a.msi"));
  EXPECT_FALSE(Exists(PartialFilePath(cache + L"\\a.msi")));
  EXPECT_TRUE(app.m_obtainedFiles.empty());
}

TEST_F(PackageCacheTest, AValidCachedCopyIsReusedAndBackedUpOnce) {
  CreateDirectoryW((root + L"\\User\\ProgramData").c_str(), nullptr);
  CreateDirectoryW(cache.c_str(), nullptr);
  WriteText(cache + L"\\shared.cab", "cached before");
  CacheApp app(root);
  const std::string file = Entry("shared.cab", "cached before");
  Load(app, R"([{"ExePackage": {"Cache": true, "Payloads": [)" + file + R"(]}},
               {"ExePackage": {"Cache": true, "Payloads": [)" +
                file + "]}}]");
  for (std::size_t i = 0; i < 2; ++i) {
    RecordingProgress progress;
    ASSERT_TRUE(Package(app, i).ResolveFiles({}, nullptr));
    ASSERT_TRUE(Package(app, i).AcquireFiles({}, &progress));
    EXPECT_EQ(progress.steps, std::vector<std::uint32_t>{13});  // its "Size", in one step
  }
  EXPECT_TRUE(app.m_obtainedFiles.empty());
  ASSERT_EQ(app.m_restoreFiles.size(), 1u);
  const std::wstring backup = app.m_restoreFiles.at(cache + L"\\shared.cab");
  EXPECT_EQ(backup.rfind(app.m_backupFolder + L"\\TEV", 0), 0u) << Narrow(backup);
  EXPECT_EQ(ReadText(backup), "cached before");
}

// What the run did to the cache is undone at exit for a package that failed: a file it replaced
// gets its old content back, a file it added goes, a file that was already right stays.
TEST_F(PackageCacheTest, ExitRestoresReplacedDeletesAddedAndLeavesValidFiles) {
  CreateDirectoryW((root + L"\\User\\ProgramData").c_str(), nullptr);
  CreateDirectoryW(cache.c_str(), nullptr);
  WriteText(cache + L"\\valid.cab", "valid before");
  WriteText(cache + L"\\stale.cab", "stale before");
  WriteText(Media(L"stale.cab"), "fresh content");
  WriteText(Media(L"added.cab"), "added content");
  CacheApp app(root);
  Load(app, R"([{"ExePackage": {"Cache": true, "Payloads": [)" + Entry("valid.cab", "valid before") + "," +
                Entry("stale.cab", "fresh content") + "," + Entry("added.cab", "added content") + "]}}]");
  auto& package = Package(app);
  ASSERT_TRUE(package.ResolveFiles({}, nullptr));
  ASSERT_TRUE(package.AcquireFiles({}, nullptr));
  EXPECT_EQ(ReadText(cache + L"\\stale.cab"), "fresh content");
  package.AddCleanupFiles();
  app.ExitInstance();
  EXPECT_EQ(ReadText(cache + L"\\valid.cab"), "valid before");
  EXPECT_EQ(ReadText(cache + L"\\stale.cab"), "stale before");
  EXPECT_FALSE(Exists(cache + L"\\added.cab"));
  EXPECT_FALSE(Exists(app.m_workFolder));
  const auto bodies = app.LogBodies();
  for (const auto& name : {L"added.cab", L"stale.cab", L"valid.cab"}) {
    EXPECT_NE(std::find(bodies.begin(), bodies.end(), L"AddCleanupFile( " + cache + L"\\" + name + L" )"), bodies.end())
        << Narrow(name);
  }
}

// Wine's CopyFileExW never calls its progress routine, so a copy cannot be interrupted here: the
// routine is checked by calling it as the copy would, with the byte counts a copy reports.
TEST(CopyProgressTest, CountsEachByteOnceAndStopsACancelledCopy) {
  RecordingProgress progress;
  cancellation_token_source source;
  const cancellation_token token = source.get_token();
  CopyProgress data{&progress, &token, {}};
  const auto report = [&](LONGLONG transferred) {
    LARGE_INTEGER done, none{};
    done.QuadPart = transferred;
    return OnCopyProgress(none, done, none, none, 1, CALLBACK_CHUNK_FINISHED, nullptr, nullptr, &data);
  };
  EXPECT_EQ(report(0), static_cast<DWORD>(PROGRESS_CONTINUE));  // the stream's start: nothing to count
  EXPECT_EQ(report(65536), static_cast<DWORD>(PROGRESS_CONTINUE));
  EXPECT_EQ(report(65536), static_cast<DWORD>(PROGRESS_CONTINUE));  // no new bytes: no step
  EXPECT_EQ(report(100000), static_cast<DWORD>(PROGRESS_CONTINUE));
  EXPECT_EQ(progress.steps, (std::vector<std::uint32_t>{65536, 34464}));
  EXPECT_EQ(progress.waits, 4);
  source.cancel();
  EXPECT_EQ(report(131072), static_cast<DWORD>(PROGRESS_CANCEL));
  // Without a dialog nothing is shown, and only a token can stop the copy.
  CopyProgress quiet{nullptr, &token, {}};
  LARGE_INTEGER done, none{};
  done.QuadPart = 10;
  EXPECT_EQ(OnCopyProgress(none, done, none, none, 1, CALLBACK_CHUNK_FINISHED, nullptr, nullptr, &quiet),
            static_cast<DWORD>(PROGRESS_CANCEL));
}

TEST_F(PackageCacheTest, CancellationIsSeenInEveryPhaseAndNeverWithoutAToken) {
  WriteText(Media(L"a.exe"), "a");
  CacheApp app(root);
  Load(app, R"([{"ExePackage": {"ExecuteFile": )" + Entry("a.exe", "a") + "}}]");
  auto& package = Package(app);
  cancellation_token_source source;
  source.cancel();
  EXPECT_FALSE(package.ResolveFiles(source.get_token(), nullptr));
  EXPECT_EQ(app.m_exitCode, 0u);  // resolving leaves the exit code to the run flow
  ASSERT_TRUE(package.ResolveFiles({}, nullptr));
  EXPECT_FALSE(package.AcquireFiles(source.get_token(), nullptr));
  EXPECT_EQ(app.m_exitCode, 1602u);
  EXPECT_TRUE(package.AcquireFiles(cancellation_token::none(), nullptr));
}

TEST_F(PackageCacheTest, ThePackagesDisplayNameBecomesTheProperty) {
  WriteText(Media(L"a.exe"), "a");
  CacheApp app(root);
  Load(app, R"([{"ExePackage": {"DisplayName": "Runtime 2026", "ExecuteFile": )" + Entry("a.exe", "a") + "}}]");
  ASSERT_TRUE(Package(app).ResolveFiles({}, nullptr));
  ASSERT_TRUE(Package(app).AcquireFiles({}, nullptr));
  EXPECT_EQ(app.m_properties.GetProperty(L"DisplayName").TextValue(), L"Runtime 2026");
}

TEST_F(PackageCacheTest, TotalSizeNeverWrapsBelowZero) {
  CacheApp app(root);
  Load(app, R"([{"ExePackage": {"ExecuteFile": {"Name": "a", "Size": 2000000000},
                "Payloads": [{"Name": "b", "Size": 2000000000}, {"Name": "c"}]}}])");
  EXPECT_EQ(Package(app).GetTotalSize(), 2147483647);
}

}  // namespace
