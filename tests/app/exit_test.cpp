// Exit and cleanup over real files in the temporary folder, and the process runner.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "../support/wine_path.h"
#include "app/folders.h"
#include "installer/msi_exception.h"
#include "recording_app.h"

namespace {

using namespace Tevrian;
using TevTest::RecordingApp;

std::wstring TempFolder() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

void WriteText(const std::wstring& path, const char* text) { std::ofstream(path.c_str(), std::ios::binary) << text; }

std::string ReadText(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::wstring> Matching(const std::vector<std::wstring>& lines, const wchar_t* prefix) {
  std::vector<std::wstring> found;
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

TEST(ParentFolderTest, Table) {
  struct Case {
    const wchar_t* path;
    const wchar_t* parent;
  } const cases[] = {
      {L"C:\\a\\b.txt", L"C:\\a"},
      {L"C:\\b.txt", L"C:\\"},
      {L"C:\\", L"C:\\"},
      {L"a/b/c", L"a/b"},
      {L"\\a", L""},
      {L"name", L""},
      {L"\\\\server\\share", L"\\\\server"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path);
    EXPECT_EQ(ParentFolder(c.path), c.parent);
  }
  for (const wchar_t* bad : {L"C:\\a\"b", L"C:\\a<b", L"C:\\a>b", L"C:\\a|b", L"C:\\a\tb"}) {
    try {
      ParentFolder(bad);
      ADD_FAILURE() << "no error";
    } catch (const TevMSI::CMsiException& error) {
      EXPECT_EQ(error.Code(), 87);
      EXPECT_EQ(error.Message(), L"");
    }
  }
}

class CleanupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = TempFolder() + L"tevcleanup-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(GetTickCount64());
    for (const wchar_t* folder :
         {L"", L"\\Cache", L"\\Cache\\Pkg", L"\\Cache\\Pkg\\Sub", L"\\Cache\\Keep", L"\\Work", L"\\Work\\Backup"}) {
      CreateDirectoryW((m_root + folder).c_str(), nullptr);
    }
    WriteText(m_root + L"\\stay.txt", "the root is not empty");
  }
  void TearDown() override { RemoveFolderTree(m_root); }

  std::wstring m_root;
};

TEST_F(CleanupTest, DeletesRestoresAndLeavesAloneAsTheBookkeepingSays) {
  const std::wstring fresh = m_root + L"\\Cache\\Pkg\\Sub\\fresh.cab";
  const std::wstring replaced = m_root + L"\\Cache\\Keep\\replaced.msi";
  const std::wstring valid = m_root + L"\\Cache\\Keep\\valid.msi";
  const std::wstring backup = m_root + L"\\Work\\Backup\\replaced.msi";
  WriteText(fresh, "downloaded by this run");
  WriteText(replaced, "downloaded by this run");
  WriteText(backup, "the file from before");
  WriteText(valid, "valid before the run");

  RecordingApp app;
  app.m_workFolder = m_root + L"\\Work";
  app.m_cleanupFiles = {fresh, replaced, valid, fresh};
  app.m_obtainedFiles = {fresh, replaced};
  app.m_restoreFiles = {{replaced, backup}};
  EXPECT_EQ(app.ExitInstance(), 0u);

  EXPECT_FALSE(Exists(fresh));
  EXPECT_FALSE(Exists(m_root + L"\\Cache\\Pkg"));  // emptied, removed upwards
  EXPECT_EQ(ReadText(replaced), "the file from before");
  EXPECT_EQ(ReadText(valid), "valid before the run");
  EXPECT_FALSE(Exists(m_root + L"\\Work"));
  EXPECT_TRUE(Exists(m_root + L"\\stay.txt"));

  const auto lines = app.LogBodies();
  EXPECT_EQ(Matching(lines, L"RestoreFile( "),
            std::vector<std::wstring>{L"RestoreFile( " + replaced + L" <- " + backup + L" )"});
  // Listed twice, deleted twice: the second attempt fails and says why; its folder is tried once.
  const auto deletes = Matching(lines, L"DeleteFile( ");
  EXPECT_EQ(deletes.size(), 2u);
  const auto failures = Matching(lines, L"Failed. DeleteFile( ");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rfind(L"Failed. DeleteFile( " + fresh + L" ):2, ", 0), 0u);
  EXPECT_EQ(Matching(lines, L"Remove( "),
            (std::vector<std::wstring>{L"Remove( " + m_root + L"\\Cache\\Pkg\\Sub ):Succeeded",
                                       L"Remove( " + m_root + L"\\Cache\\Pkg ):Succeeded",
                                       L"Remove( " + m_root + L"\\Cache ):Failed"}));
  const auto start = std::find(lines.begin(), lines.end(), L"Start RemoveCleanupFileFolder()");
  const auto end = std::find(lines.begin(), lines.end(), L"End RemoveCleanupFileFolder()");
  ASSERT_NE(start, lines.end());
  EXPECT_LT(start, end);
  EXPECT_EQ(*(end + 1), L"ExitCode=0(0x00000000)");
}

