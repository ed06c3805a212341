#include "registry.h"

#include <utility>
#include <vector>

namespace TevMSI {

CTevRegKey::CTevRegKey(CTevRegKey&& other) noexcept
    : m_key(std::exchange(other.m_key, nullptr)), m_lastError(other.m_lastError) {}

CTevRegKey& CTevRegKey::operator=(CTevRegKey&& other) noexcept {
  if (this != &other) {
    Close();
    m_key = std::exchange(other.m_key, nullptr);
    m_lastError = other.m_lastError;
  }
  return *this;
}

CTevRegKey::~CTevRegKey() { Close(); }

bool CTevRegKey::Check(LSTATUS result) {
  m_lastError = result;
  return result == ERROR_SUCCESS;
}

bool CTevRegKey::Open(HKEY parent, const std::wstring& path, REGSAM access) {
  Close();
  return Check(RegOpenKeyExW(parent, path.c_str(), 0, access, &m_key));
}

bool CTevRegKey::Close() {
  if (m_key == nullptr) return true;
  const LSTATUS result = RegCloseKey(m_key);
  if (result == ERROR_SUCCESS) m_key = nullptr;
  return Check(result);
}

CTevRegValue CTevRegKey::Value(const std::wstring& name) const { return CTevRegValue(*this, name); }

CTevRegValue::CTevRegValue(const CTevRegKey& key, std::wstring name) : m_name(std::move(name)) {
  if (!key.IsOpen()) return;
  // Read access is all that is needed; asking for write first and falling back keeps values
  // readable under keys that deny writing.
  if (!m_key.Open(key.Key(), L"", KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) {
    m_key.Open(key.Key(), L"", KEY_READ);
  }
}

DWORD CTevRegValue::GetType() {
  if (!m_key.IsOpen()) return 0;
  DWORD type = 0;
  if (!m_key.Check(RegQueryValueExW(m_key.Key(), m_name.c_str(), nullptr, &type, nullptr, nullptr))) return 0;
  return type;
}

DWORD CTevRegValue::GetDWORD() {
  if (!m_key.IsOpen()) return 0;
  DWORD data = 0;
  DWORD size = sizeof(data);
  if (!m_key.Check(
          RegQueryValueExW(m_key.Key(), m_name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size))) {
    return 0;
  }
  return data;
}

std::wstring CTevRegValue::GetString() {
  if (!m_key.IsOpen()) return {};
  DWORD type = 0;
  DWORD size = 0;
  if (!m_key.Check(RegQueryValueExW(m_key.Key(), m_name.c_str(), nullptr, &type, nullptr, &size))) return {};
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) return {};
  // The data normally ends in its NUL, which the length leaves out; data stored without one loses
  // its last character instead. The buffer always has room for the whole data plus a terminator.
  const std::size_t length = (size - 1) / 2;
  std::vector<wchar_t> buffer(length + 1, L'\0');
  DWORD read = size;
  if (!m_key.Check(RegQueryValueExW(m_key.Key(), m_name.c_str(), nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(buffer.data()), &read))) {
    return {};
  }
  return std::wstring(buffer.data(), length);
}

}  // namespace TevMSI
