#include "file_sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <vector>

#include "../installer/unique_handle.h"

namespace Tevrian {
namespace {

// Large enough that a file of hundreds of megabytes costs few calls, small enough to stay cheap.
constexpr DWORD kBlockBytes = 1 << 20;

// bcrypt.dll is taken from the system folder at run time rather than imported: a copy planted
// beside the launcher must never load.
struct Cng {
  TevMSI::CModule module = TevMSI::LoadSystemLibrary(L"bcrypt.dll");
  decltype(&BCryptOpenAlgorithmProvider) OpenAlgorithmProvider = nullptr;
  decltype(&BCryptCloseAlgorithmProvider) CloseAlgorithmProvider = nullptr;
  decltype(&BCryptCreateHash) CreateHash = nullptr;
  decltype(&BCryptHashData) HashData = nullptr;
  decltype(&BCryptFinishHash) FinishHash = nullptr;
  decltype(&BCryptDestroyHash) DestroyHash = nullptr;

  Cng() {
    if (!module) return;
    TevMSI::FindProc(module.get(), OpenAlgorithmProvider, "BCryptOpenAlgorithmProvider");
    TevMSI::FindProc(module.get(), CloseAlgorithmProvider, "BCryptCloseAlgorithmProvider");
    TevMSI::FindProc(module.get(), CreateHash, "BCryptCreateHash");
    TevMSI::FindProc(module.get(), HashData, "BCryptHashData");
    TevMSI::FindProc(module.get(), FinishHash, "BCryptFinishHash");
    TevMSI::FindProc(module.get(), DestroyHash, "BCryptDestroyHash");
  }
  bool Usable() const {
    return OpenAlgorithmProvider && CloseAlgorithmProvider && CreateHash && HashData && FinishHash && DestroyHash;
  }
};

const Cng& TheCng() {
  static const Cng cng;
  return cng;
}

// The provider and the hash object, each closed once.
class CSha256 {
 public:
  explicit CSha256(const Cng& cng) : m_cng(cng) {
    m_status = cng.OpenAlgorithmProvider(&m_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
    if (BCRYPT_SUCCESS(m_status)) m_status = cng.CreateHash(m_algorithm, &m_hash, nullptr, 0, nullptr, 0, 0);
  }
  ~CSha256() {
    if (m_hash) m_cng.DestroyHash(m_hash);
    if (m_algorithm) m_cng.CloseAlgorithmProvider(m_algorithm, 0);
  }
  CSha256(const CSha256&) = delete;
  CSha256& operator=(const CSha256&) = delete;

  NTSTATUS Status() const { return m_status; }
  NTSTATUS Add(const std::uint8_t* data, DWORD size) {
    return m_cng.HashData(m_hash, const_cast<PUCHAR>(data), size, 0);
  }
  NTSTATUS Finish(Sha256Digest& digest) {
    return m_cng.FinishHash(m_hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  }

 private:
  const Cng& m_cng;
  BCRYPT_ALG_HANDLE m_algorithm = nullptr;
  BCRYPT_HASH_HANDLE m_hash = nullptr;
  NTSTATUS m_status = 0;
};

}  // namespace

bool FileSha256(const std::wstring& path, Sha256Digest& digest, std::uint32_t& error) {
  const Cng& cng = TheCng();
  if (!cng.Usable()) {
    error = ERROR_PROC_NOT_FOUND;
    return false;
  }
  const TevMSI::CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) {
    error = GetLastError();
    return false;
  }
  CSha256 sha(cng);
  if (!BCRYPT_SUCCESS(sha.Status())) {
    error = static_cast<std::uint32_t>(sha.Status());
    return false;
  }
  std::vector<std::uint8_t> block(kBlockBytes);
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), block.data(), kBlockBytes, &read, nullptr)) {
      error = GetLastError();
      return false;
    }
    if (read == 0) break;
    if (const NTSTATUS status = sha.Add(block.data(), read); !BCRYPT_SUCCESS(status)) {
      error = static_cast<std::uint32_t>(status);
      return false;
    }
  }
  if (const NTSTATUS status = sha.Finish(digest); !BCRYPT_SUCCESS(status)) {
    error = static_cast<std::uint32_t>(status);
    return false;
  }
  error = 0;
  return true;
}

}  // namespace Tevrian
