// One product-information file, read through the platform's XML document object (MSXML over COM).
#pragma once

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include "installer/unique_handle.h"

namespace ProductInfo {

template <class Interface>
struct ComTraits {
  using Type = Interface*;
  static Type Invalid() { return nullptr; }
  static void Close(Type pointer) { pointer->Release(); }
};

struct BstrTraits {
  using Type = BSTR;
  static Type Invalid() { return nullptr; }
  static void Close(Type text) { SysFreeString(text); }
};

template <class Interface>
using CComPtr = TevMSI::CUniqueHandle<ComTraits<Interface>>;
using CBstr = TevMSI::CUniqueHandle<BstrTraits>;

// Files larger than this are refused unread: a real one holds a few hundred bytes, and the XML
// reader slows down sharply on documents of many megabytes.
inline constexpr ULONGLONG kMaxDocumentBytes = 1024 * 1024;

class CProductInfoDocument {
 public:
  // Creates the document object. It needs COM on the calling thread; without it, or on any other
  // failure, there is no document and Load fails.
  CProductInfoDocument();

  // Loads the file synchronously; false when there is no document, the file is too large, it is
  // not well-formed, or it carries a document type declaration.
  bool Load(const wchar_t* path);

  // The text of the single node at xpath. S_OK with the text (empty when the node has none), S_FALSE
  // when no node matches, or the failing call's code.
  HRESULT ReadText(const wchar_t* xpath, CBstr& text) const;

 private:
  void Harden();

  CComPtr<IXMLDOMDocument> m_document;
};

}  // namespace ProductInfo
