// The two exports. Every step is reported to the log library; no exception leaves the library.
#include "LWProductInfo64.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstddef>
#include <new>

#include "product_info_app.h"
#include "product_info_document.h"

static_assert(sizeof(ProductInfoRecord) == 24 && offsetof(ProductInfoRecord, lpszDisplayVersion) == 8 &&
                  offsetof(ProductInfoRecord, lpszSuite) == 16,
              "callers rely on three 64-bit pointers in this order");

namespace ProductInfo {

namespace {

constexpr wchar_t kDefaultSuite[] = L"standard";

struct CElement {
  const wchar_t* xpath;
  const wchar_t* name;
  int failedMessage;
};

constexpr CElement kProductCode = {L"/root/ProductCode", L"ProductCode", 72};
constexpr CElement kDisplayVersion = {L"/root/DisplayVersion", L"DisplayVersion", 84};
constexpr CElement kSuite = {L"/root/Suite", L"Suite", 96};

unsigned Hex(HRESULT code) { return static_cast<unsigned>(code); }

const wchar_t* Shown(const wchar_t* path) { return path != nullptr ? path : L""; }

// Each field is its own block of length + 1 units, released only by ReleaseField.
wchar_t* CopyText(const wchar_t* text, std::size_t length) {
  auto* copy = new (std::nothrow) wchar_t[length + 1];
  if (copy == nullptr) return nullptr;
  std::copy_n(text, length, copy);
  copy[length] = L'\0';
  return copy;
}

wchar_t* CopyText(const CBstr& text) { return CopyText(text.get(), text ? SysStringLen(text.get()) : 0); }

HRESULT ReadElement(const CProductInfoDocument& document, const CElement& element, CBstr& text) {
  const HRESULT result = document.ReadText(element.xpath, text);
  if (result != S_OK) theApp.Log(element.failedMessage, L"Failed Parse<{}>: 0x{:08X}", element.name, Hex(result));
  return result;
}

// Fills the record, which is all-null on entry; on failure it may hold the fields read so far.
// A string that cannot be copied (out of memory) gives ERROR_OUTOFMEMORY, a code of its own so that
// a caller does not take it for a broken file.
DWORD LoadRecord(const wchar_t* path, ProductInfoRecord& info) {
  if (path == nullptr || !PathFileExistsW(path)) {
    theApp.Log(52, L"File not found: {}", Shown(path));
    return ERROR_FILE_NOT_FOUND;
  }
  CProductInfoDocument document;
  if (!document.Load(path)) {
    theApp.Log(59, L"Failed Load");
    return ERROR_XML_PARSE_ERROR;
  }
  CBstr text;
  if (ReadElement(document, kProductCode, text) != S_OK) return ERROR_XML_PARSE_ERROR;
  if ((info.lpszProductCode = CopyText(text)) == nullptr) return ERROR_OUTOFMEMORY;
  if (ReadElement(document, kDisplayVersion, text) != S_OK) return ERROR_XML_PARSE_ERROR;
  if ((info.lpszDisplayVersion = CopyText(text)) == nullptr) return ERROR_OUTOFMEMORY;
  if (ReadElement(document, kSuite, text) == S_OK) {
    info.lpszSuite = CopyText(text);
  } else {
    theApp.Log(97, L"Default set for <Suite>: {}", kDefaultSuite);
    info.lpszSuite = CopyText(kDefaultSuite, std::size(kDefaultSuite) - 1);
  }
  return info.lpszSuite != nullptr ? ERROR_SUCCESS : ERROR_OUTOFMEMORY;
}

void ReleaseField(wchar_t*& field, const wchar_t* name, int deletedMessage, int nullMessage) {
  if (field == nullptr) {
    theApp.Log(nullMessage, L"{} is NULL", name);
    return;
  }
  delete[] field;
  field = nullptr;
  theApp.Log(deletedMessage, L"Deleted {}", name);
}

void ReleaseRecord(ProductInfoRecord* info) {
  if (info == nullptr) {
    theApp.Log(111, L"info is NULL");
    return;
  }
  ReleaseField(info->lpszProductCode, L"lpszProductCode", 119, 123);
  ReleaseField(info->lpszDisplayVersion, L"lpszDisplayVersion", 130, 134);
  ReleaseField(info->lpszSuite, L"lpszSuite", 141, 145);
}

}  // namespace

}  // namespace ProductInfo

using namespace ProductInfo;

extern "C" uint32_t ProductInfo_FileLoad(const wchar_t* path, ProductInfoRecord* info) {
  theApp.Log(152, L"START ProductInfo::{}", L"ProductInfo_FileLoad");
  DWORD result = ERROR_INVALID_PARAMETER;
  // A null record is outside the contract; it is refused rather than written through.
  if (info != nullptr) {
    *info = {};
    // Nothing in the loading steps is meant to throw; should anything, the caller still gets a
    // failure and an all-null record instead of an exception across the library boundary.
    try {
      result = LoadRecord(path, *info);
    } catch (...) {
      result = ERROR_OUTOFMEMORY;
    }
  }
  if (result != ERROR_SUCCESS) {
    theApp.Log(161, L"Failed Loaded: {}", Shown(path));
    ReleaseRecord(info);
  }
  theApp.Log(165, L"END ProductInfo::{}: 0x{:08X}", L"ProductInfo_FileLoad", result);
  return result;
}

extern "C" void ProductInfo_Free(ProductInfoRecord* info) {
  theApp.Log(173, L"START ProductInfo::{}", L"ProductInfo_Free");
  ReleaseRecord(info);
  theApp.Log(177, L"END ProductInfo::{}", L"ProductInfo_Free");
}
