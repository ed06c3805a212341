// One move-only owner for every kind of Windows handle: each kind says how it is closed and
// which value means "none". Closing preserves the thread's last error, so releasing a handle on
// a failure path never hides the error about to be reported.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <memory>
#include <utility>

namespace TevMSI {

template <class Traits>
class CUniqueHandle {
 public:
  using Type = typename Traits::Type;

  CUniqueHandle() = default;
  explicit CUniqueHandle(Type handle) : m_handle(handle) {}
  CUniqueHandle(const CUniqueHandle&) = delete;
  CUniqueHandle& operator=(const CUniqueHandle&) = delete;
  CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.release()) {}
  CUniqueHandle& operator=(CUniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~CUniqueHandle() { reset(); }

  Type get() const { return m_handle; }
  explicit operator bool() const { return m_handle != Traits::Invalid(); }

  Type release() { return std::exchange(m_handle, Traits::Invalid()); }

  void reset(Type handle = Traits::Invalid()) {
    if (m_handle != Traits::Invalid()) {
      const DWORD lastError = GetLastError();
      Traits::Close(m_handle);
      SetLastError(lastError);
    }
    m_handle = handle;
  }

  // For out-parameters: closes what is held and hands out the address of the empty slot.
  Type* put() {
    reset();
    return &m_handle;
  }

 private:
  Type m_handle = Traits::Invalid();
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { CloseHandle(h); }
};

struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { FreeLibrary(h); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};

struct GlobalMemoryTraits {
  using Type = HGLOBAL;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { GlobalFree(h); }
};

using CKernelHandle = CUniqueHandle<KernelHandleTraits>;
using CFileHandle = CUniqueHandle<FileHandleTraits>;
using CModule = CUniqueHandle<ModuleTraits>;
using CFindHandle = CUniqueHandle<FindHandleTraits>;
using CGlobalMemory = CUniqueHandle<GlobalMemoryTraits>;

// Memory the system handed out with CoTaskMemAlloc (known-folder paths and lists), freed once.
struct TaskMemFree {
  void operator()(void* memory) const { CoTaskMemFree(memory); }
};
template <class T>
using CTaskMemory = std::unique_ptr<T, TaskMemFree>;

// Loads a DLL from the system folder only: a launcher often runs from a Downloads folder where
// anyone can plant a DLL of the same name beside it.
inline CModule LoadSystemLibrary(const wchar_t* name) {
  return CModule(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

// Fills `slot` with the entry point `name` of `module`; null when the module lacks it.
template <class Fn>
void FindProc(HMODULE module, Fn& slot, const char* name) {
  slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A COM interface pointer released once, when its owner goes.
template <class T>
struct ComRelease {
  void operator()(T* object) const {
    if (object) object->Release();
  }
};
template <class T>
using ComPtr = std::unique_ptr<T, ComRelease<T>>;

}  // namespace TevMSI
