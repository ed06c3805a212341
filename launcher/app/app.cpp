#include "app.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <stdexcept>

#include "../conditions/expression.h"
#include "../conditions/property_list.h"
#include "../installer/unique_handle.h"
#include "../json/json_parser.h"
#include "../packages/partial_file.h"
#include "command_line.h"
#include "file_names.h"
#include "folders.h"
#include "../installer/msi_exception.h"
#include "../installer/msi_api.h"
#include "../installer/registry.h"
#include "../installer/text.h"
#include "../conditions/property_searches.h"
#include "integrity.h"
#include "log_file.h"
#include "manifest_text.h"
#include "message_pump.h"
#include "process_outcome.h"
#include "signature_policy.h"

namespace Tevrian {
namespace {

constexpr UINT kAppNameStringId = 57344;
constexpr wchar_t kCommandLineErrorMessage[] = L"コマンドライン引数に間違いがあります。";
constexpr wchar_t kCommandLineArgumentMessage[] = L"コマンドライン引数に間違いがあります。\n{0}=";
constexpr wchar_t kIntegrityFailureMessage[] =
    L"TevLauncher のファイルの署名を確認できませんでした(0x{0:08X})。\n"
    L"ファイルが壊れているか、変更されています。実行を中止します。";
constexpr wchar_t kUnexpectedErrorMessage[] = L"予期しないエラーが発生しました。\n{0}\n実行を中止します。";
constexpr wchar_t kNoManifestMessage[] = L"実行情報がありません。";
constexpr wchar_t kAlreadyRunningMessage[] =
    L"別のセットアップを実行中です。\n実行中のセットアップが終わってから、もう一度実行してください。";
constexpr wchar_t kInvalidManifestMessage[] = L"実行情報に誤りがあります。\n{0}\n実行を中止します。";

std::wstring OwnModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring AppName() {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), kAppNameStringId, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring(L"TevLauncher");
}

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

// comctl32 is not a KnownDLL: it is looked up in the system folder rather than imported.
void InitCommonControls() {
  static TevMSI::CModule comctl32 = TevMSI::LoadSystemLibrary(L"comctl32.dll");
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (!comctl32) return;
  auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl32.get(), "InitCommonControlsEx")));
  if (!init) return;
  INITCOMMONCONTROLSEX controls{8, 0xFF};
  init(&controls);
}

}  // namespace

const std::wstring& GetCommandLineArguments() {
  static const std::wstring arguments = SplitCommandLineArguments(GetCommandLineW());
  return arguments;
}

bool IsStartedHidden() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_HIDE;
}

CTevLauncherApp::CTevLauncherApp() : CTevLauncherApp(AppendLogLines) {}

CTevLauncherApp::CTevLauncherApp(CLog::Appender appender)
    : m_log(CurrentLocalTime, std::move(appender)),
      m_properties([this](std::wstring_view line) { WriteLog(line); }),
      m_packages(m_properties, this),
      m_downloader([this](std::wstring_view line) { WriteLog(line); }) {}

bool CTevLauncherApp::InitInstance() {
  InitCommonControls();
  OleInitialize(nullptr);
  // Nothing may leave the start-up as an unhandled exception: each is explained and the run ends
  // in order through ExitInstance.
  try {
    if (!CheckIntegrity()) return false;
    if (!InitBuiltinProperties()) {
      // A Windows the launcher cannot identify is a refused run, never a success.
      if (m_exitCode == kExitSuccess) m_exitCode = kExitUnexpectedError;
      EnsureLogFile();
      WriteLog(L"InitBuiltinProperties failed:{0}; the run ends", m_exitCode);
      return false;
    }
    if (!ParseCommandLine()) return false;
    // Before the manifest: reading it may already use the work folder another run is in.
    if (!CheckSingleRun()) return false;
    if (!LoadManifest()) return false;
    if (!CheckLaunchPackage()) return false;
    LaunchPackages();
  } catch (...) {
    EndWithCurrentException();
  }
  return false;
}

