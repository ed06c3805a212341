// holdfile PATH: another program holding a file open without sharing it (as a virus scanner or an
// open editor may), until its standard input closes. Prints "held" once the file is open, or
// "error N" when it cannot be opened.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::printf("error %lu\n", GetLastError());
    std::fflush(stdout);
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  char buffer[64];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &read, nullptr) && read != 0) {
  }
  CloseHandle(file);
  return 0;
}
