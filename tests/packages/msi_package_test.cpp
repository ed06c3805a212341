// MSI packages: the msiexec command line, and real installs by Wine's msiexec of wixl-built
// fixtures. The suite's products are removed before and after it, so it can run again in a prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <msi.h>
#include <msiquery.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "../support/wine_path.h"
#include "installer_log_text.h"
#include "app/recording_app.h"
#include "install_mode.h"
#include "json_parser.h"
#include "msi_api.h"
#include "msi_exception.h"
#include "msi_handle.h"
#include "msi_package.h"
#include "text.h"
#include "unique_handle.h"

namespace {

using namespace Tevrian;

const wchar_t kPlainProduct[] = L"{B7E1A3C0-5D2F-4A61-8C3B-2E4F6A8B0C11}";
const wchar_t kRebuiltProduct[] = L"{B7E1A3C0-5D2F-4A61-8C3B-2E4F6A8B0C21}";
const wchar_t kVersionedProduct[] = L"{B7E1A3C0-5D2F-4A61-8C3B-2E4F6A8B0C31}";
const wchar_t kRebootProduct[] = L"{B7E1A3C0-5D2F-4A61-8C3B-2E4F6A8B0C41}";
const wchar_t kRebootPreProduct[] = L"{B7E1A3C0-5D2F-4A61-8C3B-2E4F6A8B0C51}";

std::wstring Fixture(const char* name) { return TevTest::WinePath((std::string(TEV_FIXTURE_DIR "/") + name).c_str()); }

// Runs msiexec directly, outside the code under test; its exit code.
DWORD Msiexec(const std::wstring& arguments) {
  std::wstring command = L"msiexec " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    return GetLastError();
  }
  const TevMSI::CKernelHandle process(started.hProcess), thread(started.hThread);
  WaitForSingleObject(process.get(), 120000);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.get(), &exitCode);
  return exitCode;
}

void RemoveProducts() {
  for (const wchar_t* code : {kPlainProduct, kRebuiltProduct, kVersionedProduct, kRebootProduct, kRebootPreProduct}) {
    Msiexec(L"/x " + std::wstring(code) + L" /qn");
  }
}

INSTALLSTATE ProductState(const wchar_t* code) { return TevMSI::Msi().QueryProductState(code); }

std::wstring ProductInfo(const wchar_t* code, const wchar_t* name) {
  wchar_t value[128] = {};
  DWORD size = 128;
  if (TevMSI::Msi().GetProductInfo(code, name, value, &size) != ERROR_SUCCESS) return {};
  return value;
}

// The package code a package file carries.
std::wstring PackageCodeOf(const std::wstring& path) {
  TevMSI::CMsiDatabase database;
  TevMSI::CMsiSummaryInfo summary;
  UINT type = 0;
  INT integer = 0;
  FILETIME time{};
  std::wstring code;
  if (!database.Open(path, MSIDBOPEN_READONLY) || !summary.Open(database, 0) ||
      !summary.GetProperty(9, type, integer, time, code)) {
    return {};
  }
  return code;
}

// The application as host, with a temporary folder of the test's own for installer logs.
class MsiHost : public TevTest::RecordingApp {
 public:
  std::wstring temp = L"C:\\Temp\\";

 protected:
  std::wstring TempFolder() override { return temp; }
};

using TevTest::WithoutTime;

class MsiPackageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RemoveProducts(); }
  static void TearDownTestSuite() { RemoveProducts(); }

  std::unique_ptr<CExecuteMsiPackage> Package(const std::string& entryJson) {
    auto package = std::make_unique<CExecuteMsiPackage>(JSON::ParseJSON(entryJson).AsObject(), host.m_properties);
    package->SetHost(&host);
    return package;
  }

  MsiHost host;
};

