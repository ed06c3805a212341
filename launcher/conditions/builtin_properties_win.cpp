#include "builtin_properties.h"

#include <windows.h>

#include <shlwapi.h>

#include "condition_expression.h"
#include "msi_api.h"
#include "registry.h"
#include "unique_handle.h"

namespace Tevrian::Expression {
namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);

VersionValue FieldsVersion(DWORD a, DWORD b, DWORD c) {
  return MakeVersion(static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(b), static_cast<std::uint16_t>(c), 0);
}

std::wstring LauncherFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  // Cut just before the file name, keeping the trailing backslash.
  *PathFindFileNameW(path) = L'\0';
  return path;
}

}  // namespace

bool IsUacEnabled() {
  if (!IsWindowsVersionOrGreater(6, 0, 0)) return false;
  TevMSI::CTevRegKey policies;
  if (!policies.Open(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies", KEY_READ)) {
    return false;
  }
  TevMSI::CTevRegKey system;
  if (!system.Open(policies.Key(), L"System", KEY_READ)) return false;
  return system.Value(L"EnableLUA").GetDWORD() != 0;
}

bool IsAdministratorsMember() {
  static const bool member = [] {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &administrators)) {
      return false;
    }
    BOOL isMember = FALSE;
    const BOOL checked = CheckTokenMembership(nullptr, administrators, &isMember);
    FreeSid(administrators);
    return checked && isMember;
  }();
  return member;
}

bool GetMsiVersion(std::uint32_t& major, std::uint32_t& minor) {
  const auto getVersion = TevMSI::Msi().DllGetVersion;
  if (!getVersion) return false;
  DLLVERSIONINFO info{};
  info.cbSize = 20;
  if (getVersion(&info) != 0) return false;
  major = info.dwMajorVersion;
  minor = info.dwMinorVersion;
  return true;
}

bool IsWindowsVersionOrGreater(std::uint16_t major, std::uint16_t minor, std::uint16_t servicePackMajor) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = 284;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.wServicePackMajor = servicePackMajor;
  ULONGLONG mask = 0;
  mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask) != FALSE;
}

bool IsWow64() {
  static const bool wow64 = [] {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL result = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &result) && result;
  }();
  return wow64;
}

bool CConditionExpression::InitBuiltinProperties(const MessageSink& showMessage, std::uint32_t* failure) {
  SetProperty(L"Privileged", Token::Boolean(IsUacEnabled() || IsAdministratorsMember()));

  SYSTEM_INFO system{};
  GetNativeSystemInfo(&system);
  SetProperty(L"ProcessorArchitecture", Token::Integer(system.wProcessorArchitecture));

  // Without a usable installer library the property still exists, as v0.0.0.0.
  std::uint32_t msiMajor = 0, msiMinor = 0;
  if (!GetMsiVersion(msiMajor, msiMinor)) msiMajor = msiMinor = 0;
  SetProperty(L"VersionMsi", Token::Version(FieldsVersion(msiMajor, msiMinor, 0)));

  const auto fail = [&](int step) {
    const DWORD error = GetLastError();
    if (failure) *failure = error;
    if (showMessage) showMessage(OsCheckFailureMessage(step, error));
    return false;
  };
  TevMSI::CModule ntdll;
  if (!GetModuleHandleExW(0, L"ntdll.dll", ntdll.put())) return fail(1);
  const auto rtlGetVersion =
      reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll.get(), "RtlGetVersion")));
  if (!rtlGetVersion) return fail(2);
  OSVERSIONINFOEXW os{};
  os.dwOSVersionInfoSize = 284;
  if (rtlGetVersion(&os) != 0) return fail(3);

  const VersionValue versionNT = FieldsVersion(os.dwMajorVersion, os.dwMinorVersion, os.dwBuildNumber);
  SetProperty(L"VersionNT", Token::Version(versionNT));
  if (IsWow64()) SetProperty(L"VersionNT64", Token::Version(versionNT));
  SetProperty(L"ServicePackLevel", Token::Integer(os.wServicePackMajor));
  SetProperty(L"LauncherExeDir", Token::Text(TokenKind::String, LauncherFolder()));
  return true;
}

}  // namespace Tevrian::Expression