void CTevLauncherApp::EndWithCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const JSON::BadAnyCast& error) {
      // A member of the wrong kind or a missing required member: the manifest cannot be acted on.
      const std::wstring what = error.Describe();
      EndWithRunError(L"Invalid manifest: " + what, FormatText(kInvalidManifestMessage, what), kExitInvalidManifest);
    } catch (const Expression::ConditionError& error) {
      const std::wstring what = error.Describe();
      EndWithRunError(L"Invalid manifest: " + what, FormatText(kInvalidManifestMessage, what), kExitInvalidManifest);
    } catch (const TevMSI::CMsiException& error) {
      const std::wstring text = TevMSI::ErrorText(error);
      EndWithRunError(FormatText(L"Error {0}(0x{0:08X}): {1}", error.Code(), text),
                      FormatText(kUnexpectedErrorMessage, text), static_cast<std::uint32_t>(error.Code()));
    } catch (const std::bad_alloc&) {
      EndWithUnexpectedError(L"out of memory");
    } catch (const std::exception& error) {
      EndWithUnexpectedError(Widen(error.what()));
    } catch (...) {
      EndWithUnexpectedError(L"unknown error");
    }
  } catch (...) {
    // Even the report failed (out of memory): the exit code still tells the caller.
    m_exitCode = kExitUnexpectedError;
  }
}

std::uint32_t CTevLauncherApp::ExitInstance() {
  // Exit never raises: each step that fails is logged and the next one still runs.
  const auto step = [this](const wchar_t* name, const auto& run) {
    try {
      run();
    } catch (const TevMSI::CMsiException& error) {
      WriteLog(L"Failed. {0}():{1}, {2}", name, error.Code(), TevMSI::ErrorText(error));
    } catch (const std::exception& error) {
      WriteLog(L"Failed. {0}():{1}", name, Widen(error.what()));
    } catch (...) {
      WriteLog(L"Failed. {0}():unknown error", name);
    }
  };
  try {
    step(L"RemoveCleanupFileFolder", [this] {
      if (!m_cleanupFiles.empty()) RemoveCleanupFileFolder();
    });
    step(L"RemoveFolderTree", [this] {
      if (!m_workFolder.empty()) RemoveFolderTree(m_workFolder);
    });
    if (m_knownFolderManager) {
      m_knownFolderManager->Release();
      m_knownFolderManager = nullptr;
    }
    WriteLog(L"ExitCode={0}(0x{0:08X})", static_cast<std::int32_t>(m_exitCode));
    WriteLog(L"m_scheduleReboot={0}, m_forceReboot={1}", m_scheduleReboot, m_forceReboot);
    m_properties.LogProperties();
  } catch (...) {
    // Only an allocation can fail here; the exit code below is still the run's.
  }
  if (m_quiet && (m_forceReboot || m_scheduleReboot)) m_exitCode = ERROR_SUCCESS_REBOOT_REQUIRED;
  return m_exitCode;
}

