#include <windows.h>

#include "app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything loads a DLL: never from the launcher's own folder or the current directory.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  Tevrian::CTevLauncherApp app;
  app.InitInstance();
  return static_cast<int>(app.ExitInstance());
}