TEST_F(MsiPackageTest, CommandLines) {
  struct Case {
    const char* name;
    bool quiet;
    bool scheduleReboot;
    std::string entry;
    std::wstring parameters;
    bool scheduleRebootAfter;
  } const kCases[] = {
      {"plain", false, false, "{}", LR"(/i "C:\p.msi"/promptrestart)", false},
      {"quiet", true, false, R"({"UILevel":"Full"})", LR"(/i "C:\p.msi"/qn /norestart)", false},
      {"quiet keeps a scheduled reboot", true, true, "{}", LR"(/i "C:\p.msi"/qn /norestart)", true},
      {"prerequisite", false, false, R"({"PreRequired":true,"UILevel":"Basic"})", LR"(/i "C:\p.msi"/norestart /qb)",
       false},
      {"prerequisite keeps a scheduled reboot", false, true, R"({"PreRequired":true})", LR"(/i "C:\p.msi"/norestart)",
       true},
      {"None", false, false, R"({"UILevel":"None"})", LR"(/i "C:\p.msi"/qn /promptrestart)", false},
      {"Basic", false, false, R"({"UILevel":"Basic"})", LR"(/i "C:\p.msi"/qb /promptrestart)", false},
      {"Reduce", false, false, R"({"UILevel":"Reduce"})", LR"(/i "C:\p.msi"/qr /promptrestart)", false},
      {"Full", false, false, R"({"UILevel":"Full"})", LR"(/i "C:\p.msi"/qf /promptrestart)", false},
      {"UILevel in another case adds nothing", false, false, R"({"UILevel":"none"})", LR"(/i "C:\p.msi"/promptrestart)",
       false},
      {"scheduled reboot forces the restart and is used up", false, true, "{}",
       LR"(/i "C:\p.msi"/promptrestart /forcerestart)", false},
      {"properties in key order, substituted, quotes only from the manifest", false, false,
       R"({"MsiProperty":{"TARGET":"\"[Folder]\\x\"","A\u00e9":"1"}})",
       LR"(/i "C:\p.msi"/promptrestart A)"
       L"\u00e9"
       LR"(=1 TARGET="D:\Prog Files\x")",
       false},
      {"empty property value", true, false, R"({"MsiProperty":{"P":""}})", LR"(/i "C:\p.msi"/qn /norestart P=)", false},
      {"log named after DisplayName", true, false, R"({"DisplayName":"My App: v1/2"})",
       LR"(/i "C:\p.msi"/l*xv "C:\Temp\My_App__v1_2_MSI_<time>.log" /qn /norestart)", false},
  };
  host.m_properties.SetProperty(L"Folder", Expression::Token::Text(Expression::TokenKind::String, L"D:\\Prog Files"));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    host.m_quiet = c.quiet;
    host.m_scheduleReboot = c.scheduleReboot;
    CMsiExecCommand command;
    // No such package: the install mode cannot add reinstall properties.
    Package(c.entry)->BuildCommand(command, L"C:\\p.msi");
    EXPECT_EQ(command.Mode(), InstallModeNotOpened);
    EXPECT_EQ(WithoutTime(command.Parameters()), c.parameters);
    EXPECT_EQ(host.m_scheduleReboot, c.scheduleRebootAfter);
  }
}

TEST_F(MsiPackageTest, WrongMemberKindsAreMalformed) {
  for (const char* entry : {R"({"DisplayName":1})", R"({"UILevel":true})", R"({"MsiProperty":"A=1"})",
                            R"({"MsiProperty":{"A":1}})", R"({"MsiProperty":{"A":"x\u0000y"}})",
                            // The name becomes part of the command line too.
                            R"({"MsiProperty":{"A\u0000 B":"1"}})"}) {
    SCOPED_TRACE(entry);
    CMsiExecCommand command;
    EXPECT_THROW(Package(entry)->BuildCommand(command, L"C:\\p.msi"), JSON::BadAnyCast);
  }
}

TEST_F(MsiPackageTest, InstallerLogPath) {
  const LocalTime time{2024, 3, 5, 9, 7, 2};
  EXPECT_EQ(InstallerLogPath(L"C:\\T\\", L"Product Name", time), L"C:\\T\\Product_Name_MSI_2024-03-05-09-07-02.log");
  EXPECT_EQ(InstallerLogPath(L"C:\\T\\", L"a\\b/c:d*e?f\"g<h>i|j\tk;l", time),
            L"C:\\T\\a_b_c_d_e_f_g_h_i_j_k_l_MSI_2024-03-05-09-07-02.log");
  // A long name is cut so that the path stays a path Windows can open, always ending in the time.
  const std::wstring longPath = InstallerLogPath(L"C:\\T\\", std::wstring(400, L'x'), time);
  EXPECT_EQ(longPath.size(), 259u);
  EXPECT_TRUE(longPath.ends_with(L"xx_MSI_2024-03-05-09-07-02.log"));
  EXPECT_EQ(InstallerLogPath(std::wstring(250, L'T'), L"n", time), L"");
}

