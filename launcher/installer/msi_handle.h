// Windows Installer handles shared between wrapper objects: a process-wide table counts the holders
// of each handle, and the last holder closes it (unless it was attached without close).
#pragma once

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <cstdint>
#include <map>
#include <string>

namespace TevMSI {

class CMsiHandle {
 public:
  CMsiHandle(MSIHANDLE handle = 0, bool closeOnLastRelease = true);
  CMsiHandle(const CMsiHandle& other);
  CMsiHandle(CMsiHandle&& other) noexcept;
  CMsiHandle& operator=(const CMsiHandle& other);
  CMsiHandle& operator=(CMsiHandle&& other) noexcept;
  ~CMsiHandle();

  // Shares the other's handle; true when it is not 0.
  virtual bool Assign(const CMsiHandle& other);
  bool Attach(MSIHANDLE handle, bool closeOnLastRelease = true);
  // Drops this object's share; true when no close failed.
  bool Release();
  bool Check(UINT result);

  MSIHANDLE Handle() const { return m_handle; }
  UINT LastError() const { return m_lastError; }

  // Holders of a handle as the table counts them; 0 when it has no entry.
  static int ShareCount(MSIHANDLE handle);

 protected:
  MSIHANDLE m_handle = 0;
  UINT m_lastError = 0;
};

class CMsiRecord;

class CMsiView : public CMsiHandle {
 public:
  using CMsiHandle::CMsiHandle;
  bool Execute(const CMsiRecord& parameters);
  // Raises CMsiException with the fetch's error, 259 at the end of the rows.
  CMsiRecord Fetch(bool loadColumnNames = false);
  CMsiRecord GetColumnInfo(MSICOLINFO kind);
};

class CMsiRecord : public CMsiHandle {
 public:
  CMsiRecord() = default;
  explicit CMsiRecord(UINT fieldCount);
  bool FetchFrom(CMsiView& view, bool loadColumnNames);
  std::wstring GetString(UINT field) const;
  bool SetString(UINT field, const std::wstring& text);
  bool LoadColumnNames(CMsiView& view);
  const std::map<std::wstring, UINT>& ColumnNames() const { return m_columns; }

 private:
  std::map<std::wstring, UINT> m_columns;
};

class CMsiDatabase : public CMsiHandle {
 public:
  using CMsiHandle::CMsiHandle;
  bool Open(const std::wstring& path, LPCWSTR persist);
  // A value of the Property table; raises CMsiException (259 when the property is absent).
  std::wstring GetProperty(const std::wstring& name);
};

class CMsiSummaryInfo : public CMsiHandle {
 public:
  using CMsiHandle::CMsiHandle;
  bool Open(const CMsiDatabase& database, UINT updateCount);
  bool GetProperty(UINT id, UINT& dataType, INT& integer, FILETIME& fileTime, std::wstring& text);
};

}  // namespace TevMSI
