// Runs CDownloader on the URLs of its command line, one downloader for all of them, and prints
// what each call gave, so that the end-to-end download tests can check it against real servers.
//   downloadwith [--progress] [--cancel-after UNITS] [--cancel-at-ms MS] [--write-fails] ACTION...
// --cancel-at-ms cancels from another thread MS milliseconds after the start, as the dialog's Cancel
// does whether or not bytes arrive.
//   ACTION: stream URL OUT | file URL DEST ENTRY | memory URL OUT
// ENTRY is a JSON file holding the file entry, or "-" for an empty one. Output lines, UTF-8:
//   log: LINE             each log line, with line breaks written as \n
//   result: N             DownloadToStream's result (signed decimal)
//   exception: 0xCODE MESSAGE   a TevMSI::CMsiException (line breaks as \n)
//   progress: UNITS AHEAD the units the bar moved, and the most it was ever ahead of the bytes written
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "downloader.h"
#include "installer/msi_exception.h"
#include "json/json_parser.h"
#include "shared/cancellation_token.h"

using namespace Tevrian;

namespace {

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::string OneLine(std::wstring_view text) {
  std::string out;
  for (const char c : Utf8(text)) {
    if (c == '\n') {
      out += "\\n";
    } else if (c != '\r') {
      out += c;
    }
  }
  return out;
}

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The bytes the downloader wrote so far, seen by the progress sink.
std::uint64_t g_written = 0;

// A byte sink that is only a byte sink: it writes into a file, or fails every write.
class CFileSink final : public IStream {
 public:
  CFileSink(FILE* file, bool fails) : m_file(file), m_fails(fails) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
      *out = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
    if (m_fails) return STG_E_MEDIUMFULL;
    std::fwrite(data, 1, size, m_file);
    g_written += size;
    if (written) *written = size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  FILE* m_file;
  bool m_fails;
  ULONG m_refs = 1;
};

// Records how far the bar moved, how far it ran ahead of the bytes written, and cancels the run
// once it has moved `cancelAfter` units (0: never).
class CRecordingSink final : public CProgressSink {
 public:
  CRecordingSink(cancellation_token_source& source, std::uint64_t cancelAfter)
      : m_source(source), m_cancelAfter(cancelAfter) {}
  void Advance(std::uint32_t units) override {
    m_units += units;
    if (m_units > g_written && m_units - g_written > m_ahead) m_ahead = m_units - g_written;
    if (m_cancelAfter != 0 && m_units >= m_cancelAfter) m_source.cancel();
  }
  void WaitWhilePaused() override {}
  void SetContent(const std::wstring&) override {}
  std::uint64_t Units() const { return m_units; }
  std::uint64_t Ahead() const { return m_ahead; }

 private:
  cancellation_token_source& m_source;
  std::uint64_t m_cancelAfter;
  std::uint64_t m_units = 0;
  std::uint64_t m_ahead = 0;
};

JSON::JsonObject ReadEntry(const std::wstring& path) {
  if (path == L"-") return {};
  std::string text;
  if (FILE* file = _wfopen(path.c_str(), L"rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) text.append(buffer, n);
    std::fclose(file);
  }
  return JSON::ParseJSON(text).AsObject();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool progress = false;
  bool writeFails = false;
  std::uint64_t cancelAfter = 0;
  DWORD cancelAtMs = 0;
  int i = 1;
  for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--progress") {
      progress = true;
    } else if (option == L"--write-fails") {
      writeFails = true;
    } else if (option == L"--cancel-at-ms" && i + 1 < argc) {
      cancelAtMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
    } else if (option == L"--cancel-after" && i + 1 < argc) {
      cancelAfter = std::wcstoull(argv[++i], nullptr, 10);
      progress = true;
    } else {
      Print("usage: unknown option " + Utf8(option));
      return 2;
    }
  }
  cancellation_token_source source;
  std::thread canceler;
  if (cancelAtMs != 0) {
    canceler = std::thread([&source, cancelAtMs] {
      Sleep(cancelAtMs);
      source.cancel();
    });
  }
  CRecordingSink sink(source, cancelAfter);
  CProgressSink* dialog = progress ? &sink : nullptr;
  CDownloader downloader([](std::wstring_view line) { Print("log: " + OneLine(line)); });

  while (i < argc) {
    const std::wstring action = argv[i];
    const int operands = action == L"file" ? 3 : 2;
    if (i + operands >= argc) {
      Print("usage: " + Utf8(action) + " needs " + std::to_string(operands) + " operands");
      return 2;
    }
    const std::wstring url = argv[i + 1];
    const std::wstring out = argv[i + 2];
    try {
      if (action == L"stream") {
        FILE* file = _wfopen(out.c_str(), L"wb");
        if (!file) {
          Print("usage: cannot write " + Utf8(out));
          return 2;
        }
        CFileSink stream(file, writeFails);
        const std::int32_t rc = downloader.DownloadToStream(url, &stream, source.get_token(), dialog);
        std::fclose(file);
        Print("result: " + std::to_string(rc));
      } else if (action == L"file") {
        const JSON::JsonObject entry = ReadEntry(argv[i + 3]);
        Print("result: " + std::to_string(downloader.DownloadFile(url, out, entry, source.get_token(), dialog)));
      } else if (action == L"memory") {
        const HGLOBAL block = downloader.DownloadToMemory(url, source.get_token());
        // The body is what was written; the block itself may be rounded up.
        FILE* file = _wfopen(out.c_str(), L"wb");
        const void* data = GlobalLock(block);
        if (file && data) std::fwrite(data, 1, GlobalSize(block), file);
        if (file) std::fclose(file);
        GlobalUnlock(block);
        GlobalFree(block);
        Print("result: 0");
      } else {
        Print("usage: unknown action " + Utf8(action));
        return 2;
      }
    } catch (const TevMSI::CMsiException& error) {
      char code[16];
      std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(error.Code()));
      Print(std::string("exception: ") + code + " " + OneLine(error.Message()));
    }
    i += operands + 1;
  }
  if (progress) Print("progress: " + std::to_string(sink.Units()) + " " + std::to_string(sink.Ahead()));
  if (canceler.joinable()) canceler.join();
  return 0;
}