// The restore writes through a partial file; one that cannot be made says so in the log and leaves
// the cached file as it was, with no partial file beside it.
TEST_F(CleanupTest, RestoreGoesThroughAPartialFileAndItsFailureIsLogged) {
  const std::wstring replaced = m_root + L"\\Cache\\Keep\\replaced.msi";
  const std::wstring backup = m_root + L"\\Work\\Backup\\gone.tmp";
  WriteText(replaced, "downloaded by this run");
  // One exit of a run that replaced the cached file and failed: the lines it logged.
  const auto exitRestoring = [&] {
    RecordingApp app;
    app.m_cleanupFiles = {replaced};
    app.m_obtainedFiles = {replaced};
    app.m_restoreFiles = {{replaced, backup}};
    EXPECT_EQ(app.ExitInstance(), 0u);
    return app.LogBodies();
  };

  const auto failures = Matching(exitRestoring(), L"Failed. CopyFile( ");
  EXPECT_EQ(ReadText(replaced), "downloaded by this run");
  EXPECT_FALSE(Exists(replaced + L".tevpart"));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rfind(L"Failed. CopyFile( " + backup + L", " + replaced + L".tevpart ):2, ", 0), 0u);

  // With the backup in place the file comes back whole, and nothing is left beside it.
  WriteText(backup, "the file from before");
  EXPECT_TRUE(Matching(exitRestoring(), L"Failed. ").empty());
  EXPECT_EQ(ReadText(replaced), "the file from before");
  EXPECT_FALSE(Exists(replaced + L".tevpart"));
}