bool CTevLauncherApp::ParseCommandLine() {
  m_exitCode = 0;
  const std::wstring arguments = CommandLineArguments();
  WriteLog(L"CommandLine={0}", arguments);

  Expression::TokenList tokens;
  try {
    tokens = Expression::Tokenize(arguments);
  } catch (const std::out_of_range&) {
    EndWithRunError(L"CommandLine error: an integer is beyond the 32-bit range", kCommandLineErrorMessage,
                    kExitBadArguments);
    return false;
  } catch (const std::invalid_argument&) {
    EndWithRunError(L"CommandLine error: a digit run is not a number", kCommandLineErrorMessage, kExitBadArguments);
    return false;
  }

  CommandLineSwitches switches;
  const auto onDebug = [this] {
    std::wstring text = L"Debug Break\n";
    Expression::AppendPropertyList(text, m_commandLineProperties);
    WriteLog(text);
    ShowMessage(text, true);
  };
  std::wstring malformed;
  const CommandLineWalk walk = WalkCommandLine(tokens, switches, m_commandLineProperties, onDebug, &malformed);
  m_quiet = m_quiet || switches.quiet;
  m_noRestart = m_noRestart || switches.noRestart;
  if (walk == CommandLineWalk::Error) {
    // A calling program must not read a refused run as done: the code msiexec gives a bad
    // command line, with the argument named where the user and the log can see it.
    EndWithRunError(FormatText(L"CommandLine error: the value given to {0} is not a value", malformed),
                    FormatText(kCommandLineArgumentMessage, malformed), kExitInvalidCommandLine);
    return false;
  }
  if (walk == CommandLineWalk::Help) {
    std::wstring text = kHelpText;
    Expression::AppendPropertyList(text, m_commandLineProperties);
    ShowMessage(text);
    m_exitCode = kExitHelpShown;
    return false;
  }
  return true;
}

SetupRunState CTevLauncherApp::AcquireSetupRun() { return m_runLock.Acquire(kSetupRunLockName, ParentProcessId()); }

bool CTevLauncherApp::CheckSingleRun() {
  switch (AcquireSetupRun()) {
    case SetupRunState::First:
      return true;
    case SetupRunState::SameLaunch:
      WriteLog(L"CheckSingleRun: started by the setup that is running (the same launch)");
      m_firstOfLaunch = false;
      return true;
    case SetupRunState::Unguarded:
      // A lock that cannot be made must not keep the user from installing.
      WriteLog(L"Failed. CheckSingleRun: CreateMutex():{0}, {1}; the run goes on without the lock", m_runLock.Error(),
               TevMSI::SystemMessage(m_runLock.Error()));
      return true;
    case SetupRunState::AlreadyRunning:
      break;
  }
  EndWithRunError(L"CheckSingleRun: another setup is running in this session", kAlreadyRunningMessage,
                  kExitAlreadyRunning);
  return false;
}

void CTevLauncherApp::ShowMessage(const std::wstring& text, bool alreadyLogged) {
  if (IsHidden()) {
    WriteLog(alreadyLogged ? std::wstring(L"Message not shown: the run is hidden")
                           : L"Message not shown (the run is hidden): " + text);
    return;
  }
  if (!alreadyLogged) WriteLog(L"Message: " + text);
  ShowMessageBox(text);
}

void CTevLauncherApp::ShowMessageBox(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), AppName().c_str(), MB_OK | MB_ICONWARNING);
}

std::wstring CTevLauncherApp::CommandLineArguments() { return GetCommandLineArguments(); }

bool CTevLauncherApp::InitBuiltinProperties() {
  std::uint32_t error = 0;
  if (m_properties.InitBuiltinProperties([this](const std::wstring& text) { ShowMessage(text); }, &error)) return true;
  m_exitCode = error;
  return false;
}

bool CTevLauncherApp::CheckIntegrity() {
  const std::wstring path = OwnModulePath();
  const SignatureCheck check = VerifyOwnSignature(path);
  switch (check.state) {
    case SignatureState::Verified:
      WriteLog(L"VerifySignature( {0} ):verified", path);
      return true;
    case SignatureState::Unsigned:
      WriteLog(L"VerifySignature( {0} ):unsigned(0x{1:08X})", path, check.status);
      if (!SignatureRequired()) return true;
      break;
    case SignatureState::Invalid:
      WriteLog(L"VerifySignature( {0} ):failed(0x{1:08X})", path, check.status);
      break;
  }
  // Through the run's error end: the reason reaches a log file, and a hidden run opens no window.
  EndWithRunError(FormatText(L"The launcher's own file is refused (0x{0:08X}); the run ends", check.status),
                  FormatText(kIntegrityFailureMessage, check.status), kExitInvalidImageHash);
  return false;
}

