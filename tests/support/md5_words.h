// A file's MD5 digest as four little-endian signed 32-bit words, the way a manifest's "Hash"
// writes the Windows Installer file hash. Computed with the system's cryptographic provider, not
// with the installer, so that a test's expectation never comes from the code it checks.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

namespace TevTest {

inline std::array<std::int32_t, 4> Md5Words(const std::string& bytes) {
  std::array<std::int32_t, 4> words{};
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  BYTE digest[16] = {};
  DWORD size = sizeof(digest);
  if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
      CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
      CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
      CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
  }
  std::memcpy(words.data(), digest, sizeof(digest));  // x86: little-endian words
  return words;
}

}  // namespace TevTest
