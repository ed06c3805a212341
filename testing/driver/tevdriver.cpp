// tevdriver: starts a program, prints the caption and texts of every dialog box it opens (message
// boxes and task dialogs), answers each in turn, and reports the program's full 32-bit exit code.
//
//   tevdriver.exe [--hidden] [--answer ok|cancel|yes|no]... [--timeout SECONDS] PROGRAM
//
// The program's argument text is taken verbatim from the environment variable TEV_ARGUMENTS, so
// that tests can pass exactly what a user types (quotes included). Output is UTF-8:
//   dialog: <caption>
//   text: <one line per line of each text control>
//   answer: ok
//   exit code N
//   crash: exception 0xC00000FD     (when N is an NTSTATUS error: the program died of an exception)
// The driver's own exit code is 0 when the program ended, 3 on a time-out (the program is then
// killed), 2 when it could not be started.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

void PrintUtf8(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  fwrite(narrow.data(), 1, narrow.size(), stdout);
  fflush(stdout);
}

void PrintPrefixedLines(const wchar_t* prefix, const std::wstring& text) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(L'\n', start);
    std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    PrintUtf8(std::wstring(prefix) + line + L"\n");
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct Search {
  DWORD processId;
  std::vector<HWND> dialogs;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window) && ClassOf(window) == L"#32770") {
    search->dialogs.push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK CollectTexts(HWND child, LPARAM param) {
  auto* texts = reinterpret_cast<std::vector<std::wstring>*>(param);
  const std::wstring cls = ClassOf(child);
  if (cls == L"Static" || cls == L"Edit") {
    std::wstring text = WindowText(child);
    if (!text.empty()) texts->push_back(text);
  }
  return TRUE;
}

WPARAM CommandOf(const std::wstring& answer) {
  if (answer == L"cancel") return IDCANCEL;
  if (answer == L"yes") return IDYES;
  if (answer == L"no") return IDNO;
  return IDOK;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  bool hidden = false;
  std::vector<std::wstring> answers;
  DWORD timeoutMs = 120000;
  std::wstring program;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--hidden") {
      hidden = true;
    } else if (arg == L"--answer" && i + 1 < argc) {
      answers.push_back(argv[++i]);
    } else if (arg == L"--timeout" && i + 1 < argc) {
      timeoutMs = static_cast<DWORD>(_wtoi(argv[++i])) * 1000;
    } else {
      program = arg;
    }
  }

  wchar_t arguments[32768] = {};
  GetEnvironmentVariableW(L"TEV_ARGUMENTS", arguments, 32768);
  std::wstring commandLine = L"\"" + program + L"\"";
  if (arguments[0] != L'\0') commandLine += std::wstring(L" ") + arguments;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (hidden) {
    // As a calling program starts the launcher when it wants no user interface.
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    PrintUtf8(L"driver: cannot start " + program + L": error " + std::to_wstring(GetLastError()) + L"\n");
    return 2;
  }
  CloseHandle(process.hThread);

  std::set<HWND> answered;
  std::size_t nextAnswer = 0;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
    if (GetTickCount64() > deadline) {
      PrintUtf8(L"driver: time-out, the program is ended\n");
      TerminateProcess(process.hProcess, 0xDEAD);
      CloseHandle(process.hProcess);
      return 3;
    }
    Search search{process.dwProcessId, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    for (HWND dialog : search.dialogs) {
      if (answered.count(dialog)) continue;
      Sleep(200);  // let the dialog finish laying out its texts
      std::vector<std::wstring> texts;
      EnumChildWindows(dialog, CollectTexts, reinterpret_cast<LPARAM>(&texts));
      PrintUtf8(L"dialog: " + WindowText(dialog) + L"\n");
      for (const auto& text : texts) PrintPrefixedLines(L"text: ", text);
      const std::wstring answer = nextAnswer < answers.size() ? answers[nextAnswer++] : L"ok";
      PrintUtf8(L"answer: " + answer + L"\n");
      answered.insert(dialog);
      PostMessageW(dialog, WM_COMMAND, CommandOf(answer), 0);
    }
    // Forget closed windows: a later dialog may get the same handle.
    for (auto it = answered.begin(); it != answered.end();) it = IsWindow(*it) ? std::next(it) : answered.erase(it);
  }

  DWORD exitCode = 0;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  PrintUtf8(L"exit code " + std::to_wstring(exitCode) + L"\n");
  // No program of ours ends with an NTSTATUS error on purpose: that is an exception's code.
  if ((exitCode & 0xC0000000u) == 0xC0000000u) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(exitCode));
    PrintUtf8(std::wstring(L"crash: exception ") + code + L"\n");
  }
  return 0;
}