void CTevLauncherApp::EndWithUnexpectedError(const std::wstring& what) {
  EndWithRunError(FormatText(L"Unexpected error: {0}", what), FormatText(kUnexpectedErrorMessage, what),
                  kExitUnexpectedError);
}

}  // namespace Tevrian

namespace Tevrian {
namespace {

// The embedded document must be one complete JSON object; what the reader makes of anything else
// is said in terms a release engineer can act on.
JSON::JsonObject ParseManifest(std::string_view bytes) {
  JSON::JsonValue document = ParseManifestText(bytes, L"the manifest");
  if (!document.IsObject()) {
    throw JSON::BadAnyCast(L"the manifest must be an object, found " + JSON::KindName(document.Kind()));
  }
  return std::move(document.AsObject());
}

}  // namespace

bool CTevLauncherApp::LoadManifest() {
  std::string bytes;
  std::uint32_t error = 0;
  if (!ReadManifestResource(bytes, error)) {
    m_exitCode = error;
    WriteLog(L"LoadManifest: the launcher carries no manifest (resource JSON 1):{0}", static_cast<std::int32_t>(error));
    EnsureLogFile();
    ShowMessage(kNoManifestMessage);
    if (m_exitCode == 0) m_exitCode = kExitNoManifest;
    return false;
  }
  m_manifest = ParseManifest(bytes);
  // Kept as embedded: a newer manifest may replace m_manifest, but the name, the log file and
  // the elevation test always follow the launcher's own document.
  const JSON::JsonObject embeddedLaunchPackage = JSON::RequiredObject(m_manifest, "LaunchPackage");

  if (!UpdateManifest(embeddedLaunchPackage)) return false;

  const bool needsLog = JSON::WithinMember("LaunchPackage", [&] {
    const auto& properties = m_properties.Properties();
    if (properties.find(L"PackageName") == properties.end() &&
        embeddedLaunchPackage.find("DisplayName") != embeddedLaunchPackage.end()) {
      m_properties.SetProperty(L"PackageName",
                               Expression::Token::Text(Expression::TokenKind::String,
                                                       JSON::GetValue(embeddedLaunchPackage, "DisplayName", L"")));
    }
    if (embeddedLaunchPackage.find("TargetPackageName") != embeddedLaunchPackage.end()) {
      m_properties.SetProperty(L"TargetPackageName", Expression::Token::Text(Expression::TokenKind::String,
                                                                             JSON::GetValue(embeddedLaunchPackage,
                                                                                            "TargetPackageName", L"")));
    }
    // A launch that needs elevation restarts itself elevated; only that instance keeps a log.
    const bool privileged = JSON::GetValue(embeddedLaunchPackage, "Privileged", false);
    return !(privileged && !IsElevated()) && m_log.LogFilePath().empty();
  });
  if (needsLog) {
    const Expression::Token packageName = m_properties.GetProperty(L"PackageName");
    // The log is named after the package: a manifest without "DisplayName" cannot be run.
    if (packageName.kind != Expression::TokenKind::String) {
      throw JSON::BadAnyCast(L"the required member is missing")
          .WithinMember("DisplayName")
          .WithinMember("LaunchPackage");
    }
    StartLogFile(packageName.TextValue());
  }

  LoadPropertyDefinitions();
  const JSON::JsonArray& launchList = JSON::RequiredArray(m_manifest, "LaunchList");
  JSON::WithinMember("LaunchList", [&] { m_packages.Load(launchList); });
  return true;
}

bool CTevLauncherApp::LoadPropertyDefinitions() {
  if (const auto it = m_manifest.find("Properies"); it != m_manifest.end()) {
    JSON::WithinMember("Properies", [&] {
      std::size_t index = 0;
      for (const JSON::JsonValue& element : it->second.AsArray()) {
        JSON::WithinElement(index++, [&] {
          for (const auto& [name, definition] : element.AsObject()) {
            JSON::WithinMember(name, [&] { m_properties.AddPropertyDefinition(name, definition); });
          }
        });
      }
    });
  }
  for (auto& [name, token] : m_commandLineProperties) m_properties.SetProperty(name, token);
  m_commandLineProperties.clear();
  return true;
}

bool CTevLauncherApp::ReadManifestResource(std::string& bytes, std::uint32_t& error) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), L"JSON");
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  const DWORD size = loaded ? SizeofResource(module, resource) : 0;
  const void* data = size ? LockResource(loaded) : nullptr;
  if (!data) {
    error = GetLastError();
    return false;
  }
  bytes.assign(static_cast<const char*>(data), size);
  return true;
}

