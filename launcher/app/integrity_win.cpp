#include "integrity.h"

#include <windows.h>

#include <softpub.h>
#include <wintrust.h>

#include "../installer/unique_handle.h"
#include "pe_headers.h"

namespace Tevrian {
namespace {

// Whether the image carries a certificate table at all. WinVerifyTrust answers "no signature"
// for some damaged signatures too, so presence is decided from the headers, not from its answer.
bool ImageHasCertificateTable() {
  const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& security = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
  return security.VirtualAddress != 0 && security.Size != 0;
}

bool FileHasCertificateTable(const std::wstring& path) {
  TevMSI::CFileHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  return HasCertificateTable([&](std::uint64_t offset, void* out, std::size_t size) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD read = 0;
    return SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN) &&
           ReadFile(file.get(), out, static_cast<DWORD>(size), &read, nullptr) && read == size;
  });
}

// `carriesSignature`: whether the file's headers point to a certificate table at all.
SignatureCheck VerifySignature(const std::wstring& path, bool carriesSignature) {
  TevMSI::CModule wintrust = TevMSI::LoadSystemLibrary(L"wintrust.dll");
  using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
  auto verify = wintrust ? reinterpret_cast<WinVerifyTrustFn>(
                               reinterpret_cast<void*>(GetProcAddress(wintrust.get(), "WinVerifyTrust")))
                         : nullptr;
  if (!verify) {
    const long error = static_cast<long>(GetLastError());
    return {carriesSignature ? SignatureState::Invalid : SignatureState::Unsigned, error};
  }

  WINTRUST_FILE_INFO file{};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

  if (status == 0) return {SignatureState::Verified, status};
  if (status == static_cast<LONG>(TRUST_E_NOSIGNATURE) && !carriesSignature) return {SignatureState::Unsigned, status};
  return {SignatureState::Invalid, status};
}

}  // namespace

SignatureCheck VerifyOwnSignature(const std::wstring& path) {
  return VerifySignature(path, ImageHasCertificateTable());
}

SignatureCheck VerifyFileSignature(const std::wstring& path) {
  return VerifySignature(path, FileHasCertificateTable(path));
}

}  // namespace Tevrian
