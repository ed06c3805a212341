// MSP packages run through the launcher's process runner with msiexec.exe from the installer's
// registered folder. A real patch cannot be built here, so the test registers a folder holding a
// stand-in msiexec.exe that records the exact parameter text it gets and ends with a chosen code.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "../support/wine_path.h"
#include "installer_log_text.h"
#include "app/recording_app.h"
#include "json_parser.h"
#include "msi_exception.h"
#include "msp_package.h"
#include "unique_handle.h"

namespace {

using namespace Tevrian;

const wchar_t kInstallerKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer";

// Points "InstallLocation" at a folder for the test's life, then puts the old value back.
class CInstallLocation {
 public:
  explicit CInstallLocation(const std::wstring& folder) {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kInstallerKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &m_key, nullptr);
    wchar_t old[MAX_PATH] = {};
    DWORD size = sizeof(old);
    DWORD type = 0;
    if (RegQueryValueExW(m_key, L"InstallLocation", nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
        ERROR_SUCCESS) {
      m_old = std::wstring(old, size / sizeof(wchar_t));
      m_oldType = type;
    }
    Set(folder);
  }
  ~CInstallLocation() {
    if (m_old) {
      RegSetValueExW(m_key, L"InstallLocation", 0, m_oldType, reinterpret_cast<const BYTE*>(m_old->data()),
                     static_cast<DWORD>(m_old->size() * sizeof(wchar_t)));
    } else {
      RegDeleteValueW(m_key, L"InstallLocation");
    }
    RegCloseKey(m_key);
  }
  CInstallLocation(const CInstallLocation&) = delete;
  CInstallLocation& operator=(const CInstallLocation&) = delete;

  void Set(const std::wstring& folder) {
    RegSetValueExW(m_key, L"InstallLocation", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  }

 private:
  HKEY m_key = nullptr;
  std::optional<std::wstring> m_old;
  DWORD m_oldType = REG_SZ;
};

std::wstring ReadRecord(const std::wstring& path) {
  const TevMSI::CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return L"<not started>";
  std::wstring text(4096, L'\0');
  DWORD read = 0;
  ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
  text.resize(read / sizeof(wchar_t));
  return text;
}

using TevTest::WithoutTime;

class MspPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    record = std::wstring(temp) + L"msp_package_test_record.txt";
    SetEnvironmentVariableW(L"TEV_STANDIN_RECORD", record.c_str());
  }
  void TearDown() override {
    DeleteFileW(record.c_str());
    SetEnvironmentVariableW(L"TEV_STANDIN_RECORD", nullptr);
    SetEnvironmentVariableW(L"TEV_STANDIN_EXIT", nullptr);
  }

  // Execute of a patch entry with the stand-in ending with `exitCode`; the parameters it received.
  bool Execute(const std::string& entryJson, DWORD exitCode, std::wstring& received) {
    DeleteFileW(record.c_str());
    SetEnvironmentVariableW(L"TEV_STANDIN_EXIT", std::to_wstring(exitCode).c_str());
    CExecuteMspPackage package(JSON::ParseJSON(entryJson).AsObject(), host.m_properties);
    package.SetHost(&host);
    const bool result = package.Execute(L"C:\\Cache\\fix.msp");
    received = ReadRecord(record);
    return result;
  }

  std::wstring standin = TevTest::WinePath(TEV_STANDIN_DIR);
  std::wstring record;
  TevTest::RecordingApp host;
};

