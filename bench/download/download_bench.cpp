// One timed acquisition of a file, for bench/download_bench.py:
//   download_bench tev URL DEST ENTRY        CDownloader::DownloadFile (which verifies), no dialog
//   download_bench dialog URL DEST ENTRY     the same under the progress dialog, the bar moved by
//                                            the bytes received
//   download_bench dialog-still URL DEST ENTRY   under the dialog with the bar left still (what
//                                            the open dialog costs apart from the bar's moves)
//   download_bench bare READSIZE URL DEST    the same platform calls written out: WinHTTP reads of
//                                            READSIZE bytes into a file, then MsiGetFileHashW
// Prints "seconds: S", and "working-set: BEFORE PEAK" (bytes) around the acquisition.
#include <windows.h>

#include <msi.h>
#include <psapi.h>
#include <winhttp.h>

#include <cstdio>
#include <string>
#include <vector>

#include "downloader.h"
#include "ui/async_action_dlg.h"
#include "json/json_parser.h"

using namespace Tevrian;

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::size_t WorkingSet(bool peak) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

JSON::JsonObject ReadEntry(const wchar_t* path) {
  std::string text;
  if (FILE* file = _wfopen(path, L"rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) text.append(buffer, n);
    std::fclose(file);
  }
  return JSON::ParseJSON(text).AsObject();
}

// The acquisition alone is timed, with the dialog's bar moved by it or with no dialog at all.
bool Acquire(CDownloader& downloader, const wchar_t* url, const wchar_t* dest, const JSON::JsonObject& entry,
             CProgressSink* dialog, double& seconds) {
  const double start = Now();
  try {
    downloader.DownloadFile(url, dest, entry, cancellation_token::none(), dialog);
  } catch (const std::exception&) {
    return false;
  }
  seconds = Now() - start;
  return true;
}

int Tev(const wchar_t* url, const wchar_t* dest, const wchar_t* entryPath) {
  const JSON::JsonObject entry = ReadEntry(entryPath);
  CDownloader downloader(nullptr);
  const std::size_t before = WorkingSet(false);
  double seconds = 0;
  if (!Acquire(downloader, url, dest, entry, nullptr, seconds)) {
    std::puts("failed");
    return 1;
  }
  std::printf("seconds: %.6f\nworking-set: %zu %zu\n", seconds, before, WorkingSet(true));
  return 0;
}

int UnderDialog(const wchar_t* url, const wchar_t* dest, const wchar_t* entryPath, bool moveBar) {
  const JSON::JsonObject entry = ReadEntry(entryPath);
  CDownloader downloader(nullptr);
  Expression::CConditionExpression properties;
  properties.SetProperty(L"PackageName", Expression::Token::Text(Expression::TokenKind::String, L"Bench"));
  CAsyncActionDlg dialog(properties, nullptr);
  bool done = false;
  double seconds = 0;
  dialog.SetWorkFunction([&](cancellation_token, CAsyncActionDlg* bar) {
    bar->SetStepTotal(static_cast<std::uint32_t>(JSON::GetValue(entry, "Size", std::int32_t{0})));
    bar->SetContent(std::wstring(L"ダウンロードしています: ") + url);
    done = Acquire(downloader, url, dest, entry, moveBar ? bar : nullptr, seconds);
  });
  dialog.DoModal(nullptr);
  if (!done) {
    std::puts("failed");
    return 1;
  }
  std::printf("seconds: %.6f\n", seconds);
  return 0;
}

// Handles are closed by hand here on purpose: this is the bare loop the downloader is measured
// against, with nothing of the downloader's own.
int Bare(DWORD readSize, const wchar_t* url, const wchar_t* dest) {
  const double start = Now();
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = parts.dwUrlPathLength = static_cast<DWORD>(-1);
  WinHttpCrackUrl(url, 0, 0, &parts);
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, nullptr, nullptr, 0);
  HINTERNET connection = WinHttpConnect(session, host.c_str(), parts.nPort, 0);
  HINTERNET request = WinHttpOpenRequest(connection, L"GET", path.c_str(), nullptr, nullptr, nullptr, 0);
  bool ok = WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) && WinHttpReceiveResponse(request, nullptr);
  HANDLE file = CreateFileW(dest, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<BYTE> buffer(readSize);
  for (DWORD available = 0; ok && WinHttpQueryDataAvailable(request, &available) && available > 0;) {
    DWORD read = 0, written = 0;
    ok = WinHttpReadData(request, buffer.data(), available < readSize ? available : readSize, &read) && read > 0 &&
         WriteFile(file, buffer.data(), read, &written, nullptr);
  }
  CloseHandle(file);
  WinHttpCloseHandle(request);
  WinHttpCloseHandle(connection);
  WinHttpCloseHandle(session);
  MSIFILEHASHINFO hash = {};
  hash.dwFileHashInfoSize = sizeof(hash);
  ok = ok && MsiGetFileHashW(dest, 0, &hash) == ERROR_SUCCESS;
  if (!ok) {
    std::puts("failed");
    return 1;
  }
  std::printf("seconds: %.6f\n", Now() - start);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"tev" && argc == 5) return Tev(argv[2], argv[3], argv[4]);
  if (mode == L"dialog" && argc == 5) return UnderDialog(argv[2], argv[3], argv[4], true);
  if (mode == L"dialog-still" && argc == 5) return UnderDialog(argv[2], argv[3], argv[4], false);
  if (mode == L"bare" && argc == 5)
    return Bare(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)), argv[3], argv[4]);
  std::fputs("usage: download_bench tev|dialog|dialog-still URL DEST ENTRY | bare READSIZE URL DEST\n", stderr);
  return 2;
}
