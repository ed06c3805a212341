// loadlib NAME: loads NAME the plain way (LoadLibraryW, default search order), to show that a
// DLL planted beside a program is found by a program that does not guard against it.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  return LoadLibraryW(argv[1]) ? 0 : 1;
}
