// One run per user session. Every launcher works in the same fixed work folder, so a second run
// started beside the first (a double click too many) would have that folder removed under it.
// The lock is a session-local named object held from the start of the launch to the end of the
// exit. A launcher that the running launch starts itself (its elevated restart, a newer launcher
// it fetched) is the same launch: each holder marks itself with a second object named after its
// process id, and a launcher whose parent carries that mark goes on.
#pragma once

#include <windows.h>

#include <string>

#include "../installer/unique_handle.h"

namespace Tevrian {

enum class SetupRunState {
  First,           // no other run: this one holds the lock
  SameLaunch,      // started by the run that holds it
  AlreadyRunning,  // another run holds it
  Unguarded,       // the object could not be made; the run goes on without the guard (see the log)
};

class CSetupRunLock {
 public:
  // `name` names the lock in the session's namespace; `parentProcessId` is the process that
  // started this one (0 when unknown).
  SetupRunState Acquire(const std::wstring& name, DWORD parentProcessId);
  // The system error behind Unguarded.
  DWORD Error() const { return m_error; }
  // Drops the lock and the mark (a refused launcher lets go before it reports).
  void Release();

 private:
  TevMSI::CKernelHandle m_lock;
  TevMSI::CKernelHandle m_mark;
  DWORD m_error = 0;
};

// The name every launcher of this session shares.
extern const wchar_t kSetupRunLockName[];

// The process that started this one, 0 when the system does not say.
DWORD ParentProcessId();

}  // namespace Tevrian