TEST_F(MsiPackageTest, PlainInstallWritesTheLogNamedAfterTheDisplayName) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  host.temp = std::wstring(temp) + L"msi_package_test\\";
  CreateDirectoryW(host.temp.c_str(), nullptr);
  host.m_quiet = true;

  const std::wstring path = Fixture("TevMsiPlain.msi");
  EXPECT_EQ(GetInstallMode(path), InstallModeInstall);
  EXPECT_TRUE(Package(R"({"DisplayName":"Plain Fixture"})")->Execute(path));
  EXPECT_EQ(host.m_exitCode, 0u);
  EXPECT_EQ(ProductState(kPlainProduct), INSTALLSTATE_DEFAULT);

  std::vector<std::filesystem::path> logs;
  for (const auto& item : std::filesystem::directory_iterator(host.temp)) logs.push_back(item.path());
  ASSERT_EQ(logs.size(), 1u) << "one installer log";
  const std::wstring name = logs[0].filename().wstring();
  EXPECT_TRUE(name.starts_with(L"Plain_Fixture_MSI_") && name.ends_with(L".log")) << name;
  EXPECT_GT(std::filesystem::file_size(logs[0]), 0u);
  std::filesystem::remove(logs[0]);
  RemoveDirectoryW(host.temp.c_str());

  const auto lines = host.LogBodies();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"GetInstallMode( " + path + L" ):Install"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"Succeeded: GetExitCodeProcess( 0 ):ExitCode=0"), lines.end());
}

TEST_F(MsiPackageTest, AnotherPackageOfTheInstalledVersionReinstalls) {
  host.m_quiet = true;
  const std::wstring first = Fixture("TevMsiFirst.msi");
  const std::wstring rebuilt = Fixture("TevMsiRebuilt.msi");
  ASSERT_NE(PackageCodeOf(first), PackageCodeOf(rebuilt)) << "the fixtures need package codes of their own";

  // No "DisplayName": no installer log option.
  ASSERT_TRUE(Package("{}")->Execute(first));
  CMsiExecCommand command;
  Package("{}")->BuildCommand(command, rebuilt);
  EXPECT_EQ(command.Mode(), InstallModeReinstall);
  EXPECT_EQ(command.Parameters(), L"/i \"" + rebuilt + L"\"/qn /norestart REINSTALLMODE=vomus REINSTALL=ALL");

  EXPECT_TRUE(Package("{}")->Execute(rebuilt));
  EXPECT_EQ(host.m_exitCode, 0u);
  EXPECT_EQ(TevMSI::CompareNoCase(ProductInfo(kRebuiltProduct, L"PackageCode"), PackageCodeOf(rebuilt)), 0);

  // The very package installed: no reinstall properties.
  CMsiExecCommand again;
  Package("{}")->BuildCommand(again, rebuilt);
  EXPECT_EQ(again.Mode(), InstallModeSamePackage);
  EXPECT_EQ(again.Parameters(), L"/i \"" + rebuilt + L"\"/qn /norestart");
}

// Package codes are GUIDs: the same package written in another letter case is the same package.
TEST_F(MsiPackageTest, APackageCodeInAnotherLetterCaseIsTheSamePackage) {
  host.m_quiet = true;
  const std::wstring rebuilt = Fixture("TevMsiRebuilt.msi");
  ASSERT_TRUE(Package("{}")->Execute(rebuilt));
  const std::wstring installed = ProductInfo(kRebuiltProduct, L"PackageCode");
  std::wstring other = installed;
  for (wchar_t& c : other) c = std::iswupper(c) ? std::towlower(c) : std::towupper(c);
  ASSERT_NE(other, installed) << "the package code holds no letter";

  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring copy = std::wstring(temp) + L"msi_package_test_case.msi";
  ASSERT_TRUE(CopyFileW(rebuilt.c_str(), copy.c_str(), FALSE));
  {
    MSIHANDLE database = 0, summary = 0;
    ASSERT_EQ(MsiOpenDatabaseW(copy.c_str(), MSIDBOPEN_TRANSACT, &database), 0u);
    ASSERT_EQ(MsiGetSummaryInformationW(database, nullptr, 1, &summary), 0u);
    EXPECT_EQ(MsiSummaryInfoSetPropertyW(summary, 9, VT_LPSTR, 0, nullptr, other.c_str()), 0u);
    EXPECT_EQ(MsiSummaryInfoPersist(summary), 0u);
    EXPECT_EQ(MsiDatabaseCommit(database), 0u);
    MsiCloseHandle(summary);
    MsiCloseHandle(database);
  }
  ASSERT_EQ(PackageCodeOf(copy), other);
  CMsiExecCommand command;
  Package("{}")->BuildCommand(command, copy);
  EXPECT_EQ(command.Mode(), InstallModeSamePackage);
  DeleteFileW(copy.c_str());
}

