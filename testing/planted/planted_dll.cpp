// A stand-in for a DLL that someone planted beside the launcher (built as msi.dll, wintrust.dll
// and so on). Loading it leaves a marker file "<its own path>.loaded", so a test can tell
// whether a program picked it up instead of the system's own.
#include <windows.h>

#include <string>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(instance, path, MAX_PATH);
    const std::wstring marker = std::wstring(path) + L".loaded";
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return TRUE;
}

// What the launcher would ask a real msi.dll first.
extern "C" __declspec(dllexport) HRESULT CALLBACK DllGetVersion(void*) { return E_NOTIMPL; }