bool CTevLauncherApp::IsElevated() {
  TevMSI::CKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  DWORD elevation = 0;
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) return false;
  return elevation != 0;
}

bool CTevLauncherApp::IsHidden() { return IsStartedHidden(); }

std::wstring CTevLauncherApp::TempFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

void CTevLauncherApp::EndWithRunError(const std::wstring& logLine, const std::wstring& message,
                                      std::uint32_t exitCode) {
  m_exitCode = exitCode;
  EnsureLogFile();
  WriteLog(logLine);
  ShowMessage(message);
}

void CTevLauncherApp::EnsureLogFile() {
  if (!m_log.LogFilePath().empty()) return;
  const Expression::Token name = m_properties.GetProperty(L"PackageName");
  StartLogFile(name.kind == Expression::TokenKind::String ? name.TextValue() : std::wstring(L"TevLauncher"));
}

void CTevLauncherApp::StartLogFile(const std::wstring& packageName) {
  // The whole path stays within the platform's limit, room for a numbered name included. A
  // temporary folder too long for that is tried once more in its short (8.3) form, so that even
  // then the run keeps its log.
  constexpr std::size_t kLongestPath = MAX_PATH - 1;
  const auto nameIn = [&](const std::wstring& folder) {
    if (folder.empty() || folder.size() + kLogNameNumberRoom >= kLongestPath) return std::wstring();
    return LogFileName(packageName, CurrentLocalTime(), kLongestPath - folder.size() - kLogNameNumberRoom);
  };
  std::wstring folder = TempFolder();
  std::wstring name = nameIn(folder);
  if (name.empty()) {
    folder = ShortPathName(folder);
    name = nameIn(folder);
  }
  if (name.empty()) return;
  const std::wstring path = CreateLogFile(folder, name);
  if (!path.empty()) m_log.SetLogFilePath(path);
}

std::wstring CTevLauncherApp::CreateLogFile(const std::wstring& folder, const std::wstring& name) {
  return CreateNewLogFile(folder, name);
}

