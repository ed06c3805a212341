#include <windows.h>

#include "app.h"
#include "crash_report_win.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything loads a DLL: never from the launcher's own folder or the current directory.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  Tevrian::CTevLauncherApp app;
  // From here on a crash still leaves its log line and ends with the exception code.
  const Tevrian::CCrashReport crashReport(app);
  app.InitInstance();
  return static_cast<int>(app.ExitInstance());
}
