#include "manifest_members.h"

#include <array>

namespace TevTool {
namespace {

using namespace std::string_view_literals;

constexpr TypeInfo kString{{}, ValueKind::String};
constexpr TypeInfo kBoolean{{}, ValueKind::Boolean};
constexpr TypeInfo kInteger{{}, ValueKind::Integer};
constexpr TypeInfo kText{{}, ValueKind::String, Meaning::Text};
constexpr TypeInfo kCondition{{}, ValueKind::String, Meaning::Condition};
constexpr TypeInfo kNullableCondition{{}, ValueKind::StringOrNull, Meaning::Condition};
constexpr TypeInfo kVersion{{}, ValueKind::String, Meaning::Version};
constexpr TypeInfo kHttpsAddress{{}, ValueKind::String, Meaning::HttpsAddress};
constexpr TypeInfo kAddress{{}, ValueKind::String, Meaning::Address};
constexpr TypeInfo kFileName{{}, ValueKind::String, Meaning::FileName};
constexpr TypeInfo kPackageId{{}, ValueKind::String, Meaning::PackageId};
constexpr TypeInfo kTargetPackage{{}, ValueKind::String, Meaning::TargetPackage};
constexpr TypeInfo kScalar{{}, ValueKind::Scalar};
constexpr TypeInfo kHashWord{{}, ValueKind::Integer, Meaning::HashWord};
constexpr TypeInfo kHash{{}, ValueKind::Array, Meaning::Hash, {}, &kHashWord};
constexpr TypeInfo kSha256{{}, ValueKind::String, Meaning::Sha256};

constexpr std::array kBehaviors = {"success"sv, "scheduleReboot"sv, "forceReboot"sv, "error"sv};
constexpr TypeInfo kBehavior{{}, ValueKind::String, Meaning::Behavior, {}, nullptr, kBehaviors};
constexpr std::array kUILevels = {"None"sv, "Basic"sv, "Reduce"sv, "Full"sv};
constexpr TypeInfo kUILevel{{}, ValueKind::String, Meaning::UILevel, {}, nullptr, kUILevels};
constexpr std::array kRoots = {"HKLM"sv, "HKCU"sv, "HKCR"sv, "HKU"sv};
constexpr TypeInfo kRoot{{}, ValueKind::String, Meaning::RegistryRoot, {}, nullptr, kRoots};

constexpr std::array<MemberInfo, 5> kFileMembers = {{
    {"Name", &kFileName, "relative path of the file, beside the launcher and under the cache folder"},
    {"DownloadUrl", &kHttpsAddress, "where the file is fetched when it is not beside the launcher"},
    {"Size", &kInteger, "exact size in bytes; without it the file is not verified"},
    {"Hash", &kHash, "the four words of the Windows Installer file hash"},
    {"Sha256", &kSha256, "the file's SHA-256 digest, 64 hexadecimal digits; checked after Size and Hash"},
}};
constexpr TypeInfo kFileEntry{"FileEntry", ValueKind::Object, Meaning::FileEntry, kFileMembers, nullptr,
                              {},          "one package file"};
constexpr TypeInfo kExecuteFile{
    "ExecuteFile", ValueKind::Object, Meaning::ExecuteFile, kFileMembers, nullptr, {}, "the package file that is run"};
constexpr TypeInfo kPayloads{{}, ValueKind::Array, Meaning::None, {}, &kFileEntry};

constexpr std::array<MemberInfo, 2> kExitCodeMembers = {{
    {"Value", &kInteger, "the installer's exit code"},
    {"Behavior", &kBehavior, "what that exit code means"},
}};
constexpr TypeInfo kExitCodeEntry{"ExitCodeEntry", ValueKind::Object, Meaning::None, kExitCodeMembers};
constexpr TypeInfo kExitCodes{{}, ValueKind::Array, Meaning::None, {}, &kExitCodeEntry};

constexpr std::array<MemberInfo, 2> kPatchTargetMembers = {{
    {"ProductCode", &kString, "product code of the patched product", true},
    {"Version", &kVersion, "the product version the patch applies to"},
}};
constexpr TypeInfo kPatchTarget{"PatchTarget", ValueKind::Object, Meaning::None, kPatchTargetMembers};
constexpr TypeInfo kPatchTargets{{}, ValueKind::Array, Meaning::None, {}, &kPatchTarget};

constexpr TypeInfo kMsiProperty{{}, ValueKind::Object, Meaning::None, {}, &kText};

constexpr std::array kExeOnly = {"ExePackage"sv};
constexpr std::array kMsiOnly = {"MsiPackage"sv};
constexpr std::array kInstallerOnly = {"MsiPackage"sv, "MspPackage"sv};

constexpr std::array<MemberInfo, 18> kPackageMembers = {{
    {"Id", &kPackageId, "the package's name in the launch list"},
    {"DisplayName", &kText, "the package's name for the user"},
    {"PreRequired", &kBoolean, "installed in the first install phase"},
    {"Cache", &kBoolean, "the files go to the persistent package cache"},
    {"CacheId", &kString, "cache subfolder, first choice"},
    {"ProductCode", &kString, "product code; cache subfolder, second choice"},
    {"UpgradeCode", &kString, "upgrade code of the product family"},
    {"Version", &kVersion, "MSI packages: the package's version", false, kMsiOnly},
    {"PatchTargets", &kPatchTargets, "products a patch applies to"},
    {"ExecuteCondition", &kCondition, "the package applies only when this holds"},
    {"InstalledCondition", &kCondition, "the package counts as installed when this holds"},
    {"ExecuteFile", &kExecuteFile, "the file that is run"},
    {"Payloads", &kPayloads, "further files beside the executed one"},
    {"InstallCommand", &kText, "executable packages: arguments of an interactive run", false, kExeOnly},
    {"SilentInstallCommand", &kText, "executable packages: arguments of a quiet run", false, kExeOnly},
    {"ExitCode", &kExitCodes, "executable packages: what each exit code means", false, kExeOnly},
    {"UILevel", &kUILevel, "MSI and MSP packages: the installer's user interface", false, kInstallerOnly},
    {"MsiProperty", &kMsiProperty, "MSI packages: property name to value", false, kMsiOnly},
}};
constexpr TypeInfo kPackageEntry{"PackageEntry", ValueKind::Object, Meaning::None, kPackageMembers};

constexpr std::array<MemberInfo, 3> kLaunchListMembers = {{
    {"ExePackage", &kPackageEntry, "an executable installer"},
    {"MsiPackage", &kPackageEntry, "a Windows Installer package"},
    {"MspPackage", &kPackageEntry, "a Windows Installer patch"},
}};
constexpr TypeInfo kLaunchListEntry{"LaunchListEntry",
                                    ValueKind::Object,
                                    Meaning::PackageTypeWord,
                                    kLaunchListMembers,
                                    nullptr,
                                    {},
                                    "one package, under its type word"};
constexpr TypeInfo kLaunchList{{}, ValueKind::Array, Meaning::None, {}, &kLaunchListEntry};

constexpr std::array<MemberInfo, 2> kProductSearchMembers = {{
    {"UpgradeCode", &kString, "upgrade code of the product family; wins over ProductCode"},
    {"ProductCode", &kString, "product code of one product"},
}};
constexpr TypeInfo kProductSearch{"ProductSearch", ValueKind::Object, Meaning::None, kProductSearchMembers};
constexpr std::array<MemberInfo, 5> kRegistrySearchMembers = {{
    {"Root", &kRoot, "the registry root", true},
    {"Key", &kString, "sub-key path under the root", true},
    {"Result", &kString, "\"exists\" for whether the value exists; otherwise the value itself", true},
    {"Win64", &kBoolean, "read the 64-bit registry view"},
    {"Value", &kString, "name of the registry value; empty for the key's default value"},
}};
constexpr TypeInfo kRegistrySearch{"RegistrySearch", ValueKind::Object, Meaning::None, kRegistrySearchMembers};
constexpr std::array<MemberInfo, 3> kDefinitionMembers = {{
    {"ProductSearch", &kProductSearch, "the installed version of a Windows Installer product"},
    {"RegistrySearch", &kRegistrySearch, "a registry value, or whether it exists"},
    {"Value", &kScalar, "a constant"},
}};
constexpr TypeInfo kDefinition{"PropertyDefinition",
                               ValueKind::Object,
                               Meaning::Definition,
                               kDefinitionMembers,
                               nullptr,
                               {},
                               "only its first member in key order is read"};
constexpr TypeInfo kDefinitionList{
    "PropertyDefinitions", ValueKind::Object, Meaning::None, {}, &kDefinition, {}, "property name to its definition"};
constexpr TypeInfo kProperies{{}, ValueKind::Array, Meaning::None, {}, &kDefinitionList};

constexpr std::array<MemberInfo, 13> kLaunchPackageMembers = {{
    {"Latest", &kHttpsAddress, "address of a newer manifest"},
    {"Version", &kVersion, "version of this manifest, compared with a newer one's"},
    {"OtherLauncher", &kAddress, "address of another launcher program (newer manifests only)"},
    {"DisplayName", &kText, "the package's name for the user; the property PackageName and the log file's name", true},
    {"TargetPackageName", &kString, "the property TargetPackageName"},
    {"Condition", &kNullableCondition, "must hold on this machine"},
    {"FailMessage", &kText, "shown when the condition is false"},
    {"TargetPackage", &kTargetPackage, "type word or Id of the package the launch is about"},
    {"InstalledTargetPackage", &kText, "shown when the target package is already installed"},
    {"NoInstalledTargetPackage", &kText, "shown when the target package will not run and is not installed"},
    {"WendSpecialCheck", &kString, "registry key, under HKEY_LOCAL_MACHINE, of a conflicting application"},
    {"WendSpecialCheckMessage", &kText, "shown when the conflicting application is installed"},
    {"Privileged", &kBoolean, "the launch needs an elevated process"},
}};
constexpr TypeInfo kLaunchPackage{
    "LaunchPackage", ValueKind::Object, Meaning::None, kLaunchPackageMembers, nullptr, {}, "how the launch behaves"};

constexpr std::array<MemberInfo, 3> kTopMembers = {{
    {"LaunchPackage", &kLaunchPackage, "how the launch behaves", true},
    {"Properies", &kProperies, "property definitions (spelled so, without the t)"},
    {"LaunchList", &kLaunchList, "the packages, in order", true},
}};
constexpr TypeInfo kManifest{
    "Manifest", ValueKind::Object, Meaning::None, kTopMembers, nullptr, {}, "TevLauncher launch manifest"};

constexpr std::array kBuiltins = {"Privileged"sv,     "ProcessorArchitecture"sv, "VersionMsi"sv,
                                  "VersionNT"sv,      "VersionNT64"sv,           "ServicePackLevel"sv,
                                  "LauncherExeDir"sv, "PackageName"sv,           "TargetPackageName"sv,
                                  "DisplayName"sv,    "CONFLICT_APP_NAME"sv};

}  // namespace

const TypeInfo& ManifestType() { return kManifest; }

std::span<const std::string_view> BuiltinPropertyNames() { return kBuiltins; }

bool KindMatches(ValueKind expected, Tevrian::JSON::JsonKind found) {
  using Tevrian::JSON::JsonKind;
  switch (expected) {
    case ValueKind::String:
      return found == JsonKind::String;
    case ValueKind::Boolean:
      return found == JsonKind::Boolean;
    case ValueKind::Integer:
      return found == JsonKind::Integer;
    case ValueKind::Object:
      return found == JsonKind::Object;
    case ValueKind::Array:
      return found == JsonKind::Array;
    case ValueKind::StringOrNull:
      return found == JsonKind::String || found == JsonKind::Null;
    case ValueKind::Scalar:
      return found == JsonKind::String || found == JsonKind::Integer || found == JsonKind::Boolean;
  }
  return false;
}

std::string_view ExpectedKindName(ValueKind kind) {
  switch (kind) {
    case ValueKind::String:
      return "a string";
    case ValueKind::Boolean:
      return "a boolean";
    case ValueKind::Integer:
      return "an integer";
    case ValueKind::Object:
      return "an object";
    case ValueKind::Array:
      return "an array";
    case ValueKind::StringOrNull:
      return "a string or null";
    case ValueKind::Scalar:
      return "a string, an integer or a boolean";
  }
  return "a value";
}

std::string_view FoundKindName(Tevrian::JSON::JsonKind kind) {
  using Tevrian::JSON::JsonKind;
  switch (kind) {
    case JsonKind::Null:
      return "null";
    case JsonKind::Boolean:
      return "a boolean";
    case JsonKind::Integer:
      return "a number";
    case JsonKind::String:
      return "a string";
    case JsonKind::Object:
      return "an object";
    case JsonKind::Array:
      return "an array";
  }
  return "a value";
}

}  // namespace TevTool