void CTevLauncherApp::RemoveCleanupFileFolder() {
  std::vector<std::wstring> folders;
  for (const std::wstring& path : m_cleanupFiles) {
    // A file that was valid before this run and that it did not touch stays as it is.
    if (m_obtainedFiles.find(path) == m_obtainedFiles.end()) continue;
    if (const auto backup = m_restoreFiles.find(path); backup != m_restoreFiles.end()) {
      WriteLog(L"RestoreFile( {0} <- {1} )", path, backup->second);
      // The last write under a final name in the cache goes through a partial file like every
      // other: a run killed while it restores leaves the file as it was, never half of the backup.
      const std::wstring partial = PartialFilePath(path);
      if (!CopyFileW(backup->second.c_str(), partial.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        DeleteFileW(partial.c_str());
        WriteLog(L"Failed. CopyFile( {0}, {1} ):{2}, {3}", backup->second, partial, error,
                 TevMSI::SystemMessage(error));
      } else if (!CommitPartialFile(partial, path)) {
        const DWORD error = GetLastError();
        DeleteFileW(partial.c_str());
        WriteLog(L"Failed. MoveFileEx( {0}, {1} ):{2}, {3}", partial, path, error, TevMSI::SystemMessage(error));
      }
      continue;
    }
    WriteLog(L"DeleteFile( {0} )", path);
    if (!DeleteFileW(path.c_str())) {
      const DWORD error = GetLastError();
      WriteLog(L"Failed. DeleteFile( {0} ):{1}, {2}", path, error, TevMSI::SystemMessage(error));
    }
    std::wstring folder;
    try {
      folder = ParentFolder(path);
    } catch (const TevMSI::CMsiException& error) {
      // A path no folder can be named for: the others are still cleaned up.
      WriteLog(L"Failed. ParentFolder( {0} ):{1}", path, error.Code());
      continue;
    }
    bool listed = false;
    for (const auto& known : folders) listed = listed || TevMSI::CompareNoCase(known, folder) == 0;
    if (!listed) folders.push_back(folder);
  }
  WriteLog(L"Start RemoveCleanupFileFolder()");
  // One manager for the whole walk, released at exit, rather than one per folder asked about.
  if (!m_knownFolderManager && FAILED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER,
                                                       IID_PPV_ARGS(&m_knownFolderManager)))) {
    m_knownFolderManager = nullptr;
  }
  for (const auto& folder : folders) {
    RemoveEmptyFolders(m_knownFolderManager, folder, [this](const std::wstring& line) { WriteLog(line); });
  }
  WriteLog(L"End RemoveCleanupFileFolder()");
}

bool CTevLauncherApp::RunAndWait(std::uint32_t& exitCode, const std::wstring& program, const std::wstring& parameters,
                                 const wchar_t* verb) {
  exitCode = 0;
  if (verb) {
    WriteLog(L"Call:ShellExecute( {0}, {1}, {2} )", program, parameters, verb);
  } else {
    WriteLog(L"Call:ShellExecute( {0}, {1} )", program, parameters);
  }
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  // No shell error box: the caller reports the failure itself, and a box nobody can see would
  // hang a hidden run.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = verb;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = IsHidden() ? SW_HIDE : SW_SHOWNORMAL;
  ProcessRun run;
  const auto end = [&](const wchar_t* failedCall) {
    const ProcessOutcome outcome = OutcomeOf(run);
    exitCode = outcome.exitCode;
    if (!outcome.ran) WriteLog(L"Failed: {0}:{1}", failedCall, exitCode);
    return outcome.ran;
  };
  run.started = ShellExecuteExW(&info) != FALSE;
  if (!run.started) {
    run.startError = GetLastError();
    return end(L"ShellExecuteEx()");
  }
  WriteLog(L"Execute!( {0} )", program);
  // The shell may hand the request to a program already running: nothing to wait on, no exit code
  // to read, and so no sign that the program did its work.
  run.hasProcess = info.hProcess != nullptr;
  if (!run.hasProcess) return end(L"ShellExecuteEx() gave no process to wait for");
  TevMSI::CKernelHandle process(info.hProcess);
  for (;;) {
    HANDLE handle = process.get();
    const DWORD wait = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0 + 1) {
      DispatchWaitingMessages();
      continue;
    }
    run.waited = wait == WAIT_OBJECT_0;
    if (!run.waited) run.waitError = GetLastError();
    break;
  }
  if (!run.waited) return end(L"MsgWaitForMultipleObjects()");
  DWORD reported = 0;
  run.readExitCode = GetExitCodeProcess(process.get(), &reported) != FALSE;
  if (!run.readExitCode) {
    run.exitCodeError = GetLastError();
    return end(L"GetExitCodeProcess()");
  }
  run.reported = reported;
  exitCode = OutcomeOf(run).exitCode;
  WriteLog(L"Succeeded: GetExitCodeProcess( {0} ):ExitCode={1}", reported, static_cast<std::int32_t>(exitCode));
  return true;
}