TEST_F(MspPackageTest, CommandLines) {
  CInstallLocation location(standin);
  struct Case {
    const char* name;
    bool quiet;
    bool scheduleReboot;
    std::string entry;
    std::wstring parameters;
    bool scheduleRebootAfter;
  } const kCases[] = {
      {"plain", false, false, "{}", LR"(/update "C:\Cache\fix.msp" /promptrestart)", false},
      {"quiet", true, true, R"({"UILevel":"Full","PreRequired":true})", LR"(/update "C:\Cache\fix.msp" /qn /norestart)",
       true},
      {"prerequisite", false, true, R"({"PreRequired":true,"UILevel":"Reduce"})",
       LR"(/update "C:\Cache\fix.msp" /norestart /qr)", true},
      {"UILevel", false, false, R"({"UILevel":"Basic"})", LR"(/update "C:\Cache\fix.msp" /qb /promptrestart)", false},
      {"UILevel in another case adds nothing", false, false, R"({"UILevel":"NONE"})",
       LR"(/update "C:\Cache\fix.msp" /promptrestart)", false},
      {"scheduled reboot forces the restart and is used up", false, true, R"({"UILevel":"None"})",
       LR"(/update "C:\Cache\fix.msp" /qn /promptrestart /forcerestart)", false},
      {"log option last, with its own blanks; no installer properties", false, false,
       R"({"DisplayName":"Fix 1","MsiProperty":{"A":"1"}})",
       LR"(/update "C:\Cache\fix.msp" /promptrestart /l*xv "Q:\no such folder\Fix_1_MSI_<time>.log" )", false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    host.m_quiet = c.quiet;
    host.m_scheduleReboot = c.scheduleReboot;
    host.m_exitCode = 0;
    std::wstring received;
    EXPECT_TRUE(Execute(c.entry, 0, received));
    EXPECT_EQ(WithoutTime(received), c.parameters);
    EXPECT_EQ(host.m_scheduleReboot, c.scheduleRebootAfter);
    EXPECT_EQ(host.m_exitCode, 0u);
  }
  // The process runner logged the program it started: the stand-in in the registered folder.
  const auto lines = host.LogBodies();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"Execute!( " + standin + L"\\msiexec.exe )"), lines.end());
}

TEST_F(MspPackageTest, ExitCodes) {
  CInstallLocation location(standin);
  struct Case {
    const char* name;
    bool preRequired;
    DWORD exitCode;
    bool result;
    std::uint32_t launcherExitCode;
    bool scheduleReboot;
  } const kCases[] = {
      {"success", false, 0, true, 0, false},
      {"reboot asked by a main patch", false, 3010, false, 3010, true},
      {"reboot asked by a prerequisite: done, later reboot", true, 3010, true, 0, true},
      {"failure", false, 1603, false, 1603, false},
      {"failure of a prerequisite", true, 1642, false, 1642, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    host.m_quiet = true;
    host.m_scheduleReboot = false;
    host.m_exitCode = 0;
    std::wstring received;
    EXPECT_EQ(Execute(c.preRequired ? R"({"PreRequired":true})" : "{}", c.exitCode, received), c.result);
    EXPECT_EQ(host.m_exitCode, c.launcherExitCode);
    EXPECT_EQ(host.m_scheduleReboot, c.scheduleReboot);
  }
}

TEST_F(MspPackageTest, WrongMemberKindsAreMalformed) {
  for (const char* entry : {R"({"DisplayName":1})", R"({"UILevel":true})", R"({"PreRequired":"yes"})"}) {
    SCOPED_TRACE(entry);
    CExecuteMspPackage package(JSON::ParseJSON(entry).AsObject(), host.m_properties);
    package.SetHost(&host);
    EXPECT_THROW(package.Parameters(L"C:\\fix.msp"), JSON::BadAnyCast);
  }
}

TEST_F(MspPackageTest, WithoutARegisteredFolderTheSystemMsiexecRuns) {
  CInstallLocation location(L"");
  host.m_quiet = true;
  std::wstring received;
  // The real installer: it cannot open a patch that does not exist.
  EXPECT_FALSE(Execute("{}", 0, received));
  EXPECT_EQ(received, L"<not started>");
  EXPECT_NE(host.m_exitCode, 0u);
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const auto lines = host.LogBodies();
  EXPECT_NE(std::find(lines.begin(), lines.end(), L"Execute!( " + std::wstring(system) + L"\\msiexec.exe )"),
            lines.end());
}

TEST_F(MspPackageTest, ProgramThatCannotStartRaisesTheSystemError) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  // A folder without msiexec.exe.
  const std::wstring empty = std::wstring(temp) + L"msp_package_test_empty";
  CreateDirectoryW(empty.c_str(), nullptr);
  CInstallLocation location(empty);
  host.m_quiet = true;
  std::wstring received;
  try {
    Execute("{}", 0, received);
    FAIL() << "no exception";
  } catch (const TevMSI::CMsiException& error) {
    EXPECT_EQ(error.Code(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(error.Message(), L"");
  }
  EXPECT_EQ(ReadRecord(record), L"<not started>");
  EXPECT_EQ(host.m_exitCode, 0u);
  RemoveDirectoryW(empty.c_str());
}

}  // namespace
