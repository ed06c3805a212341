// tevdriver: starts a program, prints the caption and texts of every dialog box it opens (message
// boxes and task dialogs), answers each in turn, and reports the program's full 32-bit exit code.
//
//   tevdriver.exe [--hidden] [--answer ANSWER]... [--timeout SECONDS] PROGRAM
//
// ANSWER is ok, cancel, yes or no (the button pressed), close (the title bar's close button) or
// none (the dialog is left to close by itself); ANSWER@TEXT waits until the dialog shows TEXT
// before giving ANSWER, so that a progress dialog is answered once its work is under way;
// ANSWER+MS@TEXT waits MS milliseconds more once TEXT shows (work that shows nothing new, such as a
// request waiting for its answer). Past
// the given answers, message boxes get ok and progress dialogs none.
//
// The program's argument text is taken verbatim from the environment variable TEV_ARGUMENTS, so
// that tests can pass exactly what a user types (quotes included). Output is UTF-8:
//   dialog: <caption>
//   text: <one line per line of each text control>
//   progress: 400 of 1000, state 1        (a dialog with a progress bar: PBM_GETPOS, PBM_GETSTATE)
//   owner progress: 400 of 1000, state 3  (a message box over such a dialog)
//   answer: ok
//   exit code N
//   crash: exception 0xC00000FD     (when N is an NTSTATUS error: the program died of an exception)
// The driver's own exit code is 0 when the program ended, 3 on a time-out (the program is then
// killed), 2 when it could not be started.
#include <windows.h>

#include <commctrl.h>

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

std::vector<std::wstring> TextsOf(HWND dialog) {
  std::vector<std::wstring> texts;
  EnumChildWindows(dialog, CollectTexts, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

// "position of range, state" of the dialog's progress bar; empty when it has none.
std::wstring ProgressOf(HWND dialog) {
  HWND bar = dialog ? FindWindowExW(dialog, nullptr, PROGRESS_CLASSW, nullptr) : nullptr;
  if (!bar) return {};
  return std::to_wstring(SendMessageW(bar, PBM_GETPOS, 0, 0)) + L" of " +
         std::to_wstring(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)) + L", state " +
         std::to_wstring(SendMessageW(bar, PBM_GETSTATE, 0, 0));
}

struct Answer {
  std::wstring word;
  std::wstring awaited;  // a text the dialog must show first; empty for none
  DWORD delayMs = 0;     // how long after it shows
};

Answer ParseAnswer(const std::wstring& text) {
  const std::size_t at = text.find(L'@');
  Answer answer{text.substr(0, at), at == std::wstring::npos ? std::wstring() : text.substr(at + 1)};
  if (const std::size_t plus = answer.word.find(L'+'); plus != std::wstring::npos) {
    answer.delayMs = static_cast<DWORD>(std::wcstoul(answer.word.c_str() + plus + 1, nullptr, 10));
    answer.word.resize(plus);
  }
  return answer;
}

bool Shows(const std::vector<std::wstring>& texts, const std::wstring& awaited) {
  for (const auto& text : texts) {
    if (text.find(awaited) != std::wstring::npos) return true;
  }
  return false;
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
  std::set<HWND> seen;
  std::size_t nextAnswer = 0;
  ULONGLONG awaitedShownAt = 0;  // when the next answer's text first showed
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
      if (!seen.count(dialog)) {
        seen.insert(dialog);
        Sleep(200);  // let the dialog finish laying out its texts
      }
      const std::vector<std::wstring> texts = TextsOf(dialog);
      // Past the given answers a message box gets OK, and a progress dialog is left to its work.
      const std::wstring given = nextAnswer < answers.size()  ? answers[nextAnswer]
                                 : ProgressOf(dialog).empty() ? L"ok"
                                                              : L"none";
      const Answer answer = ParseAnswer(given);
      if (!answer.awaited.empty() && !Shows(texts, answer.awaited)) continue;  // look again next round
      if (answer.delayMs != 0) {
        if (awaitedShownAt == 0) awaitedShownAt = GetTickCount64();
        if (GetTickCount64() - awaitedShownAt < answer.delayMs) continue;
      }
      awaitedShownAt = 0;
      ++nextAnswer;
      PrintUtf8(L"dialog: " + WindowText(dialog) + L"\n");
      for (const auto& text : texts) PrintPrefixedLines(L"text: ", text);
      if (const std::wstring progress = ProgressOf(dialog); !progress.empty()) {
        PrintUtf8(L"progress: " + progress + L"\n");
      }
      if (const std::wstring progress = ProgressOf(GetWindow(dialog, GW_OWNER)); !progress.empty()) {
        PrintUtf8(L"owner progress: " + progress + L"\n");
      }
      PrintUtf8(L"answer: " + given + L"\n");
      answered.insert(dialog);
      if (answer.word == L"close") {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
      } else if (answer.word != L"none") {
        PostMessageW(dialog, WM_COMMAND, CommandOf(answer.word), 0);
      }
    }
    // Forget closed windows: a later dialog may get the same handle.
    for (auto* windows : {&answered, &seen}) {
      for (auto it = windows->begin(); it != windows->end();) it = IsWindow(*it) ? std::next(it) : windows->erase(it);
    }
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
