// tevtool layout LAUNCHER DIR [--from FOLDER]: an offline layout. The launcher and every file of
// every package of the manifest it carries, each where the launcher looks beside itself (DIR\Name),
// downloaded from its "DownloadUrl" (or copied from FOLDER\Name) and verified by size and hash. A
// file is written under a partial name and moved into place only once verified, so a file that
// fails is never left in DIR. The launcher started from DIR then needs no network.
#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../../launcher/installer/msi_exception.h"
#include "../../launcher/installer/unique_handle.h"
#include "../../launcher/json/json_parser.h"
#include "../../launcher/packages/downloader.h"
#include "../../launcher/packages/partial_file.h"
#include "../../launcher/packages/path_join.h"
#include "../../launcher/packages/verify_file.h"
#include "file_entries.h"
#include "positioned_json.h"
#include "utf8_args.h"
#include "verb_arguments.h"
#include "verbs.h"

namespace TevTool {
namespace {

constexpr char kHelp[] =
    "usage: tevtool layout LAUNCHER DIR [--from FOLDER]\n"
    "Copies LAUNCHER into DIR and puts every file its manifest names at DIR\\Name, downloaded (or copied\n"
    "from FOLDER\\Name) and verified by \"Size\", \"Hash\" and \"Sha256\"; one line per file. A file that fails\n"
    "is not left in DIR (exit code 1); a name that would leave DIR or FOLDER is refused before anything is\n"
    "made (exit code 1); usage and file errors exit with 2.\n";

using Tevrian::JSON::JsonObject;

bool ReadManifest(const std::wstring& launcher, std::string& bytes) {
  const TevMSI::CModule image(LoadLibraryExW(launcher.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!image) return false;
  const HRSRC resource = FindResourceW(image.get(), MAKEINTRESOURCEW(1), L"JSON");
  const HGLOBAL loaded = resource ? LoadResource(image.get(), resource) : nullptr;
  const DWORD size = loaded ? SizeofResource(image.get(), resource) : 0;
  const void* data = size ? LockResource(loaded) : nullptr;
  if (data) bytes.assign(static_cast<const char*>(data), size);
  return data != nullptr;
}

// "error N, the system's text", for a failure's reason.
std::string SystemError(DWORD error) {
  return "error " + std::to_string(error) + ", " + Utf8(TevMSI::SystemMessage(error));
}

// Every file entry of the packages, "ExecuteFile" first and then "Payloads", in chain order.
std::vector<JsonObject> ManifestFileEntries(const JsonObject& manifest) {
  std::vector<JsonObject> entries;
  const auto list = manifest.find("LaunchList");
  if (list == manifest.end() || !list->second.IsArray()) return entries;
  for (const auto& element : list->second.AsArray()) {
    if (!element.IsObject() || element.AsObject().empty()) continue;
    const auto& package = element.AsObject().begin()->second;
    if (!package.IsObject()) continue;
    const JsonObject& entry = package.AsObject();
    if (const auto file = entry.find("ExecuteFile"); file != entry.end() && file->second.IsObject()) {
      entries.push_back(file->second.AsObject());
    }
    if (const auto payloads = entry.find("Payloads"); payloads != entry.end() && payloads->second.IsArray()) {
      for (const auto& payload : payloads->second.AsArray()) {
        if (payload.IsObject()) entries.push_back(payload.AsObject());
      }
    }
  }
  return entries;
}

// Copies `source` to `destination` through a partial file, verified before it takes the real name.
bool CopyVerified(const std::wstring& source, const std::wstring& destination, const JsonObject& entry,
                  std::string& reason) {
  const std::wstring partial = Tevrian::PartialFilePath(destination);
  DeleteFileW(partial.c_str());
  Tevrian::CPartialFileGuard guard(partial);
  if (!CopyFileW(source.c_str(), partial.c_str(), FALSE)) {
    const DWORD error = GetLastError();
    reason = "cannot copy " + Utf8(source) + ": " + SystemError(error);
    return false;
  }
  if (const std::uint32_t rc = Tevrian::VerifyFile(partial, entry, nullptr); rc != 0) {
    reason = "does not match its \"Size\", \"Hash\" or \"Sha256\" (error " + std::to_string(rc) + ")";
    return false;
  }
  if (!Tevrian::CommitPartialFile(partial, destination)) {
    const DWORD error = GetLastError();
    reason = "cannot move it into place: " + SystemError(error);
    return false;
  }
  guard.Committed();
  return true;
}

}  // namespace

int Layout(const Args& args) {
  const VerbArguments split = SplitArguments(args, "--from");
  if (split.help) {
    std::fputs(kHelp, stdout);
    return kClean;
  }
  const std::vector<std::string>& words = split.words;
  const std::string& from = split.option;
  if (words.size() != 2) {
    std::fputs(kHelp, stderr);
    return kUsageOrFileError;
  }
  const std::wstring launcher = Wide(words[0]);
  const std::wstring folder = Wide(words[1]);
  std::string bytes;
  if (!ReadManifest(launcher, bytes)) {
    std::fprintf(stderr, "tevtool layout: %s carries no manifest\n", words[0].c_str());
    return kUsageOrFileError;
  }
  JsonObject manifest;
  try {
    manifest = Tevrian::JSON::ParseJSON(bytes).AsObject();
  } catch (const std::exception&) {
    std::fprintf(stderr, "tevtool layout: the manifest of %s is no JSON object (tevtool lint says more)\n",
                 words[0].c_str());
    return kUsageOrFileError;
  }
  // Every name is checked before anything is made: a launcher built by someone else may carry a
  // manifest whose names reach outside DIR (or outside FOLDER), and nothing of it is laid out then.
  bool refused = false;
  const PositionedDocument positioned = ReadPositioned(bytes);
  for (const PositionedValue* entry : FileEntries(positioned)) {
    if (const std::string error = FileNameError(words[0], bytes, *entry); !error.empty()) {
      std::fprintf(stderr, "%s\n", error.c_str());
      refused = true;
    }
  }
  if (refused) return kFindings;
  SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  const std::wstring launcherName = launcher.substr(launcher.find_last_of(L"\\/") + 1);
  if (!CopyFileW(launcher.c_str(), Tevrian::JoinText(folder, launcherName).c_str(), FALSE)) {
    const DWORD error = GetLastError();
    std::fprintf(stderr, "tevtool layout: cannot copy the launcher into %s: %s\n", words[1].c_str(),
                 SystemError(error).c_str());
    return kUsageOrFileError;
  }
  Tevrian::CDownloader downloader(nullptr);
  int result = kClean;
  for (const JsonObject& entry : ManifestFileEntries(manifest)) {
    const std::wstring name = Tevrian::JSON::GetValue(entry, "Name", L"");
    const std::wstring destination = Tevrian::JoinText(folder, name);
    const std::wstring parent = destination.substr(0, destination.find_last_of(L"\\/"));
    SHCreateDirectoryExW(nullptr, parent.c_str(), nullptr);
    std::string reason;
    bool done = false;
    if (!from.empty()) {
      done = CopyVerified(Tevrian::JoinText(Wide(from), name), destination, entry, reason);
    } else {
      try {
        downloader.DownloadFile(Tevrian::JSON::GetValue(entry, "DownloadUrl", L""), destination, entry,
                                Tevrian::cancellation_token::none(), nullptr);
        done = true;
      } catch (const TevMSI::CMsiException& error) {
        reason = "download failed (" + std::to_string(error.Code()) + ") " + Utf8(TevMSI::ErrorText(error));
      }
    }
    if (done && (!entry.contains("Size") || !entry.contains("Hash"))) {
      std::printf("%s: placed, not verified (the entry has no \"Size\" or \"Hash\")\n", Utf8(name).c_str());
    } else if (done) {
      std::printf("%s: verified\n", Utf8(name).c_str());
    } else {
      std::fprintf(stderr, "%s: error: %s\n", Utf8(name).c_str(), reason.c_str());
      result = kFindings;
    }
  }
  return result;
}

}  // namespace TevTool