std::wstring CTevLauncherApp::ModulePath() { return OwnModulePath(); }

bool CTevLauncherApp::CheckLaunchPackage() {
  const JSON::JsonObject& launchPackage = JSON::RequiredObject(m_manifest, "LaunchPackage");
  // Members of "LaunchPackage" name their path; package errors come with theirs.
  const auto member = [&](std::string_view key, const auto& read) {
    return JSON::WithinMember("LaunchPackage", [&] { return read(key); });
  };
  const auto text = [&](std::string_view key) {
    return member(key, [&](std::string_view k) { return JSON::RequiredString(launchPackage, k); });
  };
  const auto refuse = [&](std::string_view messageKey) {
    ShowMessage(m_properties.Resolve(text(messageKey)));
    return false;
  };

  if (const auto condition = launchPackage.find("Condition");
      condition != launchPackage.end() && !condition->second.IsNull()) {
    bool holds = false;
    try {
      holds = m_properties.CheckCondition(text("Condition"));
    } catch (Expression::ConditionError& error) {
      error.Owner(L"the \"Condition\" of the launch (LaunchPackage.Condition)");
      throw;
    }
    if (!holds) return refuse("FailMessage");
  }

  if (launchPackage.find("TargetPackage") != launchPackage.end()) {
    const std::wstring targetName = text("TargetPackage");
    bool installed = false;
    if (!m_packages.QueryTargetPackage(targetName, installed)) {
      const char* key = installed ? "InstalledTargetPackage" : "NoInstalledTargetPackage";
      if (launchPackage.find(key) != launchPackage.end()) return refuse(key);
    } else if (const std::wstring conflict = FindConflictingProduct(launchPackage, targetName); !conflict.empty()) {
      m_properties.SetProperty(
          L"CONFLICT_APP_NAME",
          Expression::Token::Text(Expression::TokenKind::String, Expression::GetProductInfo(conflict, L"ProductName")));
      return refuse("WendSpecialCheckMessage");
    }
  }

  if (member("Privileged", [&](std::string_view k) { return JSON::GetValue(launchPackage, k, false); }) &&
      !IsElevated()) {
    // The elevated instance does the launch; this one ends with its exit code.
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    RunAndWait(m_exitCode, ModulePath(), CommandLineArguments(), L"RunAs");
    SetCursor(previous ? previous : LoadCursorW(nullptr, IDC_ARROW));
    return false;
  }
  return true;
}

std::wstring CTevLauncherApp::FindConflictingProduct(const JSON::JsonObject& launchPackage,
                                                     const std::wstring& targetName) {
  const auto check = launchPackage.find("WendSpecialCheck");
  if (check == launchPackage.end()) return {};
  const std::wstring& keyName = JSON::WithinMember("LaunchPackage", [&]() -> const std::wstring& {
    return JSON::WithinMember(check->first,
                              [&]() -> const std::wstring& { return JSON::WithoutNul(check->second.AsString()); });
  });
  TevMSI::CTevRegKey key;
  if (!key.Open(HKEY_LOCAL_MACHINE, keyName, KEY_READ)) return {};
  const std::wstring registered = key.Value(L"ProductCode").GetString();
  if (registered.empty()) return {};
  const CExecutePackage* package = m_packages.FindExecutePackage(targetName);
  if (!package) return {};
  const auto own = package->entry.find("ProductCode");
  if (own == package->entry.end()) return {};
  const std::wstring& ownCode =
      package->Reading("ProductCode", [&]() -> const std::wstring& { return JSON::MemberString(*own); });
  // The registered product is the package's own, whatever the letter case of its code.
  if (TevMSI::CompareNoCase(registered, ownCode) == 0) return {};
  const auto queryState = TevMSI::Msi().QueryProductState;
  if (!queryState || queryState(registered.c_str()) < INSTALLSTATE_LOCAL) return {};
  return registered;
}

}  // namespace Tevrian
