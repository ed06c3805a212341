// The session's setup lock with real named objects. Each test names a lock of its own, so a
// launcher running elsewhere in the session is never in the way.
#include "app/setup_run_lock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "recording_app.h"

namespace {

using namespace Tevrian;

std::wstring LockName(const char* test) {
  return L"Local\\TevLauncherTest." + std::to_wstring(GetCurrentProcessId()) + L"." +
         std::wstring(test, test + std::char_traits<char>::length(test));
}

TEST(SetupRunLockTest, OneRunAtATimeAndTheLaunchesItStartsGoOn) {
  const std::wstring name = LockName("OneRun");
  const DWORD self = GetCurrentProcessId();
  CSetupRunLock first, stranger, started;
  EXPECT_EQ(first.Acquire(name, 0), SetupRunState::First);
  // A launcher whose parent holds no mark is a second run; one whose parent is the holder (its
  // elevated restart, a newer launcher) is the same launch.
  EXPECT_EQ(stranger.Acquire(name, 0), SetupRunState::AlreadyRunning);
  EXPECT_EQ(stranger.Acquire(name, self + 4), SetupRunState::AlreadyRunning);
  EXPECT_EQ(started.Acquire(name, self), SetupRunState::SameLaunch);

  // The first launcher gone (killed, say), the launch it started still holds the lock.
  first.Release();
  CSetupRunLock later;
  EXPECT_EQ(later.Acquire(name, 0), SetupRunState::AlreadyRunning);
  started.Release();
  EXPECT_EQ(later.Acquire(name, 0), SetupRunState::First);
}

TEST(SetupRunLockTest, AReleasedOrDestroyedLockLetsTheNextRunIn) {
  const std::wstring name = LockName("Released");
  {
    CSetupRunLock held;
    ASSERT_EQ(held.Acquire(name, 0), SetupRunState::First);
  }
  CSetupRunLock next;
  EXPECT_EQ(next.Acquire(name, 0), SetupRunState::First);
}

TEST(SetupRunLockTest, ANameTakenByAnotherKindOfObjectLeavesTheRunUnguarded) {
  const std::wstring name = LockName("Squatted");
  const TevMSI::CKernelHandle squatter(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  ASSERT_TRUE(squatter);
  CSetupRunLock lock;
  EXPECT_EQ(lock.Acquire(name, 0), SetupRunState::Unguarded);
  EXPECT_EQ(lock.Error(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(SetupRunLockTest, ASecondRunEndsWith1618AndSaysWhyUnlessHidden) {
  for (const bool hidden : {false, true}) {
    SCOPED_TRACE(hidden ? "hidden" : "shown");
    TevTest::RecordingApp app;
    app.hidden = hidden;
    app.runState = SetupRunState::AlreadyRunning;
    EXPECT_FALSE(app.InitInstance());
    const std::wstring message =
        L"別のセットアップを実行中です。\n実行中のセットアップが終わってから、もう一度実行してください。";
    EXPECT_EQ(app.messages, hidden ? std::vector<std::wstring>{} : std::vector<std::wstring>{message});
    const auto bodies = app.LogBodies();
    EXPECT_NE(std::find(bodies.begin(), bodies.end(), L"CheckSingleRun: another setup is running in this session"),
              bodies.end());
    // Refused before the manifest: nothing of the run is prepared.
    EXPECT_TRUE(app.m_workFolder.empty());
    EXPECT_EQ(app.ExitInstance(), 1618u);
  }
}

}  // namespace
