#include "msi_handle.h"

#include <mutex>
#include <utility>

#include "msi_api.h"
#include "msi_exception.h"

namespace TevMSI {
namespace {

struct HandleEntry {
  bool closeOnLastRelease;
  std::int32_t references;
};

// Lives as long as the process; handles still registered at exit are left to the system.
struct HandleTable {
  std::mutex lock;
  std::map<MSIHANDLE, HandleEntry> entries;
};

HandleTable& MsiHandleTable() {
  static auto* table = new HandleTable;
  return *table;
}

void Register(MSIHANDLE handle, bool closeOnLastRelease) {
  if (handle == 0) return;
  HandleTable& table = MsiHandleTable();
  std::lock_guard guard(table.lock);
  auto [it, inserted] = table.entries.try_emplace(handle, HandleEntry{closeOnLastRelease, 1});
  if (!inserted) ++it->second.references;
}

void AddReference(MSIHANDLE handle) {
  HandleTable& table = MsiHandleTable();
  std::lock_guard guard(table.lock);
  if (auto it = table.entries.find(handle); it != table.entries.end()) ++it->second.references;
}

UINT CloseMsiHandle(MSIHANDLE handle) {
  const auto close = Msi().CloseHandle;
  return close ? close(handle) : ERROR_PROC_NOT_FOUND;
}

}  // namespace

CMsiHandle::CMsiHandle(MSIHANDLE handle, bool closeOnLastRelease) : m_handle(handle) {
  Register(handle, closeOnLastRelease);
}

CMsiHandle::CMsiHandle(const CMsiHandle& other) : m_handle(other.m_handle), m_lastError(other.m_lastError) {
  AddReference(m_handle);
}

CMsiHandle::CMsiHandle(CMsiHandle&& other) noexcept
    : m_handle(std::exchange(other.m_handle, 0)), m_lastError(other.m_lastError) {}

CMsiHandle& CMsiHandle::operator=(const CMsiHandle& other) {
  Assign(other);
  return *this;
}

CMsiHandle& CMsiHandle::operator=(CMsiHandle&& other) noexcept {
  if (this != &other) {
    Release();
    m_handle = std::exchange(other.m_handle, 0);
    m_lastError = other.m_lastError;
  }
  return *this;
}

CMsiHandle::~CMsiHandle() { Release(); }

bool CMsiHandle::Assign(const CMsiHandle& other) {
  if (this == &other) return m_handle != 0;
  const MSIHANDLE handle = other.m_handle;
  AddReference(handle);  // before our own release, in case both share the last reference
  Release();
  m_handle = handle;
  return m_handle != 0;
}

bool CMsiHandle::Attach(MSIHANDLE handle, bool closeOnLastRelease) {
  Release();
  m_handle = handle;
  Register(handle, closeOnLastRelease);
  return m_handle != 0;
}

bool CMsiHandle::Release() {
  m_lastError = 0;
  if (m_handle == 0) return true;
  bool close = false;
  {
    HandleTable& table = MsiHandleTable();
    std::lock_guard guard(table.lock);
    auto it = table.entries.find(m_handle);
    if (it == table.entries.end()) return true;
    if (--it->second.references <= 0) {
      close = it->second.closeOnLastRelease;
      table.entries.erase(it);
    }
  }
  const MSIHANDLE handle = std::exchange(m_handle, 0);
  if (close) m_lastError = CloseMsiHandle(handle);
  return m_lastError == 0;
}

bool CMsiHandle::Check(UINT result) {
  m_lastError = result;
  return result == ERROR_SUCCESS;
}

int CMsiHandle::ShareCount(MSIHANDLE handle) {
  HandleTable& table = MsiHandleTable();
  std::lock_guard guard(table.lock);
  auto it = table.entries.find(handle);
  return it == table.entries.end() ? 0 : it->second.references;
}

bool CMsiView::Execute(const CMsiRecord& parameters) {
  const auto execute = Msi().ViewExecute;
  return Check(execute ? execute(m_handle, parameters.Handle()) : ERROR_PROC_NOT_FOUND);
}

CMsiRecord CMsiView::Fetch(bool loadColumnNames) {
  CMsiRecord record;
  if (!record.FetchFrom(*this, loadColumnNames)) throw CMsiException(static_cast<std::int32_t>(record.LastError()));
  return record;
}

CMsiRecord CMsiView::GetColumnInfo(MSICOLINFO kind) {
  MSIHANDLE columns = 0;
  const auto getColumnInfo = Msi().ViewGetColumnInfo;
  if (!Check(getColumnInfo ? getColumnInfo(m_handle, kind, &columns) : ERROR_PROC_NOT_FOUND)) {
    throw CMsiException(static_cast<std::int32_t>(m_lastError));
  }
  CMsiRecord record;
  record.Attach(columns, true);
  return record;
}

CMsiRecord::CMsiRecord(UINT fieldCount) {
  const auto create = Msi().CreateRecord;
  Attach(create ? create(fieldCount) : 0, true);
}

bool CMsiRecord::FetchFrom(CMsiView& view, bool loadColumnNames) {
  MSIHANDLE fetched = 0;
  const auto fetch = Msi().ViewFetch;
  if (!Check(fetch ? fetch(view.Handle(), &fetched) : ERROR_PROC_NOT_FOUND)) return false;
  Attach(fetched, true);
  return loadColumnNames ? LoadColumnNames(view) : m_handle != 0;
}

std::wstring CMsiRecord::GetString(UINT field) const {
  const auto get = Msi().RecordGetString;
  if (!get) return {};
  DWORD count = 0;
  UINT result = get(m_handle, field, nullptr, &count);
  if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return {};
  std::wstring text(count, L'\0');
  ++count;
  result = get(m_handle, field, text.data(), &count);
  if (result != ERROR_SUCCESS) return {};
  text.resize(count);
  return text;
}

bool CMsiRecord::SetString(UINT field, const std::wstring& text) {
  const auto set = Msi().RecordSetString;
  return Check(set ? set(m_handle, field, text.c_str()) : ERROR_PROC_NOT_FOUND);
}

bool CMsiRecord::LoadColumnNames(CMsiView& view) {
  m_columns.clear();
  const CMsiRecord columns = view.GetColumnInfo(MSICOLINFO_NAMES);
  const auto fieldCount = Msi().RecordGetFieldCount;
  const UINT count = fieldCount ? fieldCount(columns.Handle()) : 0;
  for (UINT i = 1; i <= count; ++i) m_columns[columns.GetString(i)] = i;
  return columns.Handle() != 0;
}

bool CMsiDatabase::Open(const std::wstring& path, LPCWSTR persist) {
  Release();
  MSIHANDLE database = 0;
  const auto open = Msi().OpenDatabase;
  if (!Check(open ? open(path.c_str(), persist, &database) : ERROR_PROC_NOT_FOUND)) return false;
  Attach(database, true);
  m_lastError = 0;
  return true;
}

std::wstring CMsiDatabase::GetProperty(const std::wstring& name) {
  CMsiRecord parameters(1);
  parameters.SetString(1, name);
  MSIHANDLE viewHandle = 0;
  const auto openView = Msi().DatabaseOpenView;
  if (!Check(openView ? openView(m_handle, L"SELECT Value FROM Property WHERE Property=?", &viewHandle)
                      : ERROR_PROC_NOT_FOUND)) {
    throw CMsiException(static_cast<std::int32_t>(m_lastError));
  }
  CMsiView view(viewHandle, true);
  if (!view.Execute(parameters)) throw CMsiException(static_cast<std::int32_t>(view.LastError()));
  return view.Fetch(false).GetString(1);
}

bool CMsiSummaryInfo::Open(const CMsiDatabase& database, UINT updateCount) {
  MSIHANDLE summary = 0;
  const auto get = Msi().GetSummaryInformation;
  if (!Check(get ? get(database.Handle(), nullptr, updateCount, &summary) : ERROR_PROC_NOT_FOUND)) return false;
  Attach(summary, true);
  m_lastError = 0;
  return true;
}

bool CMsiSummaryInfo::GetProperty(UINT id, UINT& dataType, INT& integer, FILETIME& fileTime, std::wstring& text) {
  const auto get = Msi().SummaryInfoGetProperty;
  if (!get) return Check(ERROR_PROC_NOT_FOUND);
  wchar_t probe[1] = {};
  DWORD count = 1;
  UINT result = get(m_handle, id, &dataType, &integer, &fileTime, probe, &count);
  if ((result == ERROR_SUCCESS || result == ERROR_MORE_DATA) && dataType == VT_LPSTR) {
    std::wstring buffer(count + 1, L'\0');
    count += 1;
    result = get(m_handle, id, &dataType, &integer, &fileTime, buffer.data(), &count);
    if (result == ERROR_SUCCESS) buffer.resize(count);
    text = std::move(buffer);
  }
  return Check(result);
}

}  // namespace TevMSI
