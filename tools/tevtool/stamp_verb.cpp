// tevtool stamp: puts a launch manifest into a copy of a built TevLauncher.exe, so that release
// engineers ship their product's manifest without rebuilding the launcher.
//
//   tevtool stamp LAUNCHER.exe MANIFEST.json OUTPUT.exe [--force]
//   tevtool stamp --remove LAUNCHER.exe OUTPUT.exe        a copy that carries no manifest (for tests)
//
// The manifest must read as an object with "LaunchPackage" and "LaunchList" and lint without
// errors; anything else is refused before OUTPUT is written (--force stamps it anyway, so that
// tests can carry malformed manifests). Sign OUTPUT after stamping: stamping changes the file, so
// a signed LAUNCHER gives an unsigned OUTPUT (never one still carrying the old, broken signature).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "../../launcher/app/pe_headers.h"
#include "../../launcher/json/json_parser.h"
#include "../../launcher/packages/partial_file.h"
#include "../../launcher/installer/msi_exception.h"
#include "../../launcher/installer/unique_handle.h"
#include "findings_report.h"
#include "manifest_lint.h"
#include "pe_image_check.h"
#include "read_file.h"
#include "utf8_args.h"
#include "verbs.h"

namespace TevTool {
namespace {

constexpr char kHelp[] =
    "usage: tevtool stamp LAUNCHER.exe MANIFEST.json OUTPUT.exe [--force]\n"
    "       tevtool stamp --remove LAUNCHER.exe OUTPUT.exe\n"
    "Writes a copy of LAUNCHER carrying MANIFEST as its resource JSON 1 (or carrying none). A file that\n"
    "is no launch manifest, or has lint errors, is refused (exit code 1) unless --force is given.\n"
    "Sign OUTPUT afterwards: a signed LAUNCHER gives an unsigned OUTPUT, its signature dropped.\n";

std::wstring ErrorText(DWORD error) {
  return L"error " + std::to_wstring(error) + L", " + TevMSI::SystemMessage(error);
}

int Fail(int code, const std::wstring& message) {
  std::fprintf(stderr, "tevtool stamp: %s\n", Utf8(message).c_str());
  return code;
}

// Why the text cannot be a launch manifest; empty when it can.
std::wstring ManifestProblem(const std::string& bytes) {
  try {
    const Tevrian::JSON::JsonValue document = Tevrian::JSON::ParseJSON(bytes);
    if (!document.IsObject()) return L"the file is not a JSON object";
    const auto& object = document.AsObject();
    const auto launchPackage = object.find("LaunchPackage");
    if (launchPackage == object.end() || !launchPackage->second.IsObject()) {
      return L"\"LaunchPackage\" is missing or not an object";
    }
    const auto launchList = object.find("LaunchList");
    if (launchList == object.end() || !launchList->second.IsArray()) {
      return L"\"LaunchList\" is missing or not an array";
    }
    return {};
  } catch (const std::exception&) {
    return L"the file is not a readable JSON object";
  }
}

// A resource name or type: a number or a text, as the resource section keeps it.
struct ResourceId {
  bool isNumber;
  WORD number;
  std::wstring text;

  static ResourceId From(LPCWSTR id) {
    if (IS_INTRESOURCE(id)) return {true, static_cast<WORD>(reinterpret_cast<ULONG_PTR>(id)), {}};
    return {false, 0, id};
  }
  LPCWSTR Get() const { return isNumber ? MAKEINTRESOURCEW(number) : text.c_str(); }
  std::wstring Shown() const { return isNumber ? std::to_wstring(number) : L"\"" + text + L"\""; }
  bool Is(LPCWSTR other) const {
    return From(other).isNumber == isNumber && From(other).number == number && From(other).text == text;
  }
};

struct Resource {
  ResourceId type, name;
  WORD language;
  std::string data;

