#include "product_info_document.h"

namespace ProductInfo {

namespace {

// DOMDocument {F6D90F11-9C73-11D3-B32E-00C04F990BB4}
constexpr CLSID kClsidDomDocument = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
// IXMLDOMDocument {2933BF81-7B36-11D2-B20E-00C04F983E60}
constexpr IID kIidXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
// IXMLDOMDocument2 {2933BF95-7B36-11D2-B20E-00C04F983E60}
constexpr IID kIidXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

bool IsTooLarge(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  // A path that cannot be measured is left to the reader, which fails on it in its own way.
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
  const ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return size > kMaxDocumentBytes;
}

}  // namespace

CProductInfoDocument::CProductInfoDocument() {
  CComPtr<IUnknown> unknown;
  if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_ALL, IID_IUnknown,
                              reinterpret_cast<void**>(unknown.put())))) {
    return;
  }
  if (FAILED(OleRun(unknown.get()))) return;
  unknown.get()->QueryInterface(kIidXmlDomDocument, reinterpret_cast<void**>(m_document.put()));
}

// A product-information file needs no document type declaration, and one brings entity expansion
// (a few hundred bytes that expand to gigabytes) and references to other files or addresses.
// Readers that honour ProhibitDTD refuse such a file themselves; Load rejects it after the fact
// on readers that ignore the property (Wine's among them).
void CProductInfoDocument::Harden() {
  CComPtr<IXMLDOMDocument2> document2;
  if (SUCCEEDED(m_document.get()->QueryInterface(kIidXmlDomDocument2, reinterpret_cast<void**>(document2.put())))) {
    CBstr name(SysAllocString(L"ProhibitDTD"));
    VARIANT prohibit;
    VariantInit(&prohibit);
    prohibit.vt = VT_BOOL;
    prohibit.boolVal = VARIANT_TRUE;
    if (name) document2.get()->setProperty(name.get(), prohibit);
  }
  m_document.get()->put_resolveExternals(VARIANT_FALSE);
  m_document.get()->put_validateOnParse(VARIANT_FALSE);
}

bool CProductInfoDocument::Load(const wchar_t* path) {
  if (!m_document || IsTooLarge(path)) return false;
  Harden();
  if (FAILED(m_document.get()->put_async(VARIANT_FALSE))) return false;

  CBstr pathText(SysAllocString(path));
  if (!pathText) return false;
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = pathText.get();  // borrowed: pathText frees it
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(m_document.get()->load(source, &loaded)) || loaded != VARIANT_TRUE) return false;

  // A declaration that the reader let through is refused here, before any of its entities is read.
  CComPtr<IXMLDOMDocumentType> documentType;
  const HRESULT checked = m_document.get()->get_doctype(documentType.put());
  return SUCCEEDED(checked) && !documentType;
}

HRESULT CProductInfoDocument::ReadText(const wchar_t* xpath, CBstr& text) const {
  text.reset();
  CBstr query(SysAllocString(xpath));
  if (!query) return E_OUTOFMEMORY;
  CComPtr<IXMLDOMNode> node;
  const HRESULT selected = m_document.get()->selectSingleNode(query.get(), node.put());
  if (FAILED(selected)) return selected;
  if (selected != S_OK || !node) return S_FALSE;
  const HRESULT read = node.get()->get_text(text.put());
  return FAILED(read) ? read : S_OK;
}

}  // namespace ProductInfo
