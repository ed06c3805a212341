// Owners of what a download holds open: WinHTTP handles (the root, a connection, a request) and
// the COM stream the body goes into. Each is closed or released exactly once.
#pragma once

#include <windows.h>

#include <objidl.h>
#include "winhttp_api.h"

#include "../installer/unique_handle.h"

namespace Tevrian {

struct InternetHandleTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { Http::CloseHandle(h); }
};

struct StreamTraits {
  using Type = IStream*;
  static Type Invalid() { return nullptr; }
  static void Close(Type s) { s->Release(); }
};

using CInternetHandle = TevMSI::CUniqueHandle<InternetHandleTraits>;
using CStreamRef = TevMSI::CUniqueHandle<StreamTraits>;

}  // namespace Tevrian