TEST_F(CleanupTest, TheWorkFolderGoesWholeReadOnlyFilesIncluded) {
  const std::wstring work = m_root + L"\\Work";
  WriteText(work + L"\\Backup\\TEV1.tmp", "the backup of a read-only cached file");
  SetFileAttributesW((work + L"\\Backup\\TEV1.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteText(work + L"\\setup.exe", "a package file");
  RemoveFolderTree(work);
  EXPECT_EQ(GetFileAttributesW(work.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CleanupTest, FoldersDifferingInCaseAreTriedOnce) {
  const std::wstring a = m_root + L"\\Cache\\Keep\\a.cab";
  const std::wstring b = m_root + L"\\CACHE\\keep\\b.cab";
  WriteText(a, "a");
  WriteText(b, "b");
  RecordingApp app;
  app.m_cleanupFiles = {a, b};
  app.m_obtainedFiles = {a, b};
  app.ExitInstance();
  const auto removes = Matching(app.LogBodies(), L"Remove( ");
  ASSERT_FALSE(removes.empty());
  EXPECT_EQ(removes[0], L"Remove( " + m_root + L"\\Cache\\Keep ):Succeeded");
  EXPECT_EQ(std::count_if(removes.begin(), removes.end(),
                          [](const std::wstring& l) {
                            return l.find(L"\\Cache\\Keep )") != std::wstring::npos ||
                                   l.find(L"\\CACHE\\keep )") != std::wstring::npos;
                          }),
            1);
}

// Exit never raises: a path that no folder can be named for is logged and the rest is cleaned up.
TEST_F(CleanupTest, APathWithoutAFolderNameIsLoggedAndTheOthersAreCleanedUp) {
  const std::wstring bad = m_root + L"\\Cache\\a\"b.cab";
  const std::wstring fresh = m_root + L"\\Cache\\Pkg\\Sub\\fresh.cab";
  WriteText(fresh, "downloaded by this run");
  RecordingApp app;
  app.m_cleanupFiles = {bad, fresh};
  app.m_obtainedFiles = {bad, fresh};
  app.m_exitCode = 1603;
  EXPECT_EQ(app.ExitInstance(), 1603u);
  EXPECT_FALSE(Exists(fresh));
  EXPECT_FALSE(Exists(m_root + L"\\Cache\\Pkg"));
  EXPECT_EQ(Matching(app.LogBodies(), L"Failed. ParentFolder( "),
            std::vector<std::wstring>{L"Failed. ParentFolder( " + bad + L" ):87"});
}

TEST(ExitTest, NothingCachedWritesOnlyTheClosingLines) {
  RecordingApp app;
  app.ExitInstance();
  EXPECT_EQ(app.LogBodies(),
            (std::vector<std::wstring>{L"ExitCode=0(0x00000000)", L"m_scheduleReboot=false, m_forceReboot=false",
                                       L"Properties"}));
}

TEST(RemoveEmptyFoldersTest, StopsAtAKnownFolder) {
  wchar_t programData[MAX_PATH] = {};
  ASSERT_TRUE(GetEnvironmentVariableW(L"ProgramData", programData, MAX_PATH));
  const std::wstring base = std::wstring(programData) + L"\\TevLauncherKnownFolderTest";
  CreateDirectoryW(base.c_str(), nullptr);
  CreateDirectoryW((base + L"\\Sub").c_str(), nullptr);
  std::vector<std::wstring> lines;
  RemoveEmptyFolders(nullptr, base + L"\\Sub", [&](const std::wstring& line) { lines.push_back(line); });
  EXPECT_EQ(lines, (std::vector<std::wstring>{L"Remove( " + base + L"\\Sub ):Succeeded",
                                              L"Remove( " + base + L" ):Succeeded"}));
  EXPECT_TRUE(IsDirectory(programData));
}

// Known folders that a walk up from an installer's files can meet: the user's, the shared ones,
// the program and system folders and the roots above them.
TEST(KnownFolderTest, ReachableKnownFoldersAreRefusedWithAndWithoutAManager) {
  struct Folder {
    const char* name;
    REFKNOWNFOLDERID id;
  } const folders[] = {
      {"Desktop", FOLDERID_Desktop},
      {"Documents", FOLDERID_Documents},
      {"Downloads", FOLDERID_Downloads},
      {"Music", FOLDERID_Music},
      {"Pictures", FOLDERID_Pictures},
      {"Videos", FOLDERID_Videos},
      {"Favorites", FOLDERID_Favorites},
      {"Templates", FOLDERID_Templates},
      {"SendTo", FOLDERID_SendTo},
      {"Recent", FOLDERID_Recent},
      {"StartMenu", FOLDERID_StartMenu},
      {"Programs", FOLDERID_Programs},
      {"Startup", FOLDERID_Startup},
      {"CommonStartMenu", FOLDERID_CommonStartMenu},
      {"CommonPrograms", FOLDERID_CommonPrograms},
      {"CommonStartup", FOLDERID_CommonStartup},
      {"CommonTemplates", FOLDERID_CommonTemplates},
      {"Profile", FOLDERID_Profile},
      {"UserProfiles", FOLDERID_UserProfiles},
      {"LocalAppData", FOLDERID_LocalAppData},
      {"RoamingAppData", FOLDERID_RoamingAppData},
      {"ProgramData", FOLDERID_ProgramData},
      {"ProgramFiles", FOLDERID_ProgramFiles},
      {"ProgramFilesX86", FOLDERID_ProgramFilesX86},
      {"ProgramFilesCommon", FOLDERID_ProgramFilesCommon},
      {"ProgramFilesCommonX86", FOLDERID_ProgramFilesCommonX86},
      {"Windows", FOLDERID_Windows},
      {"System", FOLDERID_System},
      {"SystemX86", FOLDERID_SystemX86},
      {"Fonts", FOLDERID_Fonts},
      {"Public", FOLDERID_Public},
      {"PublicDesktop", FOLDERID_PublicDesktop},
      {"PublicDocuments", FOLDERID_PublicDocuments},
      {"PublicDownloads", FOLDERID_PublicDownloads},
      {"PublicMusic", FOLDERID_PublicMusic},
      {"PublicPictures", FOLDERID_PublicPictures},
      {"PublicVideos", FOLDERID_PublicVideos},
  };
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IKnownFolderManager* manager = nullptr;
  ASSERT_TRUE(
      SUCCEEDED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&manager))));
  for (const auto& folder : folders) {
    SCOPED_TRACE(folder.name);
    PWSTR found = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(folder.id, KF_FLAG_DONT_VERIFY, nullptr, &found)));
    const std::wstring path = found;
    CoTaskMemFree(found);
    std::wstring other = path + L"\\";  // another spelling of the same folder
    CharUpperW(other.data());
    EXPECT_TRUE(IsStandardKnownFolder(path));
    EXPECT_TRUE(IsStandardKnownFolder(other));
    EXPECT_TRUE(IsKnownFolder(manager, path));
    EXPECT_TRUE(IsKnownFolder(manager, other));
    EXPECT_FALSE(IsStandardKnownFolder(path + L"\\TevLauncher"));
    EXPECT_FALSE(IsKnownFolder(manager, path + L"\\TevLauncher"));
  }
  manager->Release();
  CoUninitialize();
}

