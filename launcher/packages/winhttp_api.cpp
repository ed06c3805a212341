#include "winhttp_api.h"

#include "../installer/unique_handle.h"

namespace Tevrian::Http {
namespace {

struct Api {
  decltype(&::WinHttpOpen) open = nullptr;
  decltype(&::WinHttpCrackUrl) crackUrl = nullptr;
  decltype(&::WinHttpConnect) connect = nullptr;
  decltype(&::WinHttpOpenRequest) openRequest = nullptr;
  decltype(&::WinHttpSendRequest) sendRequest = nullptr;
  decltype(&::WinHttpReceiveResponse) receiveResponse = nullptr;
  decltype(&::WinHttpQueryHeaders) queryHeaders = nullptr;
  decltype(&::WinHttpQueryDataAvailable) queryDataAvailable = nullptr;
  decltype(&::WinHttpReadData) readData = nullptr;
  decltype(&::WinHttpSetTimeouts) setTimeouts = nullptr;
  decltype(&::WinHttpSetOption) setOption = nullptr;
  decltype(&::WinHttpCloseHandle) closeHandle = nullptr;
  DWORD loadError = 0;
};

const Api& Loaded() {
  static const Api api = [] {
    Api loaded;
    // Kept for the process's life: the table's pointers point into it.
    static TevMSI::CModule winhttp = TevMSI::LoadSystemLibrary(L"winhttp.dll");
    if (!winhttp) {
      loaded.loadError = GetLastError();
      return loaded;
    }
    HMODULE m = winhttp.get();
    // Pinned: a transfer whose call the system could not cancel may still be inside it while the
    // process ends, and the module must not go from under it when the static above is destroyed.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(GetProcAddress(m, "WinHttpOpen")), &pinned);
    TevMSI::FindProc(m, loaded.open, "WinHttpOpen");
    TevMSI::FindProc(m, loaded.crackUrl, "WinHttpCrackUrl");
    TevMSI::FindProc(m, loaded.connect, "WinHttpConnect");
    TevMSI::FindProc(m, loaded.openRequest, "WinHttpOpenRequest");
    TevMSI::FindProc(m, loaded.sendRequest, "WinHttpSendRequest");
    TevMSI::FindProc(m, loaded.receiveResponse, "WinHttpReceiveResponse");
    TevMSI::FindProc(m, loaded.queryHeaders, "WinHttpQueryHeaders");
    TevMSI::FindProc(m, loaded.queryDataAvailable, "WinHttpQueryDataAvailable");
    TevMSI::FindProc(m, loaded.readData, "WinHttpReadData");
    TevMSI::FindProc(m, loaded.setTimeouts, "WinHttpSetTimeouts");
    TevMSI::FindProc(m, loaded.setOption, "WinHttpSetOption");
    TevMSI::FindProc(m, loaded.closeHandle, "WinHttpCloseHandle");
    return loaded;
  }();
  return api;
}

// Calls `fn` when it was found; otherwise fails as the platform would, with a last error.
template <class Fn, class Result, class... Args>
Result Call(Fn fn, Result failed, Args... args) {
  if (fn) return fn(args...);
  SetLastError(Loaded().loadError ? Loaded().loadError : ERROR_PROC_NOT_FOUND);
  return failed;
}

}  // namespace

HINTERNET Open(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass, DWORD flags) {
  return Call(Loaded().open, HINTERNET{}, agent, accessType, proxy, bypass, flags);
}
BOOL CrackUrl(LPCWSTR url, DWORD length, DWORD flags, LPURL_COMPONENTS components) {
  return Call(Loaded().crackUrl, FALSE, url, length, flags, components);
}
HINTERNET Connect(HINTERNET session, LPCWSTR server, INTERNET_PORT port, DWORD reserved) {
  return Call(Loaded().connect, HINTERNET{}, session, server, port, reserved);
}
HINTERNET OpenRequest(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR version, LPCWSTR referrer,
                      LPCWSTR* acceptTypes, DWORD flags) {
  return Call(Loaded().openRequest, HINTERNET{}, connection, verb, object, version, referrer, acceptTypes, flags);
}
BOOL SendRequest(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional, DWORD optionalLength,
                 DWORD totalLength, DWORD_PTR context) {
  return Call(Loaded().sendRequest, FALSE, request, headers, headersLength, optional, optionalLength, totalLength,
              context);
}
BOOL ReceiveResponse(HINTERNET request, LPVOID reserved) {
  return Call(Loaded().receiveResponse, FALSE, request, reserved);
}
BOOL QueryHeaders(HINTERNET request, DWORD infoLevel, LPCWSTR name, LPVOID buffer, LPDWORD bufferLength,
                  LPDWORD index) {
  return Call(Loaded().queryHeaders, FALSE, request, infoLevel, name, buffer, bufferLength, index);
}
BOOL QueryDataAvailable(HINTERNET request, LPDWORD available) {
  return Call(Loaded().queryDataAvailable, FALSE, request, available);
}
BOOL ReadData(HINTERNET request, LPVOID buffer, DWORD toRead, LPDWORD read) {
  return Call(Loaded().readData, FALSE, request, buffer, toRead, read);
}
BOOL SetTimeouts(HINTERNET handle, int resolve, int connect, int send, int receive) {
  return Call(Loaded().setTimeouts, FALSE, handle, resolve, connect, send, receive);
}
BOOL SetOption(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
  return Call(Loaded().setOption, FALSE, handle, option, buffer, length);
}
BOOL CloseHandle(HINTERNET handle) { return Call(Loaded().closeHandle, FALSE, handle); }

}  // namespace Tevrian::Http
