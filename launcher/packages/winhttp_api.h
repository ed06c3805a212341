// The WinHTTP entry points the downloader uses, looked up once in winhttp.dll from the system
// folder. Never imported statically: the loader would resolve an import before the launcher
// restricts its DLL search, so a planted winhttp.dll beside the launcher would be loaded.
// Each call has the platform's signature; when the DLL or an entry point is missing it fails with
// the load's error (or ERROR_PROC_NOT_FOUND) as its last error.
#pragma once

#include <windows.h>

#include <winhttp.h>

namespace Tevrian::Http {

HINTERNET Open(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass, DWORD flags);
BOOL CrackUrl(LPCWSTR url, DWORD length, DWORD flags, LPURL_COMPONENTS components);
HINTERNET Connect(HINTERNET session, LPCWSTR server, INTERNET_PORT port, DWORD reserved);
HINTERNET OpenRequest(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR version, LPCWSTR referrer,
                      LPCWSTR* acceptTypes, DWORD flags);
BOOL SendRequest(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional, DWORD optionalLength,
                 DWORD totalLength, DWORD_PTR context);
BOOL ReceiveResponse(HINTERNET request, LPVOID reserved);
BOOL QueryHeaders(HINTERNET request, DWORD infoLevel, LPCWSTR name, LPVOID buffer, LPDWORD bufferLength, LPDWORD index);
BOOL QueryDataAvailable(HINTERNET request, LPDWORD available);
BOOL ReadData(HINTERNET request, LPVOID buffer, DWORD toRead, LPDWORD read);
BOOL SetTimeouts(HINTERNET handle, int resolve, int connect, int send, int receive);
BOOL SetOption(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length);
BOOL CloseHandle(HINTERNET handle);

}  // namespace Tevrian::Http
