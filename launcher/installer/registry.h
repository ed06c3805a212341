// Registry keys and values. Reads never raise: a missing key or value gives the empty answer
// (false, 0 or empty text) and leaves the registry's result in LastError.
#pragma once

#include <windows.h>

#include <string>

namespace TevMSI {

class CTevRegValue;

class CTevRegKey {
 public:
  CTevRegKey() = default;
  CTevRegKey(const CTevRegKey&) = delete;
  CTevRegKey& operator=(const CTevRegKey&) = delete;
  CTevRegKey(CTevRegKey&& other) noexcept;
  CTevRegKey& operator=(CTevRegKey&& other) noexcept;
  ~CTevRegKey();

  virtual bool Check(LSTATUS result);
  // `parent` is a predefined root or another wrapper's open key; KEY_WOW64_64KEY in `access`
  // selects the 64-bit view.
  bool Open(HKEY parent, const std::wstring& path, REGSAM access);
  bool Close();
  LSTATUS LastError() const { return m_lastError; }
  HKEY Key() const { return m_key; }
  bool IsOpen() const { return m_key != nullptr; }

  CTevRegValue Value(const std::wstring& name) const;

 private:
  HKEY m_key = nullptr;
  LSTATUS m_lastError = ERROR_SUCCESS;
};

// One named value, with a key handle of its own so that it may outlive the key it came from.
class CTevRegValue {
 public:
  CTevRegValue(const CTevRegKey& key, std::wstring name);

  // REG_SZ, REG_DWORD, ...; 0 when the value does not exist.
  DWORD GetType();
  // The value's bytes when it holds at most four, whatever its type; otherwise 0.
  DWORD GetDWORD();
  // The text of a REG_SZ or REG_EXPAND_SZ value (unexpanded); empty for any other type.
  std::wstring GetString();
  LSTATUS LastError() const { return m_key.LastError(); }

 private:
  CTevRegKey m_key;
  std::wstring m_name;
};

}  // namespace TevMSI
