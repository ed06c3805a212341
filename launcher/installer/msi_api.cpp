#include "msi_api.h"

#include "unique_handle.h"

namespace TevMSI {
namespace {

MsiApi Load() {
  MsiApi api;
  // Kept loaded for the process's life: the table's pointers point into it.
  static CModule msi = LoadSystemLibrary(L"msi.dll");
  if (!msi) {
    api.loadError = GetLastError();
    return api;
  }
  HMODULE m = msi.get();
  FindProc(m, api.CloseHandle, "MsiCloseHandle");
  FindProc(m, api.OpenDatabase, "MsiOpenDatabaseW");
  FindProc(m, api.DatabaseOpenView, "MsiDatabaseOpenViewW");
  FindProc(m, api.ViewExecute, "MsiViewExecute");
  FindProc(m, api.ViewFetch, "MsiViewFetch");
  FindProc(m, api.ViewGetColumnInfo, "MsiViewGetColumnInfo");
  FindProc(m, api.CreateRecord, "MsiCreateRecord");
  FindProc(m, api.RecordGetString, "MsiRecordGetStringW");
  FindProc(m, api.RecordSetString, "MsiRecordSetStringW");
  FindProc(m, api.RecordGetFieldCount, "MsiRecordGetFieldCount");
  FindProc(m, api.GetSummaryInformation, "MsiGetSummaryInformationW");
  FindProc(m, api.SummaryInfoGetProperty, "MsiSummaryInfoGetPropertyW");
  FindProc(m, api.QueryProductState, "MsiQueryProductStateW");
  FindProc(m, api.GetProductInfo, "MsiGetProductInfoW");
  FindProc(m, api.EnumRelatedProducts, "MsiEnumRelatedProductsW");
  FindProc(m, api.GetFileHash, "MsiGetFileHashW");
  FindProc(m, api.DllGetVersion, "DllGetVersion");
  return api;
}

}  // namespace

MsiApi& MsiForTests() {
  static MsiApi api = Load();
  return api;
}

const MsiApi& Msi() { return MsiForTests(); }

}  // namespace TevMSI
