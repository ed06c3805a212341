// The newer manifest a manifest may name under "Latest", and the other launcher an accepted one
// may name under "OtherLauncher", which then runs in this launcher's place.
#include <windows.h>

#include <string>
#include <string_view>

#include "../conditions/expression.h"
#include "../installer/msi_exception.h"
#include "../installer/unique_handle.h"
#include "../json/json_parser.h"
#include "../packages/file_name_check.h"
#include "../packages/path_join.h"
#include "app.h"
#include "manifest_text.h"
#include "download_address.h"
#include "integrity.h"

namespace Tevrian {
namespace {

constexpr wchar_t kOtherLauncherRefusedMessage[] =
    L"ダウンロードしたランチャーの署名を確認できませんでした(0x{1:08X})。\n{0}\n"
    L"ファイルが壊れているか、変更されています。実行を中止します。";
constexpr wchar_t kOtherLauncherNotStartedMessage[] = L"ランチャーを起動できませんでした。\n{0}\n{1}";

using TevMSI::CGlobalMemory;

// The bytes of a locked memory block, unlocked when it goes.
class CGlobalLock {
 public:
  explicit CGlobalLock(HGLOBAL block) : m_block(block), m_data(GlobalLock(block)) {}
  CGlobalLock(const CGlobalLock&) = delete;
  CGlobalLock& operator=(const CGlobalLock&) = delete;
  ~CGlobalLock() {
    if (m_data) GlobalUnlock(m_block);
  }
  const char* data() const { return static_cast<const char*>(m_data); }

