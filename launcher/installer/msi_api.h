// The Windows Installer entry points the launcher uses, looked up once in msi.dll from the system
// folder: never imported statically, so a planted msi.dll beside the launcher is never loaded.
#pragma once

#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <shlwapi.h>

namespace TevMSI {

struct MsiApi {
  decltype(&::MsiCloseHandle) CloseHandle = nullptr;
  decltype(&::MsiOpenDatabaseW) OpenDatabase = nullptr;
  decltype(&::MsiDatabaseOpenViewW) DatabaseOpenView = nullptr;
  decltype(&::MsiViewExecute) ViewExecute = nullptr;
  decltype(&::MsiViewFetch) ViewFetch = nullptr;
  decltype(&::MsiViewGetColumnInfo) ViewGetColumnInfo = nullptr;
  decltype(&::MsiCreateRecord) CreateRecord = nullptr;
  decltype(&::MsiRecordGetStringW) RecordGetString = nullptr;
  decltype(&::MsiRecordSetStringW) RecordSetString = nullptr;
  decltype(&::MsiRecordGetFieldCount) RecordGetFieldCount = nullptr;
  decltype(&::MsiGetSummaryInformationW) GetSummaryInformation = nullptr;
  decltype(&::MsiSummaryInfoGetPropertyW) SummaryInfoGetProperty = nullptr;
  decltype(&::MsiQueryProductStateW) QueryProductState = nullptr;
  decltype(&::MsiGetProductInfoW) GetProductInfo = nullptr;
  decltype(&::MsiEnumRelatedProductsW) EnumRelatedProducts = nullptr;
  decltype(&::MsiGetFileHashW) GetFileHash = nullptr;
  HRESULT(CALLBACK* DllGetVersion)(DLLVERSIONINFO*) = nullptr;
  // The system error of loading msi.dll, 0 when it loaded.
  DWORD loadError = 0;
};

// Filled on first use and kept for the process. Entry points that msi.dll lacks stay null: the
// wrappers answer ERROR_PROC_NOT_FOUND for them instead of calling.
const MsiApi& Msi();
// The same table, writable: tests put a stand-in into one slot where the installer's answer cannot
// be produced for real (a product installed for another user only).
MsiApi& MsiForTests();

}  // namespace TevMSI
