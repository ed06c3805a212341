#include "setup_run_lock.h"

#include <tlhelp32.h>

namespace Tevrian {
namespace {

std::wstring MarkName(const std::wstring& name, DWORD processId) { return name + L"." + std::to_wstring(processId); }

// A mark that exists but may not be opened (made by an elevated holder) is a mark all the same.
bool MarkExists(const std::wstring& name, DWORD processId) {
  if (processId == 0) return false;
  TevMSI::CKernelHandle mark(OpenEventW(SYNCHRONIZE, FALSE, MarkName(name, processId).c_str()));
  return mark || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace

const wchar_t kSetupRunLockName[] = L"Local\\TevLauncher.Run.{701B65B4-B91C-4B3B-93A2-8240BBE49DDA}";

SetupRunState CSetupRunLock::Acquire(const std::wstring& name, DWORD parentProcessId) {
  // Existence is the lock: the object lives while any launcher of the run keeps its handle, so a
  // run whose first launcher was killed still holds it for the launcher it started.
  m_lock.reset(CreateMutexW(nullptr, FALSE, name.c_str()));
  const DWORD created = GetLastError();
  SetupRunState state = SetupRunState::First;
  if (!m_lock && created != ERROR_ACCESS_DENIED) {
    m_error = created;
    return SetupRunState::Unguarded;
  }
  // Denied: the object exists, made by a run of higher integrity.
  if (!m_lock || created == ERROR_ALREADY_EXISTS) {
    if (!MarkExists(name, parentProcessId)) {
      Release();
      return SetupRunState::AlreadyRunning;
    }
    state = SetupRunState::SameLaunch;
  }
  m_mark.reset(CreateEventW(nullptr, TRUE, FALSE, MarkName(name, GetCurrentProcessId()).c_str()));
  return state;
}

void CSetupRunLock::Release() {
  m_mark.reset();
  m_lock.reset();
}

DWORD ParentProcessId() {
  const TevMSI::CFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self) return entry.th32ParentProcessID;
  }
  return 0;
}

}  // namespace Tevrian