TEST(RemoveEmptyFoldersTest, MissingDriveEndsTheWalk) {
  std::vector<std::wstring> lines;
  RemoveEmptyFolders(nullptr, L"Q:\\missing\\folder", [&](const std::wstring& line) { lines.push_back(line); });
  EXPECT_EQ(lines, (std::vector<std::wstring>{L"Remove( Q:\\missing\\folder ):Not Exists",
                                              L"Remove( Q:\\missing ):Not Exists", L"Remove( Q:\\ ):Not Exists"}));
}

TEST(RunAndWaitTest, ExitCodeOfTheProgram) {
  RecordingApp app;
  std::uint32_t exitCode = 99;
  const std::wstring program = TevTest::WinePath(TEV_EXITWITH);
  EXPECT_TRUE(app.RunAndWait(exitCode, program, L"3010", nullptr));
  EXPECT_EQ(exitCode, 3010u);
  EXPECT_EQ(app.LogBodies(),
            (std::vector<std::wstring>{L"Call:ShellExecute( " + program + L", 3010 )", L"Execute!( " + program + L" )",
                                       L"Succeeded: GetExitCodeProcess( 3010 ):ExitCode=3010"}));
}

TEST(RunAndWaitTest, ProgramThatCannotStart) {
  RecordingApp app;
  std::uint32_t exitCode = 0;
  EXPECT_FALSE(app.RunAndWait(exitCode, L"C:\\no such folder\\setup.exe", L"/q", L"open"));
  EXPECT_NE(exitCode, 0u);
  EXPECT_EQ(app.LogBodies(), (std::vector<std::wstring>{L"Call:ShellExecute( C:\\no such folder\\setup.exe, /q, open )",
                                                        L"Failed: ShellExecuteEx():" + std::to_wstring(exitCode)}));
}

}  // namespace
