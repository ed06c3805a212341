#include "product_info_app.h"

namespace ProductInfo {

// Created while the library loads and destroyed while it unloads, releasing the log library.
CProductInfoApp theApp;

CProductInfoApp::CProductInfoApp() {
  // The calling program's folder, the system folder and the folders the caller registered: never
  // the current directory or PATH, where anyone could plant a DLL of that name.
  m_logLibrary.reset(LoadLibraryExW(L"LWLog64.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
  if (!m_logLibrary) return;
  const FARPROC writeLog = GetProcAddress(m_logLibrary.get(), "LWL_WriteLog");
  m_writeLog = reinterpret_cast<WriteLogFunction>(reinterpret_cast<void (*)()>(writeLog));
}

}  // namespace ProductInfo
