#include "msi_api.h"

#include "unique_handle.h"

namespace TevMSI {
namespace {

template <class Fn>
void Find(HMODULE module, Fn& slot, const char* name) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

MsiApi Load() {
  MsiApi api;
  // Kept loaded for the process's life: the table's pointers point into it.
  static CModule msi = LoadSystemLibrary(L"msi.dll");
  if (!msi) {
    api.loadError = GetLastError();
    return api;
  }
  HMODULE m = msi.get();
  Find(m, api.CloseHandle, "MsiCloseHandle");
  Find(m, api.OpenDatabase, "MsiOpenDatabaseW");
  Find(m, api.DatabaseOpenView, "MsiDatabaseOpenViewW");
  Find(m, api.ViewExecute, "MsiViewExecute");
  Find(m, api.ViewFetch, "MsiViewFetch");
  Find(m, api.ViewGetColumnInfo, "MsiViewGetColumnInfo");
  Find(m, api.CreateRecord, "MsiCreateRecord");
  Find(m, api.RecordGetString, "MsiRecordGetStringW");
  Find(m, api.RecordSetString, "MsiRecordSetStringW");
  Find(m, api.RecordGetFieldCount, "MsiRecordGetFieldCount");
  Find(m, api.GetSummaryInformation, "MsiGetSummaryInformationW");
  Find(m, api.SummaryInfoGetProperty, "MsiSummaryInfoGetPropertyW");
  Find(m, api.QueryProductState, "MsiQueryProductStateW");
  Find(m, api.GetProductInfo, "MsiGetProductInfoW");
  Find(m, api.EnumRelatedProducts, "MsiEnumRelatedProductsW");
  Find(m, api.GetFileHash, "MsiGetFileHashW");
  Find(m, api.DllGetVersion, "DllGetVersion");
  return api;
}

}  // namespace

MsiApi& MsiForTests() {
  static MsiApi api = Load();
  return api;
}

const MsiApi& Msi() { return MsiForTests(); }

}  // namespace TevMSI
