// Makes a test's throw-away certificate authority trusted in the Wine prefix it runs in, the way
// an administrator adds a root: trustca CA.der. Exit code 0 when added, else the system error.
#include <windows.h>

#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: trustca CA.der\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<BYTE> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (der.empty()) {
    std::fputs("trustca: cannot read the certificate\n", stderr);
    return 2;
  }
  if (!CertAddEncodedCertificateToSystemStoreW(L"ROOT", der.data(), static_cast<DWORD>(der.size()))) {
    const DWORD error = GetLastError();
    std::fprintf(stderr, "trustca: CertAddEncodedCertificateToSystemStoreW failed: %lu\n", error);
    return error ? static_cast<int>(error) : 1;
  }
  return 0;
}