 private:
  HGLOBAL m_block;
  void* m_data;
};

// The fetched document, or null when the body is empty. A text the reader cannot complete is a
// malformed manifest, as it is for the embedded one.
JSON::JsonValue ParseFetchedManifest(HGLOBAL block) {
  std::size_t size = GlobalSize(block);
  if (size == 0) return {};
  const CGlobalLock lock(block);
  if (!lock.data()) throw TevMSI::CMsiException(static_cast<std::int32_t>(GetLastError()));
  // A memory block may be larger than what was written into it; JSON text never ends with NULs.
  while (size > 0 && lock.data()[size - 1] == '\0') --size;
  return ParseManifestText(std::string_view(lock.data(), size), L"the newer manifest");
}

}  // namespace

bool CTevLauncherApp::UpdateManifest(const JSON::JsonObject& embeddedLaunchPackage) {
  Expression::VersionValue current = 0;
  std::wstring address;
  JSON::WithinMember("LaunchPackage", [&] {
    if (embeddedLaunchPackage.contains("Version")) {
      current = Expression::ParseVersion(JSON::GetValue(embeddedLaunchPackage, "Version", L""));
    }
    address = JSON::GetValue(embeddedLaunchPackage, "Latest", L"");
  });

  bool anotherPass = !address.empty();
  try {
    while (anotherPass) {
      anotherPass = false;
      const std::wstring shown = Shorten(address);
      if (!IsHttpsAddress(address)) {
        WriteLog(L"UpdateManifest( {0} ):not fetched, a newer manifest is accepted only over HTTPS", shown);
        break;
      }
      const CGlobalMemory block(m_downloader.DownloadToMemory(address, cancellation_token::none()));
      JSON::JsonValue document;
      try {
        document = ParseFetchedManifest(block.get());
        if (document.IsNull()) {
          WriteLog(L"UpdateManifest( {0} ):ignored, the body is empty", shown);
          continue;
        }
        if (!document.IsObject()) {
          WriteLog(L"UpdateManifest( {0} ):ignored, the document is not an object", shown);
          continue;
        }
        const JSON::JsonObject& fetched = document.AsObject();
        const auto launch = fetched.find("LaunchPackage");
        if (launch == fetched.end()) {
          WriteLog(L"UpdateManifest( {0} ):ignored, it has no \"LaunchPackage\"", shown);
          continue;
        }
        const JSON::JsonObject& launchPackage =
            JSON::WithinMember("LaunchPackage", [&]() -> const JSON::JsonObject& { return launch->second.AsObject(); });
        if (!launchPackage.contains("Version")) {
          WriteLog(L"UpdateManifest( {0} ):ignored, it has no \"Version\"", shown);
          continue;
        }
        const Expression::VersionValue version = JSON::WithinMember(
            "LaunchPackage", [&] { return Expression::ParseVersion(JSON::GetValue(launchPackage, "Version", L"")); });
        // A document that is not newer is ignored whole: nothing else of it is read.
        if (version <= current) {
          WriteLog(L"UpdateManifest( {0} ):ignored, Version={1} is not newer than {2}", shown,
                   Expression::FormatVersion(version), Expression::FormatVersion(current));
          continue;
        }
        std::wstring otherLauncher, latest;
        JSON::WithinMember("LaunchPackage", [&] {
          otherLauncher = JSON::GetValue(launchPackage, "OtherLauncher", L"");
          latest = JSON::GetValue(launchPackage, "Latest", L"");
        });
        WriteLog(L"UpdateManifest( {0} ):accepted, Version={1}", shown, Expression::FormatVersion(version));
        current = version;
        m_manifest = std::move(document.AsObject());

        if (!otherLauncher.empty()) {
          // The start-up ends here, before the log file would be named: this run's reasons are kept
          // in a log of the launcher's own product all the same.
          if (m_log.LogFilePath().empty()) {
            const auto name = embeddedLaunchPackage.find("DisplayName");
            StartLogFile(name != embeddedLaunchPackage.end() && name->second.IsString() ? name->second.AsString()
                                                                                        : std::wstring(L"TevLauncher"));
          }
          RunOtherLauncher(otherLauncher);
          return false;
        }
        // An address that names the one just fetched is not fetched again.
        if (!latest.empty() && latest != address) {
          address = std::move(latest);
          anotherPass = true;
        }
      } catch (const JSON::BadAnyCast&) {
        WriteLog(L"UpdateManifest( {0} ):the newer manifest is malformed", shown);
        throw;
      }
    }
  } catch (const TevMSI::CMsiException& error) {
    // A newer manifest is optional: whatever kept it from arriving, the one in force stays.
    WriteLog(L"UpdateManifest( {0} ):ignored, Error {1}(0x{1:08X}): {2}", Shorten(address), error.Code(),
             TevMSI::ErrorText(error));
  }
  return true;
}

std::uint32_t CTevLauncherApp::RunOtherLauncher(const std::wstring& address) {
  // The file is named after the address: a name that would land outside the work folder or mean
  // something else to Windows is a malformed manifest, refused before anything is fetched.
  const std::wstring name = LastPathElement(address);
  if (const std::wstring reason = UnsafeFileNameReason(name); !reason.empty()) {
    WriteLog(L"RunOtherLauncher( {0} ):refused, the address names no usable file name", Shorten(address));
    throw JSON::BadAnyCast(L"the file name \"" + Shorten(name) + L"\" of the address cannot be used: " + reason)
        .WithinMember("OtherLauncher")
        .WithinMember("LaunchPackage");
  }
  // A program that will run in this launcher's place comes over HTTPS only, as the manifest that
  // names it did.
  if (!IsHttpsAddress(address)) {
    WriteLog(L"RunOtherLauncher( {0} ):refused, a launcher is fetched only over HTTPS", Shorten(address));
    throw JSON::BadAnyCast(L"a launcher is fetched only over HTTPS")
        .WithinMember("OtherLauncher")
        .WithinMember("LaunchPackage");
  }
  try {
    if (!PrepareFolders()) return m_exitCode;
    const std::wstring destination = JoinPath(m_workFolder, name);
    DownloadFile(address, destination, JSON::JsonObject{}, cancellation_token::none(), nullptr);

    // Held without write or delete sharing from before its check until the program has ended, so
    // that the file that runs is the file that was verified: nobody can change or replace it between.
    TevMSI::CFileHandle held(CreateFileW(destination.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held) {
      const DWORD error = GetLastError();
      WriteLog(L"RunOtherLauncher( {0} ):refused, the downloaded launcher cannot be held unchanged: {1}, {2}",
               destination, error, TevMSI::SystemMessage(error));
      throw TevMSI::ErrorAtPath(static_cast<std::int32_t>(error), destination);
    }

    // A program named by a document from the network runs only when its signature verifies.
    const SignatureCheck check = VerifyFileSignature(destination);
    if (check.state != SignatureState::Verified) {
      held.reset();
      WriteLog(L"VerifySignature( {0} ):{1}(0x{2:08X})", destination,
               check.state == SignatureState::Unsigned ? L"unsigned" : L"failed", check.status);
      WriteLog(L"RunOtherLauncher( {0} ):refused, the downloaded launcher's signature does not verify", destination);
      if (!DeleteFileW(destination.c_str())) {
        const DWORD error = GetLastError();
        WriteLog(L"Failed. DeleteFile( {0} ):{1}, {2}", destination, error, TevMSI::SystemMessage(error));
      }
      m_exitCode = kExitOtherLauncherRefused;
      ShowMessage(FormatText(kOtherLauncherRefusedMessage, destination, check.status));
      return m_exitCode;
    }
    WriteLog(L"VerifySignature( {0} ):verified", destination);

    if (!RunAndWait(m_exitCode, destination, CommandLineArguments(), nullptr)) {
      // RunAndWait left the system error as the exit code, and its log lines.
      ShowMessage(FormatText(kOtherLauncherNotStartedMessage, destination,
                             TevMSI::ErrorText(TevMSI::CMsiException(static_cast<std::int32_t>(m_exitCode)))));
    }
  } catch (const TevMSI::CMsiException& error) {
    m_exitCode = static_cast<std::uint32_t>(error.Code());
    const std::wstring text = TevMSI::ErrorText(error);
    WriteLog(L"RunOtherLauncher( {0} ):Error {1}(0x{1:08X}): {2}", Shorten(address), error.Code(), text);
    ShowMessage(text, true);
  }
  return m_exitCode;
}

}  // namespace Tevrian