  bool operator==(const Resource& other) const {
    return type.Is(other.type.Get()) && name.Is(other.name.Get()) && language == other.language && data == other.data;
  }
};

struct Collector {
  HMODULE image;
  std::vector<Resource> resources;
  ResourceId type{}, name{};
};

BOOL CALLBACK CollectLanguage(HMODULE image, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  auto* c = reinterpret_cast<Collector*>(param);
  HRSRC found = FindResourceExW(image, c->type.Get(), c->name.Get(), language);
  HGLOBAL loaded = found ? LoadResource(image, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(image, found) : 0;
  c->resources.push_back({c->type, c->name, language, std::string(static_cast<const char*>(bytes), bytes ? size : 0)});
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE image, LPCWSTR type, LPWSTR name, LONG_PTR param) {
  auto* c = reinterpret_cast<Collector*>(param);
  c->name = ResourceId::From(name);
  EnumResourceLanguagesW(image, type, name, CollectLanguage, param);
  return TRUE;
}

BOOL CALLBACK CollectType(HMODULE image, LPWSTR type, LONG_PTR param) {
  auto* c = reinterpret_cast<Collector*>(param);
  c->type = ResourceId::From(type);
  EnumResourceNamesW(image, type, CollectName, param);
  return TRUE;
}

// Every resource of an image that was checked to be sound.
bool AllResources(const std::wstring& path, std::vector<Resource>& resources) {
  const TevMSI::CModule image(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!image) return false;
  Collector collector{image.get(), {}, {}, {}};
  EnumResourceTypesW(image.get(), CollectType, reinterpret_cast<LONG_PTR>(&collector));
  resources = std::move(collector.resources);
  return true;
}

// Every resource of the launcher but its manifest. The copy is rebuilt from these, so no old
// manifest, under whatever language, can survive beside the new one.
bool ResourcesWithoutManifest(const std::wstring& path, std::vector<Resource>& resources, WORD& manifestLanguage) {
  std::vector<Resource> all;
  if (!AllResources(path, all)) return false;
  manifestLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
  for (auto& resource : all) {
    if (resource.type.Is(L"JSON") && resource.name.Is(MAKEINTRESOURCEW(1))) {
      manifestLanguage = resource.language;
    } else {
      resources.push_back(std::move(resource));
    }
  }
  return true;
}

// The launcher's bytes as the copy starts: without its signature, which the new resources would
// break (a signature over the old bytes only makes the stamped file look tampered with). False when
// the launcher cannot be read or the copy written.
bool WriteUnsignedCopy(std::string image, const std::wstring& launcher, const std::wstring& copy,
                       const std::wstring& output) {
  const bool wasSigned = Tevrian::RemoveCertificateTable(image);
  {
    std::ofstream file(copy.c_str(), std::ios::binary | std::ios::trunc);
    file.write(image.data(), static_cast<std::streamsize>(image.size()));
    if (!file.flush()) return false;
  }
  if (wasSigned) {
    std::fprintf(stderr,
                 "tevtool stamp: %s is signed; stamping breaks a signature, so it is dropped: %s is written "
                 "unsigned. Sign it after stamping.\n",
                 Utf8(launcher).c_str(), Utf8(output).c_str());
  }
  return true;
}

// Whether two paths name one file: the same path, or (for a file that exists) the same file on the
// same volume, whatever path or link leads to it.
bool SameFile(const std::wstring& a, const std::wstring& b) {
  wchar_t fullA[MAX_PATH * 4] = {}, fullB[MAX_PATH * 4] = {};
  if (GetFullPathNameW(a.c_str(), MAX_PATH * 4, fullA, nullptr) &&
      GetFullPathNameW(b.c_str(), MAX_PATH * 4, fullB, nullptr) &&
      CompareStringOrdinal(fullA, -1, fullB, -1, TRUE) == CSTR_EQUAL) {
    return true;
  }
  const auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    TevMSI::CFileHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file && GetFileInformationByHandle(file.get(), &info);
  };
  BY_HANDLE_FILE_INFORMATION infoA{}, infoB{};
  return identity(a, infoA) && identity(b, infoB) && infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
         infoA.nFileIndexHigh == infoB.nFileIndexHigh && infoA.nFileIndexLow == infoB.nFileIndexLow;
}

int StampFile(const std::wstring& launcher, const std::string* manifest, const std::wstring& output) {
  std::string image, reason;
  if (!ReadWholeFile(Utf8(launcher), image, reason)) {
    return Fail(kUsageOrFileError, L"cannot read " + launcher + L": " + Wide(reason));
  }
  // The system's resource functions trust the image they are given: it is checked whole first.
  if (const std::string problem = PeImageProblem(image); !problem.empty()) {
    return Fail(kUsageOrFileError, launcher + L" cannot be stamped: " + Wide(problem));
  }
  std::vector<Resource> resources;
  WORD language = 0;
  if (!ResourcesWithoutManifest(launcher, resources, language)) {
    return Fail(kUsageOrFileError, L"cannot read the resources of " + launcher + L": " + ErrorText(GetLastError()));
  }
  // The copy is made beside OUTPUT and moved into place once whole: a stamp cut short never leaves
  // a half-made launcher under OUTPUT's name.
  const std::wstring partial = Tevrian::PartialFilePath(output);
  const auto failWith = [&](const std::wstring& message) {
    DeleteFileW(partial.c_str());
    return Fail(kUsageOrFileError, message);
  };
  if (!WriteUnsignedCopy(std::move(image), launcher, partial, output)) {
    return failWith(L"cannot write " + partial + L": " + ErrorText(GetLastError()));
  }
  HANDLE update = BeginUpdateResourceW(partial.c_str(), TRUE);
  if (!update) return failWith(L"cannot update " + output + L": " + ErrorText(GetLastError()));
  bool ok = true;
  for (auto& r : resources) {
    ok = ok && UpdateResourceW(update, r.type.Get(), r.name.Get(), r.language, r.data.data(),
                               static_cast<DWORD>(r.data.size()));
  }
  if (manifest) {
    ok = ok && UpdateResourceW(update, L"JSON", MAKEINTRESOURCEW(1), language, const_cast<char*>(manifest->data()),
                               static_cast<DWORD>(manifest->size()));
  }
  const DWORD error = ok ? 0 : GetLastError();
  if (!EndUpdateResourceW(update, !ok) || !ok) {
    return failWith(L"cannot write the manifest into " + output + L": " + ErrorText(error ? error : GetLastError()));
  }
  // The stamped copy is read back before it takes OUTPUT's name: every resource as it was, the
  // manifest as given, and an image as sound as the launcher was.
  std::string stamped;
  if (!ReadWholeFile(Utf8(partial), stamped, reason))
    return failWith(L"cannot read back " + partial + L": " + Wide(reason));
  if (const std::string problem = PeImageProblem(stamped); !problem.empty()) {
    return failWith(L"the stamped copy is not sound: " + Wide(problem));
  }
  std::vector<Resource> expected = resources, found;
  if (manifest)
    expected.push_back({ResourceId::From(L"JSON"), ResourceId::From(MAKEINTRESOURCEW(1)), language, *manifest});
  if (!AllResources(partial, found))
    return failWith(L"cannot read back the resources of " + partial + L": " + ErrorText(GetLastError()));
  const auto missing = std::find_if(expected.begin(), expected.end(), [&](const Resource& r) {
    return std::find(found.begin(), found.end(), r) == found.end();
  });
  if (missing != expected.end() || found.size() != expected.size()) {
    return failWith(L"the stamped copy does not read back as written: " +
                    (missing != expected.end() ? L"a resource of type " + missing->type.Shown() + L", name " +
                                                     missing->name.Shown() + L" is missing or changed"
                                               : L"it holds " + std::to_wstring(found.size()) + L" resources, not " +
                                                     std::to_wstring(expected.size())));
  }
  if (!Tevrian::CommitPartialFile(partial, output)) {
    return failWith(L"cannot move the stamped copy to " + output + L": " + ErrorText(GetLastError()));
  }
  return 0;
}

}  // namespace

int Stamp(const Args& args) {
  std::vector<std::string> words;
  bool force = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return kClean;
    }
    if (arg == "--force") {
      force = true;
    } else {
      words.push_back(arg);
    }
  }
  if (words.size() == 3 && words[0] == "--remove") {
    if (SameFile(Wide(words[2]), Wide(words[1]))) {
      return Fail(kUsageOrFileError, L"the output " + Wide(words[2]) + L" is the input: name another file");
    }
    return StampFile(Wide(words[1]), nullptr, Wide(words[2]));
  }
  if (words.size() != 3) {
    std::fputs(kHelp, stderr);
    return kUsageOrFileError;
  }
  if (SameFile(Wide(words[2]), Wide(words[0])) || SameFile(Wide(words[2]), Wide(words[1]))) {
    return Fail(kUsageOrFileError, L"the output " + Wide(words[2]) + L" is one of the inputs: name another file");
  }
  std::string manifest, reason;
  if (!ReadWholeFile(words[1], manifest, reason)) {
    return Fail(kUsageOrFileError, L"cannot read " + Wide(words[1]) + L": " + Wide(reason));
  }
  if (!force) {
    if (const std::wstring problem = ManifestProblem(manifest); !problem.empty()) {
      return Fail(kFindings, Wide(words[1]) + L" is not a launch manifest: " + problem);
    }
    // What the launcher would refuse is not shipped: the errors of the lint, as it prints them.
    if (ReportFindings(words[1], manifest, LintManifest(manifest), true).errors > 0) {
      return Fail(kFindings, Wide(words[1]) + L" has errors (see above); --force stamps it anyway");
    }
  }
  return StampFile(Wide(words[0]), &manifest, Wide(words[2]));
}

}  // namespace TevTool