TEST_F(MsiPackageTest, OlderPackageThanTheInstalledProductIsAPlainInstall) {
  host.m_quiet = true;
  ASSERT_TRUE(Package("{}")->Execute(Fixture("TevMsiNewer.msi")));
  ASSERT_EQ(ProductInfo(kVersionedProduct, L"VersionString"), L"1.2.0");

  const std::wstring older = Fixture("TevMsiOlder.msi");
  CMsiExecCommand command;
  Package("{}")->BuildCommand(command, older);
  EXPECT_EQ(command.Mode(), InstallModeInstall);
  EXPECT_EQ(command.Parameters(), L"/i \"" + older + L"\"/qn /norestart");
  // The installer refuses another version of an installed product: its code stops the chain.
  EXPECT_FALSE(Package("{}")->Execute(older));
  EXPECT_EQ(host.m_exitCode, static_cast<std::uint32_t>(ERROR_PRODUCT_VERSION));
  EXPECT_EQ(ProductInfo(kVersionedProduct, L"VersionString"), L"1.2.0");
}

TEST_F(MsiPackageTest, RebootRequestOfAPackageAndOfAPrerequisite) {
  host.m_quiet = true;
  EXPECT_FALSE(Package("{}")->Execute(Fixture("TevMsiReboot.msi")));
  EXPECT_EQ(host.m_exitCode, 3010u);
  EXPECT_TRUE(host.m_scheduleReboot);
  EXPECT_EQ(ProductState(kRebootProduct), INSTALLSTATE_DEFAULT);

  host.m_exitCode = 0;
  host.m_scheduleReboot = false;
  EXPECT_TRUE(Package(R"({"PreRequired":true})")->Execute(Fixture("TevMsiRebootPre.msi")));
  EXPECT_EQ(host.m_exitCode, 0u);
  EXPECT_TRUE(host.m_scheduleReboot);
  EXPECT_EQ(ProductState(kRebootPreProduct), INSTALLSTATE_DEFAULT);
}

TEST_F(MsiPackageTest, FailingInstallStopsWithItsCode) {
  host.m_quiet = true;
  // A file that is no package: msiexec starts and fails; its code is the launcher's.
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring bogus = std::wstring(temp) + L"msi_package_test_bogus.msi";
  {
    const TevMSI::CFileHandle file(CreateFileW(bogus.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    WriteFile(file.get(), "not a package", 13, &written, nullptr);
  }
  EXPECT_EQ(GetInstallMode(bogus), InstallModeNotOpened);
  EXPECT_FALSE(Package("{}")->Execute(bogus));
  EXPECT_NE(host.m_exitCode, 0u);
  EXPECT_NE(host.m_exitCode, 3010u);
  DeleteFileW(bogus.c_str());
}

TEST_F(MsiPackageTest, MsiexecPlantedInTheCurrentFolderIsNeverRun) {
  // A launcher started from a Downloads folder has it as its current folder: a program named
  // msiexec.exe there must not be what installs the package (elevated, as the launcher is).
  // Windows' shell searches the current folder first for a bare program name; Wine's does not,
  // so under Wine this guards the system msiexec.exe being named, and on Windows it catches it.
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring record = std::wstring(temp) + L"msi_package_test_planted.txt";
  DeleteFileW(record.c_str());
  SetEnvironmentVariableW(L"TEV_STANDIN_RECORD", record.c_str());
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_TRUE(SetCurrentDirectoryW(TevTest::WinePath(TEV_STANDIN_DIR).c_str()));
  host.m_quiet = true;
  EXPECT_FALSE(Package("{}")->Execute(L"C:\\no such package.msi"));
  SetCurrentDirectoryW(current);
  SetEnvironmentVariableW(L"TEV_STANDIN_RECORD", nullptr);
  EXPECT_EQ(GetFileAttributesW(record.c_str()), INVALID_FILE_ATTRIBUTES) << "the planted msiexec.exe ran";
  // What the log names is what was started: the system folder's msiexec.exe.
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring started = L"Call:ShellExecute( " + std::wstring(system) + L"\\msiexec.exe, /i ";
  const auto lines = host.LogBodies();
  EXPECT_TRUE(
      std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) { return line.rfind(started, 0) == 0; }));
  // The real installer ran and could not open the package.
  EXPECT_NE(host.m_exitCode, 0u);
  DeleteFileW(record.c_str());
}

}  // namespace
