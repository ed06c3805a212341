// The application object's start-up logic, with its Win32 edge replaced: messages are recorded
// instead of shown, the command line is given, and the signature answer is chosen.
#include "app/app.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/log_file.h"
#include "recording_app.h"

namespace {

using namespace Tevrian;

using TestApp = TevTest::RecordingApp;

std::vector<std::wstring> PendingBodies(const TestApp& app) { return app.LogBodies(); }

TEST(AppStartupTest, CommandLineIsLoggedFirstAndSwitchesAreKept) {
  TestApp app;
  app.arguments = L"/q /norestart A=5";
  EXPECT_FALSE(app.InitInstance());
  EXPECT_TRUE(app.m_quiet);
  EXPECT_TRUE(app.m_noRestart);
  EXPECT_EQ(app.m_properties.GetProperty(L"A").IntegerValue(), 5);
  const auto bodies = PendingBodies(app);
  // The built-in properties come first (six, and VersionNT64 in the 32-bit build under WOW64), the
  // command line right after them.
  const std::size_t builtins = sizeof(void*) == 4 ? 7 : 6;
  ASSERT_GE(bodies.size(), builtins + 1);
  // Wine answers as an administrator without the elevation prompt: Privileged is true.
  EXPECT_EQ(bodies[0], L"Add Property Privileged=true");
  EXPECT_TRUE(app.m_properties.GetProperty(L"Privileged").BooleanValue());
  EXPECT_EQ(bodies[builtins - 1].rfind(L"Add Property LauncherExeDir=", 0), 0u);
  EXPECT_EQ(bodies[builtins], L"CommandLine=/q /norestart A=5");
  // The test's temporary folder does not exist: the run ends at its work folder, with the system's
  // error, rather than as a success that installed nothing.
  EXPECT_EQ(app.messages.size(), 1u);
  EXPECT_EQ(app.ExitInstance(), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
}

TEST(AppStartupTest, WorkFolderThatCannotBeMadeEndsTheRunNamingIt) {
  TestApp app;
  EXPECT_FALSE(app.InitInstance());
  ASSERT_EQ(app.messages.size(), 1u);
  EXPECT_EQ(app.messages[0].rfind(L"作業フォルダを作成できませんでした。\nQ:\\no such folder\\{701B65B4-", 0), 0u);
  EXPECT_EQ(app.ExitInstance(), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
  const auto bodies = PendingBodies(app);
  EXPECT_TRUE(std::any_of(bodies.begin(), bodies.end(), [](const std::wstring& line) {
    return line.rfind(L"Failed. PrepareFolders( Q:\\no such folder\\{701B65B4-", 0) == 0;
  }));
}

TEST(AppStartupTest, HelpSetsExitCode87) {
  TestApp app;
  app.arguments = L"/h";
  EXPECT_FALSE(app.ParseCommandLine());
  ASSERT_EQ(app.messages.size(), 1u);
  EXPECT_EQ(app.messages[0],
            L"/help /h /?: この画面を表示します\n/quiet:UIを表示しません。\n\n"
            L"/norestart:再起動が必要な場合でも再起動しません。\n");
  EXPECT_EQ(app.m_exitCode, 87u);
}

// A calling program must not read a refused command line as an installed product: 1639, as msiexec
// ends with, and the argument named in the message and in a log file of its own.
TEST(AppStartupTest, CommandLineErrorEndsWith1639NamingTheArgument) {
  TestApp app;
  app.arguments = L"/? B=1 A=-5";
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(app.messages, std::vector<std::wstring>{L"コマンドライン引数に間違いがあります。\nA="});
  EXPECT_EQ(app.ExitInstance(), 1639u);
  EXPECT_FALSE(app.written.empty());  // the log file was written, not only kept waiting
  const auto bodies = PendingBodies(app);
  EXPECT_NE(std::find(bodies.begin(), bodies.end(), L"CommandLine error: the value given to A is not a value"),
            bodies.end());
}

// A Windows the launcher cannot identify ends the run with the system's error, or 1603 where the
// failing step left none: never with 0.
TEST(AppStartupTest, UnidentifiedWindowsEndsWithItsErrorNever0) {
  struct Case {
    const char* name;
    std::uint32_t error;
    std::uint32_t exitCode;
  } cases[] = {{"the system's error", ERROR_PROC_NOT_FOUND, ERROR_PROC_NOT_FOUND}, {"no error at all", 0, 1603}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    struct UnidentifiedWindows : TestApp {
      std::uint32_t error = 0;
      bool InitBuiltinProperties() override {
        m_exitCode = error;
        return false;
      }
    } app;
    app.error = c.error;
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.ExitInstance(), c.exitCode);
    EXPECT_FALSE(app.written.empty());
  }
}

TEST(AppStartupTest, OutOfRangeIntegerEndsInOrder) {
  TestApp app;
  app.arguments = L"A=99999999999";
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(app.messages, std::vector<std::wstring>{L"コマンドライン引数に間違いがあります。"});
  EXPECT_EQ(app.ExitInstance(), 160u);
}

TEST(AppStartupTest, DebugDumpIsLoggedAndShown) {
  TestApp app;
  app.arguments = L"X=5 /debug Y=v1.2";
  EXPECT_TRUE(app.ParseCommandLine());
  EXPECT_EQ(app.messages, std::vector<std::wstring>{L"Debug Break\n\n\nX=5"});
  const auto bodies = PendingBodies(app);
  EXPECT_EQ(bodies.back(), L"Debug Break\n\n\nX=5");
}

TEST(AppStartupTest, FailedIntegrityCheckEndsBeforeTheCommandLine) {
  TestApp app;
  app.integrityOk = false;
  app.arguments = L"/?";
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(app.messages, std::vector<std::wstring>{L"integrity"});
  EXPECT_EQ(PendingBodies(app), std::vector<std::wstring>{L"Message: integrity"});
  EXPECT_EQ(app.ExitInstance(), 0u);
}

TEST(AppExitTest, ClosingLinesAndTheQuietRebootRule) {
  struct Case {
    const char* name;
    bool quiet, schedule, force;
    std::uint32_t exitCode, expected;
  } const cases[] = {
      {"plain success", false, false, false, 0, 0},
      {"quiet, later reboot", true, true, false, 0, 3010},
      {"quiet, immediate reboot", true, false, true, 0, 3010},
      {"reboot without quiet keeps the code", false, true, false, 0, 0},
      {"quiet without reboot", true, false, false, 1602, 1602},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestApp app;
    app.m_quiet = c.quiet;
    app.m_scheduleReboot = c.schedule;
    app.m_forceReboot = c.force;
    app.m_exitCode = c.exitCode;
    EXPECT_EQ(app.ExitInstance(), c.expected);
  }
  TestApp app;
  app.m_exitCode = 1602;
  app.m_scheduleReboot = true;
  app.m_properties.SetProperty(L"A", Tevrian::Expression::Token::Integer(1));
  app.ExitInstance();
  EXPECT_EQ(PendingBodies(app),
            (std::vector<std::wstring>{L"Add Property A=1", L"ExitCode=1602(0x00000642)",
                                       L"m_scheduleReboot=true, m_forceReboot=false", L"Properties", L"A=1"}));
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

TEST(LogFileTest, WritesAnsiTextWithCrLfAndNoByteOrderMark) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"tev_log_file_test.log";
  DeleteFileW(path.c_str());

  ASSERT_TRUE(AppendLogLines(path, {L"[2025-03-05-07-08-09]日本語", L"two\nlines"}));
  ASSERT_TRUE(AppendLogLines(path, {L"caf\u00E9 \U0001F600", L"\u00C4=\u00F6\u00DF"}));

  // Code page 932 (the test prefix runs as a Japanese system). Characters it lacks become "?",
  // never a best-fit look-alike ("é" is not "e").
  const std::string expected = "[2025-03-05-07-08-09]\x93\xFA\x96\x7B\x8C\xEA\r\ntwo\r\nlines\r\ncaf? ??\r\n?=??\r\n";
  EXPECT_EQ(ReadBytes(path), expected);
  DeleteFileW(path.c_str());
}

// A log is never appended to a file that was there before: the run makes a file of its own.
TEST(LogFileTest, NewLogFileNeverReusesAnExistingFile) {
  wchar_t buffer[MAX_PATH];
  GetTempPathW(MAX_PATH, buffer);
  const std::wstring folder = buffer;
  const std::wstring name = L"tev_new_log_" + std::to_wstring(GetCurrentProcessId()) + L".log";
  const std::wstring first = folder + name;
  const std::wstring second = folder + name.substr(0, name.size() - 4) + L"(2).log";
  ASSERT_TRUE(AppendLogLines(first, {L"someone else's notes"}));
  EXPECT_EQ(CreateNewLogFile(folder, name), second);
  EXPECT_EQ(ReadBytes(first), "someone else's notes\r\n");
  EXPECT_EQ(ReadBytes(second), "");
  DeleteFileW(first.c_str());
  DeleteFileW(second.c_str());
  EXPECT_EQ(CreateNewLogFile(L"C:\\no such folder\\", L"x.log"), L"C:\\no such folder\\x.log");
}

TEST(LogFileTest, MissingFolderWritesNothing) {
  EXPECT_FALSE(AppendLogLines(L"C:\\no such folder\\x\\a.log", {L"line"}));
}

}  // namespace
